#include "app/Log.h"
#include "app/Settings.h"
#include "app/UserGuide.h"
#include "app/VelquinApp.h"

#include "platform/Files.h"
#include "platform/Registry.h"
#include "resources/Strings.h"
#include "support/TestSupport.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using platform::CRegKey;
using platform::Hive;
using platform::RegStringZ;
using platform::RegType;
using testing_support::FakeFrame;
using testing_support::FakePrompt;

namespace {

class FakeStartupUi : public IStartupUi {
public:
    bool ShowBatVersionNotOK() override {
        ++batNotices;
        return tickDontShow;
    }
    bool CreateMainWindow(bool hidden) override {
        ++windows;
        createdHidden = hidden;
        return true;
    }
    IFrame& Frame() override { return frame; }
    int batNotices = 0;
    bool tickDontShow = false;
    int windows = 0;
    bool createdHidden = false;
    FakeFrame frame;
};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(m_dir.Path());
        ResetSettingsForTest();
        ASSERT_EQ(platform::CreateDir(m_dir / "fax"), 0);
        ASSERT_EQ(platform::CreateDir(m_dir / "data"), 0);
        CRegKey key;
        ASSERT_EQ(key.Create(Hive::LocalMachine, kMainKey), 0);
        key.SetValue("ProgDir", RegType::String, RegStringZ(m_dir.Path()));
        key.SetValue("FaxDir", RegType::String, RegStringZ(m_dir / "fax"));
        key.SetValue("DataDir", RegType::String, RegStringZ(m_dir / "data"));
        key.SetValue("SentFilterType", RegType::Dword, platform::RegDword(2));
    }
    void TearDown() override {
        ResetSettingsForTest();
        SetVerbose(false);
    }

    CVelquinApp::StartResult Start(CVelquinApp& app, std::vector<std::string> args = {}) {
        app.watcherRearmMs = 50;
        return app.InitInstance(args);
    }

    testing_support::TempDir m_dir;
    FakePrompt m_prompt;
    FakeStartupUi m_ui;
};

} // namespace

TEST_F(StartupTest, CreatesTheStoreDirectoriesAndStartsWatching) {
    CVelquinApp app(m_prompt, m_ui);
    app.freeBytes = [](const std::string&) { return std::optional<std::uint64_t>(10000000); };
    ASSERT_EQ(Start(app), CVelquinApp::StartResult::Running);
    for (const std::string& sub : StoreSubdirectories()) {
        EXPECT_TRUE(platform::IsDirectory(m_dir / ("data/" + sub))) << sub;
    }
    EXPECT_TRUE(m_prompt.messages.empty()); // exactly 10,000,000 bytes is enough
    EXPECT_EQ(Settings().SentFilterType, 2);
    EXPECT_EQ(m_ui.windows, 1);
    EXPECT_FALSE(m_ui.createdHidden);

    // The watcher arms itself on its own thread: print until it notices.
    for (int i = 0; i < 250 && m_ui.frame.PostedCommands().empty(); ++i) {
        testing_support::WriteFile(m_dir / ("fax/printed" + std::to_string(i) + ".tif"), "II*");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_FALSE(m_ui.frame.PostedCommands().empty());
    EXPECT_EQ(m_ui.frame.PostedCommands()[0], kCmdReloadPrintedDocs);
    app.ExitInstance();
}

TEST_F(StartupTest, LowDiskSpaceWarnsAndResetsTheFilters) {
    CVelquinApp app(m_prompt, m_ui);
    app.freeBytes = [](const std::string&) { return std::optional<std::uint64_t>(9999999); };
    ASSERT_EQ(Start(app), CVelquinApp::StartResult::Running);
    ASSERT_EQ(m_prompt.messages.size(), 1u);
    EXPECT_NE(m_prompt.messages[0].text.find("Остаток менее 10 МБ"), std::string::npos);
    EXPECT_EQ(Settings().SentFilterType, 0);
}

TEST_F(StartupTest, MissingDirectoriesEndWithMessage163) {
    {
        CVelquinApp app(m_prompt, m_ui);
        ASSERT_EQ(::rmdir((m_dir / "fax").c_str()), 0);
        EXPECT_EQ(Start(app), CVelquinApp::StartResult::DirectoryError);
        ASSERT_EQ(m_prompt.messages.size(), 1u);
        EXPECT_EQ(m_prompt.messages[0].text, LoadString(163));
    }
    ASSERT_EQ(platform::CreateDir(m_dir / "fax"), 0);
    ASSERT_EQ(::rmdir((m_dir / "data").c_str()), 0);
    ResetSettingsForTest();
    CVelquinApp app(m_prompt, m_ui);
    EXPECT_EQ(Start(app), CVelquinApp::StartResult::DirectoryError);
    EXPECT_FALSE(platform::IsDirectory(m_dir / "data")); // DataDir itself is never created
    EXPECT_EQ(m_ui.windows, 0);
}

TEST_F(StartupTest, ADamagedSettingsFileIsNamedWithItsLineAndLeftAsItIs) {
    const std::string hive = platform::HivePath(Hive::LocalMachine);
    const std::string damaged = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwell\\Plendor]\n"
                                "\"FaxDir\"=\"" +
                                (m_dir / "fax") + "\n";
    testing_support::WriteFile(hive, damaged);
    CVelquinApp app(m_prompt, m_ui);
    EXPECT_EQ(Start(app), CVelquinApp::StartResult::SettingsInvalid);
    ASSERT_EQ(m_prompt.fileErrors.size(), 1u);
    EXPECT_NE(m_prompt.fileErrors[0].find(hive + ":4: "), std::string::npos)
        << m_prompt.fileErrors[0];
    EXPECT_EQ(m_ui.windows, 0);
    EXPECT_EQ(testing_support::ReadFileOrDie(hive), damaged);
}

