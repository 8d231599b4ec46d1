#include <gtest/gtest.h>

#include "command_runner.h"
#include "sweep_fixture.h"
#include "vesk/version.h"

namespace {

// The window's program, started as a person would start it, offscreen.
CommandResult veskparser(const std::vector<std::string>& arguments) {
    return runCommand(VESK_WINDOW_PROGRAM, arguments, {});
}

TEST(WindowProgram, TellsItsVersionAndUsageAndRefusesWhatIsNoFolderWithoutOpeningTheWindow) {
    TempFolder folder;
    const auto file = folder.write("a.log", "");
    struct Form {
        std::vector<std::string> arguments;
        int status;
        std::string out;  // its beginning
        std::string err;  // the line that must be in it
    };
    const std::vector<Form> forms = {
        {{"--version"}, 0, "veskparser " + std::string(vesk::kVersion) + "\n", ""},
        {{"-h"}, 0, "Usage: ", ""},
        {{"--help", folder.path().string()}, 0, "Usage: ", ""},
        {{file.string()}, 2, "", "veskparser: " + file.string() + ": Not a folder\n"},
        {{(folder / "gone").string()},
         2,
         "",
         "veskparser: " + (folder / "gone").string() + ": No such file or directory\n"},
        {{folder.path().string(), folder.path().string()},
         2,
         "",
         "veskparser: one folder at most\n"},
    };
    for (const auto& form : forms) {
        const auto result = veskparser(form.arguments);
        const std::string name = ::testing::PrintToString(form.arguments);
        EXPECT_EQ(result.status, form.status) << name << result.err;
        EXPECT_TRUE(result.out.starts_with(form.out)) << name << result.out;
        EXPECT_NE(result.err.find(form.err), std::string::npos) << name << result.err;
    }
}

}  // namespace
