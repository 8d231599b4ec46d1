#include "display_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// QT_QPA_PLATFORM's platforms, tried in turn, each name without the arguments after its colon.
std::vector<std::string> platformNames(const std::string& list) {
    std::vector<std::string> names;
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t end = std::min(list.find(';', start), list.size());
        const std::string entry = list.substr(start, end - start);
        if (const std::string name = entry.substr(0, entry.find(':')); !name.empty()) {
            names.push_back(name);
        }
        start = end + 1;
    }
    return names;
}

// Qt names its platforms in any letter case.
bool isX11(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
    return lower == "xcb";
}

}  // namespace

std::string environmentVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::optional<std::string> whyNoDisplay(const EnvironmentReader& environment) {
    if (!environment("DISPLAY").empty()) {
        return std::nullopt;
    }
    const std::string platforms = environment("QT_QPA_PLATFORM");
    if (platforms.empty()) {
#if defined(_WIN32) || defined(__APPLE__)
        return std::nullopt;  // the system's own platform, which needs no variable
#else
        // Qt takes X11, and Wayland first where the session is a Wayland one.
        if (!environment("WAYLAND_DISPLAY").empty() ||
            environment("XDG_SESSION_TYPE") == "wayland") {
            return std::nullopt;
        }
        return "neither DISPLAY nor WAYLAND_DISPLAY is set";
#endif
    }
    const auto names = platformNames(platforms);
    if (names.empty() || !std::all_of(names.begin(), names.end(), isX11)) {
        return std::nullopt;
    }
    return "QT_QPA_PLATFORM=" + platforms + " needs DISPLAY, which is not set";
}

void tellNoDisplay(const std::string& reason) {
    std::fprintf(stderr, "veskparser: no display can be opened%s%s\n", reason.empty() ? "" : ": ",
                 reason.c_str());
    std::fprintf(stderr, "To sweep a folder without one, from a shell: veskparser-sweep FOLDER\n");
}