TEST_F(StartupTest, SecondCopyMakesNoWindowAndLeavesTheTalkToTheGui) {
    CVelquinApp first(m_prompt, m_ui);
    ASSERT_EQ(Start(first), CVelquinApp::StartResult::Running);
    FakePrompt otherPrompt;
    FakeStartupUi otherUi;
    CVelquinApp second(otherPrompt, otherUi);
    EXPECT_EQ(Start(second), CVelquinApp::StartResult::AlreadyRunning);
    EXPECT_TRUE(otherPrompt.messages.empty());
    EXPECT_EQ(otherUi.windows, 0);
}

TEST_F(StartupTest, ALockFolderOfAnotherUserStopsTheStartWithAMessage) {
    // Another user (or anyone, when the folder is open to all) made the folder first.
    const std::string folder = m_dir / "runtime/velquin";
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    }
    CVelquinApp app(m_prompt, m_ui);
    EXPECT_EQ(Start(app), CVelquinApp::StartResult::LockFailed);
    ASSERT_EQ(m_prompt.fileErrors.size(), 1u);
    EXPECT_EQ(m_prompt.fileErrors[0].rfind("Velquin не запущен: " + folder + " ", 0), 0u)
        << m_prompt.fileErrors[0];
    EXPECT_EQ(m_ui.windows, 0);
}

TEST_F(StartupTest, StaleTemporaryFilesOfKilledSavesAreRemoved) {
    const std::string book = m_dir / "data/AddressBook";
    ASSERT_TRUE(CreateStoreDirectories(m_dir / "data"));
    const std::vector<std::string> stale = {m_dir / "fax/.doc.tag.a1B2c3",
                                            m_dir / "data/SentFaxes/.1000000001.fax.Zz09Qq",
                                            book + "/.Мои Контакты.abk.XyZ123"};
    // Too young (a save in progress), or not named as our temporary files are.
    const std::vector<std::string> kept = {
        m_dir / "fax/.doc.tif.Qw12er",     m_dir / "fax/.hidden",
        m_dir / "fax/.doc.tif.part",       m_dir / "fax/doc.tag.a1B2c3",
        book + "/.Мои Контакты.abk.XyZ12", m_dir / "data/.settings.ini.ab-cde"};
    const auto old = std::chrono::system_clock::now() - std::chrono::hours(2);
    for (const std::string& f : stale) {
        testing_support::WriteFile(f, "half");
    }
    for (const std::string& f : kept) {
        testing_support::WriteFile(f, "keep");
    }
    std::vector<std::string> aged = stale;
    aged.insert(aged.end(), kept.begin() + 1, kept.end());
    for (const std::string& f : aged) {
        const timespec t[2] = {{std::chrono::system_clock::to_time_t(old), 0},
                               {std::chrono::system_clock::to_time_t(old), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), t, 0), 0) << f;
    }
    // A folder with such a name is no file of ours.
    ASSERT_EQ(platform::CreateDir(m_dir / "data/.dir.abk.ABCDEF"), 0);
    CVelquinApp app(m_prompt, m_ui);
    ASSERT_EQ(Start(app), CVelquinApp::StartResult::Running);
    for (const std::string& f : stale) {
        EXPECT_FALSE(platform::PathExists(f)) << f;
    }
    for (const std::string& f : kept) {
        EXPECT_TRUE(platform::PathExists(f)) << f;
    }
    EXPECT_TRUE(platform::IsDirectory(m_dir / "data/.dir.abk.ABCDEF"));
}

