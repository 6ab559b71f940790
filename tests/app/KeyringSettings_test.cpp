// The remembered password in a real keyring: gnome-keyring on a session bus of the test's own.
#include "app/Settings.h"
#include "platform/Keyring.h"
#include "platform/Registry.h"
#include "support/FaxsimProcess.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

std::string HiveText() {
    return testing_support::ReadFileOrDie(platform::HivePath(platform::Hive::LocalMachine));
}

TEST(KeyringSettingsTest, ARememberedPasswordLivesInTheKeyringAndLeavesTheHive) {
    testing_support::TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    testing_support::ChildProcess bus;
    const std::string address = testing_support::StartPrivateBus(bus, dir.Path());
    if (address.empty()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    testing_support::ChildProcess keyring;
    // The daemon takes the sh's place, so the test's end stops it.
    testing_support::WriteFile(dir / "unlock", "unlock");
    keyring.Start({"sh", "-c",
                   "exec gnome-keyring-daemon --foreground --unlock --components=secrets <" +
                       dir / "unlock" + " >/dev/null 2>&1"},
                  false);
    const platform::KeyringAttributes probe{{"kind", "probe"}, {"hive", "-"}, {"user", "-"}};
    bool up = false;
    for (int i = 0; i < 100 && !(up = platform::KeyringStore(probe, "probe", "x")); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!up) {
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        GTEST_SKIP() << "gnome-keyring-daemon cannot be started here";
    }

    // A hive from before: the password written there by setup.
    std::filesystem::create_directories(dir / "fax");
    ASSERT_EQ(WriteSetupKey({"/opt", dir / "fax", dir / "data", "", "", "7495", "old secret"}), "");
    testing_support::FakePrompt prompt;
    ResetSettingsForTest();
    ASSERT_TRUE(LoadSettings(prompt));
    EXPECT_EQ(Settings().UserPWD, "old secret");
    Settings().ProxyHost = "proxy:3128";
    Settings().ProxyUser = "clerk";
    Settings().ProxyPassword = "proxy secret";
    ASSERT_EQ(SaveSettings(), 0);
    EXPECT_EQ(HiveText().find("secret"), std::string::npos) << HiveText();

    // The next start finds both in the keyring.
    ResetSettingsForTest();
    ASSERT_TRUE(LoadSettings(prompt));
    EXPECT_EQ(Settings().UserPWD, "old secret");
    EXPECT_EQ(Settings().ProxyPassword, "proxy secret");

    // Not remembered any more: gone from the keyring too.
    Settings().RememberPwd = false;
    ASSERT_EQ(SaveSettings(), 0);
    Settings().RememberPwd = true;
    Settings().UserPWD.clear();
    ASSERT_EQ(SaveSettings(), 0);
    ResetSettingsForTest();
    ASSERT_TRUE(LoadSettings(prompt));
    EXPECT_EQ(Settings().UserPWD, "");
    EXPECT_EQ(Settings().ProxyPassword, "proxy secret");

    keyring.Stop();
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ResetSettingsForTest();
}

} // namespace
