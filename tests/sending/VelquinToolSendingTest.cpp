#include "TiffTestFiles.h"
#include "support/TestSupport.h"

#include "platform/Files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>
#include <tiffio.h>

using namespace sending_test;
using testing_support::TempDir;

namespace {

// Runs velquin-tool with `args` (temporary paths have no blanks); stdout only.
int RunTool(const std::string& args, std::string& output) {
    std::string command =
        testing_support::BuildDir() + "/tools/velquin-tool/velquin-tool " + args + " 2>/dev/null";
    output.clear();
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) {
        return -1;
    }
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        output.append(buf, n);
    }
    int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(VelquinToolSendingTest, CountPagesAndSplit) {
    TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    const std::string run = dir / "run.tif";
    WriteBilevelTiff(run, {.pages = 4});
    std::string out;
    EXPECT_EQ(RunTool("count-pages " + run, out), 0);
    EXPECT_EQ(out, "4\n");
    EXPECT_EQ(RunTool("count-pages " + dir / "missing.tif", out), 1);

    // No settings yet: the Merge directory must be given.
    EXPECT_NE(RunTool("split " + run + " 2", out), 0);
    const std::string merge = dir / "m";
    ASSERT_EQ(RunTool("split --merge-dir " + merge + " " + run + " 2", out), 0);
    ASSERT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    EXPECT_NE(out.find(merge + "/Fax"), std::string::npos);
    EXPECT_NE(out.find("_0002.tif\n"), std::string::npos);

    // With the settings, DataDir/Merge.
    ASSERT_EQ(
        RunTool("setup --create --fax-dir " + dir / "fax" + " --data-dir " + dir / "data", out), 0);
    ASSERT_EQ(RunTool("split " + run + " 4", out), 0);
    EXPECT_EQ(out.rfind(dir / "data/Merge/Fax", 0), 0u) << out;
    EXPECT_EQ(RunTool("split " + run + " 0", out), 2);

    // A TIFF file without a page (libtiff writes the header alone) has nothing to cut.
    const std::string empty = dir / "empty.tif";
    TIFFClose(TIFFOpen(empty.c_str(), "w"));
    EXPECT_EQ(RunTool("count-pages " + empty, out), 1);
    EXPECT_EQ(RunTool("split " + empty + " 1", out), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(testing_support::RunVelquinTool("split " + empty + " 1", out), 1);
    EXPECT_NE(out.find("holds no page"), std::string::npos) << out;
    // A sound tiled file is not called damaged: the message says what is not supported.
    const std::string tiled = dir / "tiled.tif";
    WriteBilevelTiff(tiled,
                     {.pages = 2, .width = 32, .height = 32, .compression = 1, .tiled = true});
    EXPECT_EQ(testing_support::RunVelquinTool("split " + tiled + " 1", out), 1);
    EXPECT_NE(out.find("not supported"), std::string::npos) << out;
    EXPECT_NE(out.find("tiles"), std::string::npos) << out;
    EXPECT_EQ(out.find("damaged"), std::string::npos) << out;
}

} // namespace
