#include "display_check.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// Only where no platform Qt would try can open a display is it known missing before Qt starts;
// the rest Qt decides.
TEST(DisplayCheck, KnowsADisplayMissingOnlyWhereNoPlatformCanOpenOne) {
    using Environment = std::map<std::string, std::string>;
    struct Case {
        Environment environment;
        const char* reason;  // what it names, or nullptr where a display may open
    };
    const std::vector<Case> cases = {
        {{}, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
        {{{"XDG_SESSION_TYPE", "x11"}}, "neither DISPLAY nor WAYLAND_DISPLAY"},
        {{{"DISPLAY", ":0"}}, nullptr},
        {{{"WAYLAND_DISPLAY", "wayland-1"}}, nullptr},
        {{{"XDG_SESSION_TYPE", "wayland"}}, nullptr},
        {{{"QT_QPA_PLATFORM", "xcb"}}, "QT_QPA_PLATFORM=xcb needs DISPLAY, which is not set"},
        {{{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "wayland-1"}}, "needs DISPLAY"},
        {{{"QT_QPA_PLATFORM", "XCB"}}, "QT_QPA_PLATFORM=XCB needs DISPLAY"},
        {{{"QT_QPA_PLATFORM", "xcb:foo=1;;xcb"}}, "QT_QPA_PLATFORM=xcb:foo=1;;xcb needs DISPLAY"},
        {{{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":0"}}, nullptr},
        {{{"QT_QPA_PLATFORM", "xcbx"}}, nullptr},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, nullptr},
        {{{"QT_QPA_PLATFORM", "vnc:size=800x600"}}, nullptr},
        {{{"QT_QPA_PLATFORM", "xcb;eglfs"}}, nullptr},
        {{{"QT_QPA_PLATFORM", "wayland"}}, nullptr},  // its library has a socket of its own
        {{{"QT_QPA_PLATFORM", ";"}}, nullptr},
    };
    for (const auto& [environment, reason] : cases) {
        const auto missing = whyNoDisplay([&environment](const char* name) {
            const auto found = environment.find(name);
            return found != environment.end() ? found->second : "";
        });
        const std::string name = ::testing::PrintToString(environment);
        if (reason == nullptr) {
            EXPECT_FALSE(missing) << name << *missing;
        } else {
            ASSERT_TRUE(missing) << name;
            EXPECT_NE(missing->find(reason), std::string::npos) << name << *missing;
        }
    }
}

}  // namespace
