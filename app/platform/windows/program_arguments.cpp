#include "program_arguments.h"

#include <windows.h>
// after windows.h
#include <shellapi.h>

// Read wide from the command line: argv holds the names in the ANSI code page, where a folder
// named outside it would not arrive whole.
std::vector<std::filesystem::path> programArguments(int, char**) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::filesystem::path> arguments;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        arguments.emplace_back(wide[i]);
    }
    ::LocalFree(wide);
    return arguments;
}
