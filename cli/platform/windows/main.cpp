#include <filesystem>
#include <vector>

#include "cli/sweep_command.h"
#include "command_platform.h"

// Wide arguments, so that folder names outside the code page arrive whole.
int wmain(int argc, wchar_t** argv) {
    vesk::prepareProcess();
    const std::vector<std::filesystem::path> arguments(argv + 1, argv + argc);
    return vesk::sweepCommand(arguments);
}
