// make_corpus FOLDER [LOGS] [MIB]: writes LOGS logs of MIB MiB in all, CR LF, about 1% findings.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "corpus.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: make_corpus FOLDER [LOGS] [MIB]\n", stderr);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int logs = argc > 2 ? std::atoi(argv[2]) : 16;
    const long mebibytes = argc > 3 ? std::atol(argv[3]) : 256;
    std::filesystem::create_directories(folder);
    const std::size_t each = static_cast<std::size_t>(mebibytes) * 1024 * 1024 / logs;
    for (int i = 0; i < logs; ++i) {
        const std::string log = vesk::bench::makeLog(each, 1, "\r\n", static_cast<unsigned>(i));
        std::ofstream out(folder / ("server" + std::to_string(i) + ".log"), std::ios::binary);
        out.write(log.data(), static_cast<std::streamsize>(log.size()));
        if (!out) {
            std::perror("make_corpus");
            return 1;
        }
    }
    return 0;
}
