#pragma once

#include <filesystem>
#include <vector>

// The arguments the program was started with, as the system gave them, without its own name.
std::vector<std::filesystem::path> programArguments(int argc, char** argv);
