#include <filesystem>
#include <vector>

#include "cli/sweep_command.h"

#ifdef _WIN32
// Wide arguments, so that folder names outside the code page arrive whole.
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    std::vector<std::filesystem::path> arguments(argv + 1, argv + argc);
    return vesk::sweepCommand(arguments);
}
