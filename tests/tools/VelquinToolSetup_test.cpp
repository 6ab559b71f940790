#include "app/Settings.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testing_support::RunVelquinTool;

namespace {
std::string Row(const std::string& out, const std::string& name) {
    auto at = out.find("\n" + name + "=");
    if (at == std::string::npos) {
        return "<missing>";
    }
    at += name.size() + 2;
    return out.substr(at, out.find('\n', at) - at);
}
} // namespace

class VelquinToolSetupTest : public ::testing::Test {
protected:
    void SetUp() override { testing_support::IsolateEnvironment(m_dir.Path()); }
    testing_support::TempDir m_dir;
};

TEST_F(VelquinToolSetupTest, SetupThenSettingsPrintsDefaultsAndClampedValues) {
    std::string out;
    ASSERT_EQ(RunVelquinTool("setup --prog-dir /opt/velquin --fax-dir " + (m_dir / "fax") +
                                 " --data-dir " + (m_dir / "data") +
                                 " --create --api-host 127.0.0.1:8081",
                             out),
              0)
        << out;
    ASSERT_EQ(RunVelquinTool("settings", out), 0) << out;
    out = "\n" + out;
    EXPECT_EQ(out.rfind("\nProgDir=/opt/velquin\n", 0), 0u) << out;
    EXPECT_EQ(Row(out, "FaxDir"), m_dir / "fax");
    EXPECT_EQ(Row(out, "LastFaxID"), "1000000000");
    EXPECT_EQ(Row(out, "LastListID"), "2000000000");
    EXPECT_EQ(Row(out, "SyncronizationDelay"), "10");
    EXPECT_EQ(Row(out, "UseSMAPI"), "1");
    EXPECT_EQ(Row(out, "ApiHost"), "127.0.0.1:8081");
    EXPECT_EQ(Row(out, "WebHost"), kDefaultWebHost);
    EXPECT_EQ(Row(out, "NotifyOnSync"), "1");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'),
              49); // 46 table rows, ApiHost, WebHost, the added "\n"

    // Values written by hand outside their ranges are clamped on load.
    {
        platform::CRegKey key;
        ASSERT_EQ(key.Open(platform::Hive::LocalMachine, kMainKey), 0);
        key.SetValue("LastFaxID", platform::RegType::String, platform::RegStringZ("999"));
        key.SetValue("SyncronizationDelay", platform::RegType::Dword, platform::RegDword(301));
    }
    ASSERT_EQ(RunVelquinTool("settings", out), 0) << out;
    out = "\n" + out;
    EXPECT_EQ(Row(out, "LastFaxID"), "1000000000");
    EXPECT_EQ(Row(out, "SyncronizationDelay"), "300");
}

TEST_F(VelquinToolSetupTest, ErrorsGoToStderrWithNonZeroExit) {
    std::string out;
    EXPECT_NE(RunVelquinTool("settings", out), 0);
    EXPECT_NE(out.find("velquin-tool setup"), std::string::npos) << out;
    EXPECT_EQ(RunVelquinTool("setup --fax-dir " + (m_dir / "none"), out), 2);
    EXPECT_EQ(RunVelquinTool(
                  "setup --fax-dir " + (m_dir / "none") + " --data-dir " + (m_dir / "none2"), out),
              1);
    EXPECT_NE(out.find("use --create"), std::string::npos) << out;
    EXPECT_EQ(RunVelquinTool("frobnicate", out), 2);
    EXPECT_EQ(RunVelquinTool("setup --help", out), 0);
    EXPECT_NE(out.find("usage: velquin-tool setup"), std::string::npos);

    // A hive broken by hand is named with its line and never overwritten.
    testing_support::WriteFile(platform::HivePath(platform::Hive::LocalMachine),
                               "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwell\\Plendor]\n"
                               "\"FaxDir\"=oops\n");
    EXPECT_EQ(RunVelquinTool("settings", out), 1);
    EXPECT_NE(out.find("HKEY_LOCAL_MACHINE.reg:3:"), std::string::npos) << out;
    ASSERT_EQ(::mkdir((m_dir / "fax").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((m_dir / "data").c_str(), 0755), 0);
    EXPECT_EQ(RunVelquinTool(
                  "setup --fax-dir " + (m_dir / "fax") + " --data-dir " + (m_dir / "data"), out),
              1);
    EXPECT_NE(out.find("HKEY_LOCAL_MACHINE.reg:3:"), std::string::npos) << out;
    EXPECT_NE(testing_support::ReadFileOrDie(platform::HivePath(platform::Hive::LocalMachine))
                  .find("=oops"),
              std::string::npos);
}
