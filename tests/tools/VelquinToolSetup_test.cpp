#include "TiffTestFiles.h"
#include "app/Settings.h"
#include "app/VelquinApp.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

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

TEST_F(VelquinToolSetupTest, HivesAsWindowsWritesThemAreReadAndWrittenBackInOurForm) {
    const std::string fax = m_dir / "Факсы", data = m_dir / "data";
    const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwell\\Plendor]\r\n\"FaxDir\"=\"" +
                            fax + "\"\r\n\"DataDir\"=\"" + data + "\"\r\n";
    // regedit's export: UTF-16 text; ProgDir "/opt/Я" an expandable string (UTF-16 bytes), and
    // in another key a list ("a", "Я") and a 64-bit number.
    std::string regedit = "\xFF\xFE";
    for (char16_t u : platform::Utf8ToUtf16(
             "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\X]\r\n"
             "\"List\"=hex(7):61,00,00,00,2f,04,00,00,00,00\r\n\"Q\"=hex(b):01,02,03,04,05,06,07,"
             "08\r\n" +
             key + "\"ProgDir\"=hex(2):2f,00,6f,00,70,00,74,00,2f,00,\\\r\n  2f,04,00,00\r\n")) {
        regedit += static_cast<char>(u & 0xFF);
        regedit += static_cast<char>(u >> 8);
    }
    const std::string notepad = "\xEF\xBB\xBFREGEDIT4\r\n" + key + "\"ProgDir\"=\"/opt/Я\"\r\n";
    const std::string file = platform::HivePath(platform::Hive::LocalMachine);
    for (const std::string& text : {notepad, platform::Utf8ToCp1251(notepad.substr(3)), regedit}) {
        testing_support::WriteFile(file, text);
        std::string out;
        ASSERT_EQ(RunVelquinTool("settings", out), 0) << out;
        out = "\n" + out;
        EXPECT_EQ(Row(out, "FaxDir"), fax);
        EXPECT_EQ(Row(out, "DataDir"), data);
        EXPECT_EQ(Row(out, "ProgDir"), "/opt/Я");
    }
    // The next write leaves our own form (UTF-8 REGEDIT4) with the values as read.
    std::string out;
    ASSERT_EQ(RunVelquinTool("setup --create --fax-dir " + fax + " --data-dir " + data, out), 0);
    const std::string written = testing_support::ReadFileOrDie(file);
    EXPECT_EQ(written.rfind("REGEDIT4\n", 0), 0u) << written;
    EXPECT_NE(written.find("\"FaxDir\"=\"" + fax + "\"\n"), std::string::npos) << written;
    EXPECT_NE(written.find("\"List\"=hex(7):61,00,d0,af,00,00\n"), std::string::npos) << written;
    EXPECT_NE(written.find("\"Q\"=hex(b):01,02,03,04,05,06,07,08\n"), std::string::npos);
}

// What setup and the store's commands create (FaxDir, DataDir and the folders above them, the
// store's folders, copies, job files, send lists, split parts) is the user's alone whatever the
// umask; a folder the user made keeps its mode.
TEST_F(VelquinToolSetupTest, WhatTheStoreCreatesIsTheUsersAlone) {
    const auto mode = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 01000;
    };
    const mode_t umask = ::umask(022);
    const std::string chosen = m_dir / "chosen", fax = m_dir / "new/Fax", image = m_dir / "p.tif";
    ASSERT_EQ(::mkdir(chosen.c_str(), 0755), 0);
    sending_test::WriteBilevelTiff(image, {.pages = 2});
    std::string out;
    EXPECT_EQ(RunVelquinTool("setup --create --fax-dir " + fax + " --data-dir " + chosen, out), 0)
        << out;
    EXPECT_EQ(RunVelquinTool("demo-sent " + image, out), 0) << out;
    EXPECT_EQ(RunVelquinTool("split " + image + " 1", out), 0) << out;
    ::umask(umask);

    EXPECT_EQ(mode(m_dir / "new"), 0700u);
    EXPECT_EQ(mode(fax), 0700u);
    EXPECT_EQ(mode(chosen), 0755u);
    std::size_t files = 0;
    for (const std::string& sub : StoreSubdirectories()) {
        const std::string dir = platform::JoinPath(chosen, sub);
        EXPECT_EQ(mode(dir), 0700u) << sub;
        for (const platform::DirEntry& e : platform::ListDir(dir)) {
            EXPECT_EQ(mode(platform::JoinPath(dir, e.name)), 0600u) << sub << "/" << e.name;
            ++files;
        }
    }
    EXPECT_GE(files, 14u) << "the images and job files of six faxes, a list and two parts";
}
