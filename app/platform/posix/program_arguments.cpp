#include "program_arguments.h"

std::vector<std::filesystem::path> programArguments(int argc, char** argv) {
    return {argv + 1, argv + argc};
}
