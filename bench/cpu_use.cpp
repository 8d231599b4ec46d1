// cpu_use ROUNDS COMMAND [ARGUMENT...]: runs the command ROUNDS times, one after another, and
// prints for each run its processor time (user and system) against its wall time, to the
// microsecond: above 1 where it kept more than one core busy.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: cpu_use ROUNDS COMMAND [ARGUMENT...]\n", stderr);
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            ::execvp(argv[2], argv + 2);
            ::_exit(127);
        }
        int status = 0;
        rusage used{};
        ::wait4(child, &status, 0, &used);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
        std::printf("%s%.2f", round == 0 ? "" : " ",
                    (seconds(used.ru_utime) + seconds(used.ru_stime)) / wall);
    }
    std::printf("\n");
    return 0;
}