TEST_F(StartupTest, FileParameterStartsHiddenAndVerboseSwitchLogs) {
    CVelquinApp app(m_prompt, m_ui);
    ASSERT_EQ(Start(app, {"-v", "/tmp/some/document.tif"}), CVelquinApp::StartResult::Running);
    EXPECT_TRUE(m_ui.createdHidden);
    EXPECT_TRUE(IsVerbose());
    std::string log = testing_support::ReadFileOrDie(LogFilePath());
    EXPECT_NE(log.find("\n\n" + std::string(61, '*') + "\nInit Instance start\n"),
              std::string::npos);
    EXPECT_NE(log.find("Init Instance - disc space OK\n"), std::string::npos);
    platform::DeleteFile(LogFilePath());
}

TEST_F(StartupTest, OldTheBatShowsTheNoticeUntilTicked) {
    {
        CRegKey mail;
        ASSERT_EQ(mail.Create(Hive::LocalMachine, "SOFTWARE\\Clients\\Mail"), 0);
        mail.SetValue("", RegType::String, RegStringZ("The Bat!"));
        CRegKey bat;
        ASSERT_EQ(bat.Create(Hive::CurrentUser, "SOFTWARE\\RIT\\The Bat!"), 0);
        bat.SetValue("Version", RegType::String, RegStringZ("1.53"));
    }
    m_ui.tickDontShow = true;
    {
        CVelquinApp app(m_prompt, m_ui);
        ASSERT_EQ(Start(app), CVelquinApp::StartResult::Running);
        EXPECT_EQ(m_ui.batNotices, 1);
        EXPECT_TRUE(Settings().HideBATVERMsg);
        ASSERT_EQ(SaveSettings(), 0);
    }
    ResetSettingsForTest();
    CVelquinApp app(m_prompt, m_ui);
    ASSERT_EQ(Start(app), CVelquinApp::StartResult::Running);
    EXPECT_EQ(m_ui.batNotices, 1);
}

TEST(CommandLine, SwitchesAndFileNames) {
    EXPECT_TRUE(IsVerboseSwitch("v"));
    EXPECT_TRUE(IsVerboseSwitch("/v"));
    EXPECT_TRUE(IsVerboseSwitch("-v"));
    EXPECT_FALSE(IsVerboseSwitch("V"));
    EXPECT_FALSE(IsVerboseSwitch("-verbose"));
    EXPECT_TRUE(IsSwitchParameter("/x"));
    EXPECT_FALSE(IsSwitchParameter("/home/user/doc.tif"));
    EXPECT_FALSE(IsSwitchParameter("doc.tif"));
}

// The English interface opens the English guide where it is built, else the Russian one.
TEST(UserGuideTest, TheGuideOfTheInterfaceLanguageWhereThereIsOne) {
    testing_support::TempDir dir;
    ASSERT_EQ(platform::CreateDir(dir / "Help"), 0);
    testing_support::WriteFile(dir / "Help/TWVelquin.html", "ru");
    EXPECT_EQ(UserGuidePath(dir.Path(), true), dir / "Help/TWVelquin.html");
    testing_support::WriteFile(dir / "Help/TWVelquin.en.html", "en");
    EXPECT_EQ(UserGuidePath(dir.Path(), true), dir / "Help/TWVelquin.en.html");
    EXPECT_EQ(UserGuidePath(dir.Path(), false), dir / "Help/TWVelquin.html");
}
