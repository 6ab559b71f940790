#include "app/Settings.h"

#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

using platform::CRegKey;
using platform::Hive;
using platform::RegDword;
using platform::RegStringZ;
using platform::RegType;
using testing_support::FakePrompt;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(m_dir.Path());
        ResetSettingsForTest();
        Write("ProgDir", RegStringZ("/opt/velquin"));
        Write("FaxDir", RegStringZ(m_dir / "fax"));
        Write("DataDir", RegStringZ(m_dir / "data"));
    }
    void TearDown() override { ResetSettingsForTest(); }

    void Write(const char* name, const std::string& bytes, RegType type = RegType::String) {
        CRegKey key;
        ASSERT_EQ(key.Create(Hive::LocalMachine, kMainKey), 0);
        key.SetValue(name, type, bytes);
    }
    std::optional<platform::RegValue> Stored(const char* name) {
        CRegKey key;
        if (key.Open(Hive::LocalMachine, kMainKey) != 0) {
            return std::nullopt;
        }
        return key.Value(name);
    }
    bool Load() {
        ResetSettingsForTest();
        return LoadSettings(m_prompt);
    }

    testing_support::TempDir m_dir;
    FakePrompt m_prompt;
};

TEST_F(SettingsTest, DefaultsWhenOnlyTheDirectoriesExist) {
    ASSERT_TRUE(Load());
    const CSettings& s = Settings();
    EXPECT_EQ(s.LastFaxID, 1000000000);
    EXPECT_EQ(s.LastListID, 2000000000);
    EXPECT_EQ(s.SyncronizationDelay, 10);
    EXPECT_TRUE(s.UseSMAPI);
    EXPECT_TRUE(s.AutoShowOnPrint);
    EXPECT_TRUE(s.ClearNewFaxSection);
    EXPECT_EQ(s.DefaultAreaCode, "8812");
    EXPECT_EQ(s.LastFaxAttempts, 5);
    EXPECT_EQ(s.LastListAttempts, 3);
    EXPECT_EQ(s.SMTPAddress, kDefaultSmtpAddress);
    EXPECT_EQ(s.ApiHost, kDefaultApiHost);
    EXPECT_GT(s.LastFaxSendTime, 0);
    EXPECT_EQ(OwnViewerPath(), "/opt/velquin/TWTiffView");
}

TEST_F(SettingsTest, MissingKeyOrDirectoryFailsAndLoadsOnlyOnce) {
    Write("DataDir", std::string()); // empty counts as missing
    EXPECT_FALSE(Load());
    ASSERT_EQ(m_prompt.messages.size(), 1u);
    EXPECT_EQ(m_prompt.messages[0].icon, MsgIcon::Error);
    EXPECT_NE(m_prompt.messages[0].text.find("установлен некорректно"), std::string::npos);
    // The loaded-once flag is set even by a failed load.
    EXPECT_TRUE(LoadSettings(m_prompt));

    testing_support::TempDir empty;
    testing_support::IsolateEnvironment(empty.Path());
    FakePrompt silent;
    ResetSettingsForTest();
    EXPECT_FALSE(LoadSettings(silent));
    EXPECT_TRUE(silent.messages.empty());
}

TEST_F(SettingsTest, ClampingAndFlagRules) {
    Write("LastFaxID", RegStringZ("999"));
    Write("LastListID", RegStringZ("2100000000"));
    Write("SyncronizationDelay", RegDword(0), RegType::Dword);
    Write("UseSMAPI", "");
    Write("HideContentWarning", RegStringZ("yes"));
    Write("UseOwnViewer", RegStringZ("2"));
    Write("AutoShowOnPrint", ""); // empty keeps the default
    Write("SMTPAddress", "x");
    ASSERT_TRUE(Load());
    const CSettings& s = Settings();
    EXPECT_EQ(s.LastFaxID, 1000000000);
    EXPECT_EQ(s.LastListID, 2100000000);
    EXPECT_EQ(s.SyncronizationDelay, 10);
    EXPECT_FALSE(s.UseSMAPI);
    EXPECT_TRUE(s.HideContentWarning);
    EXPECT_FALSE(s.UseOwnViewer);
    EXPECT_TRUE(s.AutoShowOnPrint);
    EXPECT_EQ(s.SMTPAddress, kDefaultSmtpAddress);

    Write("LastFaxID", RegStringZ("2000000001"));
    Write("SyncronizationDelay", RegDword(301), RegType::Dword);
    Write("UseSMAPI", RegStringZ("0"));
    Write("AutoShowOnPrint", RegStringZ("0"));
    ASSERT_TRUE(Load());
    EXPECT_EQ(Settings().LastFaxID, 1000000000);
    EXPECT_EQ(Settings().SyncronizationDelay, 300);
    EXPECT_FALSE(Settings().UseSMAPI);
    EXPECT_FALSE(Settings().AutoShowOnPrint);
}

