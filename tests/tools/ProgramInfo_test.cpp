// What every program says about itself: --version and --help, answered without settings and
// without a window system; the README's table of velquin-tool's commands.
#include "VelquinVersion.h"
#include "support/TestSupport.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using testing_support::BuildDir;
using testing_support::RunShell;

namespace {

// The words of a-z and "-" that follow each `lead` in `text` and end at one of `ends`.
std::set<std::string> WordsAfter(const std::string& text, const std::string& lead,
                                 const std::string& ends) {
    std::set<std::string> out;
    for (std::size_t p = text.find(lead); p != std::string::npos; p = text.find(lead, p + 1)) {
        const std::size_t begin = p + lead.size();
        std::size_t end = begin;
        while (end < text.size() && ((text[end] >= 'a' && text[end] <= 'z') || text[end] == '-')) {
            ++end;
        }
        if (end > begin && end < text.size() && ends.find(text[end]) != std::string::npos) {
            out.insert(text.substr(begin, end - begin));
        }
    }
    return out;
}

} // namespace

TEST(ProgramInfoTest, EveryProgramAnswersVersionAndHelpWithTheProjectVersion) {
    testing_support::TempDir dir;
    testing_support::IsolateEnvironment(dir.Path()); // no settings anywhere
    const std::string b = BuildDir();
    std::vector<std::pair<std::string, std::string>> programs = {
        {"velquin-tool", b + "/tools/velquin-tool/velquin-tool"},
        {"velquin-print", b + "/tools/velquin-tool/velquin-print"},
        {"faxsim", b + "/tools/faxsim/faxsim"},
    };
#ifdef VELQUIN_TEST_GUI_PROGRAMS
    programs.push_back({"velquin", b + "/src/gui/velquin"});
    programs.push_back({"TWTiffView", b + "/tools/velquin-tool/TWTiffView"});
#endif
    ASSERT_NE(std::string(kVelquinVersion), "");
    for (const auto& [name, path] : programs) {
        // A GUI that got as far as its window would not end by itself: `timeout` makes that a
        // failure instead of a hang.
        const std::string run = "QT_QPA_PLATFORM=offscreen timeout 30 " + path;
        std::string out;
        EXPECT_EQ(RunShell(run + " --version", out), 0) << name << ": " << out;
        EXPECT_EQ(out, name + " " + kVelquinVersion + "\n");
        EXPECT_EQ(RunShell(run + " --help", out), 0) << name << ": " << out;
        EXPECT_EQ(out.rfind("usage: " + name + " ", 0), 0u) << out;
        EXPECT_NE(out.find("--version"), std::string::npos) << out;
    }
}

TEST(ProgramInfoTest, ReadmeListsEveryCommandOfVelquinTool) {
    std::string help;
    ASSERT_EQ(RunShell(BuildDir() + "/tools/velquin-tool/velquin-tool help", help), 0) << help;
    const std::set<std::string> commands = WordsAfter(help, "\n  ", " ");
    ASSERT_GE(commands.size(), 10u) << help;
    std::ifstream f(VELQUIN_SOURCE_DIR "/README.md");
    std::stringstream readme;
    readme << f.rdbuf();
    EXPECT_EQ(WordsAfter(readme.str(), "\n| `", " `"), commands);
    // Each command's own help is a usage text that ends its last line.
    for (const std::string& c : commands) {
        std::string usage;
        EXPECT_EQ(RunShell(BuildDir() + "/tools/velquin-tool/velquin-tool " + c + " --help", usage),
                  0);
        EXPECT_EQ(usage.rfind("usage: velquin-tool " + c, 0), 0u) << usage;
        EXPECT_TRUE(!usage.empty() && usage.back() == '\n') << c;
    }
}
