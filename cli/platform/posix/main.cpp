#include <filesystem>
#include <vector>

#include "cli/sweep_command.h"
#include "command_platform.h"

int main(int argc, char** argv) {
    vesk::prepareProcess();
    const std::vector<std::filesystem::path> arguments(argv + 1, argv + argc);
    return vesk::sweepCommand(arguments);
}