TEST_F(SettingsTest, SaveWritesTheExactBytesOfEachRow) {
    ASSERT_TRUE(Load());
    CSettings& s = Settings();
    s.UserID = "74950000000";
    s.RememberPwd = true;
    s.UserPWD = "secret12";
    s.FFRememberPwd = true;
    s.FFUserPWD = "abcdefgh";
    s.LastCountryCode = "44";
    s.LastFaxSendTime = 0x0102030405060708LL;
    s.SyncronizationDelay = 25;
    ASSERT_EQ(SaveSettings(), 0);

    auto expect = [&](const char* name, RegType type, const std::string& bytes) {
        auto v = Stored(name);
        ASSERT_TRUE(v) << name;
        EXPECT_EQ(v->type, type) << name;
        EXPECT_EQ(v->bytes, bytes) << name;
    };
    expect("UserID", RegType::String, "74950000000");
    expect("RememberPwd", RegType::String, "1");
    expect("UserPWD", RegType::String, RegStringZ("secret12"));
    expect("FFRememberPwd", RegType::String, "1");
    expect("FFUserPWD", RegType::String, RegStringZ(ScramblePassword("abcdefgh")));
    expect("SMTPMailFrom", RegType::String, "");
    expect("DefaultAreaCode", RegType::String, RegStringZ("8812"));
    expect("LastCountryCode", RegType::String, RegStringZ("44"));
    expect("UseSMAPI", RegType::String, RegStringZ("1"));
    expect("SyncronizationDelay", RegType::Dword, RegDword(25));
    expect("LastFaxSendTime", RegType::Dword, std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8));

    ASSERT_TRUE(Load());
    EXPECT_EQ(Settings().UserPWD, "secret12");
    EXPECT_EQ(Settings().FFUserPWD, "abcdefgh");
    EXPECT_EQ(Settings().LastFaxSendTime, 0x0102030405060708LL);
    EXPECT_EQ(Settings().LastCountryCode, "44");

    // A password that is not remembered is stored as "0" and loads empty.
    Settings().RememberPwd = false;
    Settings().FFRememberPwd = false;
    ASSERT_EQ(SaveSettings(), 0);
    expect("UserPWD", RegType::String, RegStringZ("0"));
    expect("FFUserPWD", RegType::String, RegStringZ("0"));
    ASSERT_TRUE(Load());
    EXPECT_EQ(Settings().UserPWD, "");
    EXPECT_EQ(Settings().FFUserPWD, "");
}

TEST_F(SettingsTest, SavingThePasswordClosesAReadableHiveAndFolder) {
    // A hive and folder left readable by others (by hand, or by an older version).
    const std::string hive = platform::HivePath(Hive::LocalMachine);
    ASSERT_EQ(::chmod(hive.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(platform::RegistryDir().c_str(), 0755), 0);
    ASSERT_TRUE(Load());
    Settings().RememberPwd = true;
    Settings().UserPWD = "secret12";
    ASSERT_EQ(SaveSettings(), 0);
    struct stat st;
    ASSERT_EQ(::stat(hive.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(platform::RegistryDir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// Another program (velquin-tool, the fax printer) writes the key while this process runs: a save
// keeps its values, and ids are taken from the file, not from what this process read earlier.
TEST_F(SettingsTest, SaveKeepsOtherWritersValuesAndIdsAreTakenOnceEach) {
    ASSERT_TRUE(Load());
    ASSERT_EQ(SaveSettings(), 0);
    Write("ApiHost", RegStringZ("other.example:81"));
    Write("RememberPwd", "1");
    Write("UserPWD", RegStringZ("secret12"));
    Write("LastFaxID", RegStringZ("1000000002"));
    Settings().LastFaxAttempts = 7; // what this process changed
    ASSERT_EQ(SaveSettings(), 0);
    EXPECT_EQ(Stored("ApiHost")->bytes, RegStringZ("other.example:81"));
    EXPECT_EQ(Stored("UserPWD")->bytes, RegStringZ("secret12"));
    EXPECT_EQ(Stored("LastFaxID")->bytes, RegStringZ("1000000002"));
    EXPECT_EQ(Stored("LastFaxAttempts")->bytes, RegDword(7));

    // The cached 1000000000 is stale: the file's next id is the one given.
    const CTakenIds first = TakeIds(3, true, m_prompt);
    EXPECT_EQ(first.firstFax, 1000000002);
    EXPECT_EQ(first.list, 2000000000);
    EXPECT_EQ(Stored("LastFaxID")->bytes, RegStringZ("1000000005"));
}

TEST_F(SettingsTest, ScrambledPasswordLayoutAndWrongSizes) {
    // Even positions carry p[7-i]+i, odd ones keep the filler.
    EXPECT_EQ(ScramblePassword("12345678"), "8e8T8W838m8d8P8A");
    std::string wrap = ScramblePassword(std::string(8, '\xff'));
    EXPECT_EQ(static_cast<unsigned char>(wrap[14]), 6u); // 0xff + 7 wraps
    EXPECT_EQ(UnscramblePassword(wrap), std::string(8, '\xff'));

    Write("FFRememberPwd", RegStringZ("1"));
    Write("FFUserPWD", RegStringZ("too short"));
    ASSERT_TRUE(Load());
    EXPECT_EQ(Settings().FFUserPWD, "");
}

TEST_F(SettingsTest, MailClientKeysAndVersionRule) {
    EXPECT_EQ(TheBatVersionNumber("1.53"), 153);
    EXPECT_EQ(TheBatVersionNumber("3.5.30"), 3530);
    EXPECT_EQ(TheBatVersionNumber("1.6"), 16);
    {
        CRegKey mail;
        ASSERT_EQ(mail.Create(Hive::LocalMachine, "SOFTWARE\\Clients\\Mail"), 0);
        mail.SetValue("", RegType::String, RegStringZ("The Bat! 1.6"));
        CRegKey bat;
        ASSERT_EQ(bat.Create(Hive::CurrentUser, "SOFTWARE\\RIT\\The Bat!"), 0);
        bat.SetValue("Version", RegType::String, RegStringZ("1.6"));
    }
    ASSERT_TRUE(Load());
    EXPECT_TRUE(Settings().MailClientIsTheBat);
    EXPECT_EQ(Settings().TheBatVersion, 16);
}
