#pragma once

#include <functional>
#include <optional>
#include <string>

// Reads one environment variable: empty when it is not set.
using EnvironmentReader = std::function<std::string(const char* name)>;

std::string environmentVariable(const char* name);

// Why no display can be opened for the window, judged from the environment before Qt starts:
// from QT_QPA_PLATFORM and the variables its platform plugins need. Nothing when one may still
// open; only Qt can tell whether a display that is named can be reached, and whether a platform
// that needs no variable (offscreen, vnc, eglfs, ...) starts.
std::optional<std::string> whyNoDisplay(const EnvironmentReader& environment);

// Says on standard error that no display can be opened, for the reason given if one is known, and
// how to sweep without one.
void tellNoDisplay(const std::string& reason);
