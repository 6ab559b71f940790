#include "platform/Registry.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using testing_support::ReadFileOrDie;
using testing_support::WriteFile;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { testing_support::IsolateEnvironment(m_dir.Path()); }
    testing_support::TempDir m_dir;
};

TEST_F(RegistryTest, ValuesKeepTheirExactBytesThroughTheFile) {
    {
        CRegKey key;
        ASSERT_EQ(key.Create(Hive::LocalMachine, "SOFTWARE\\Tarnwell\\Plendor"), 0);
        key.SetValue("WithNul", RegType::String, RegStringZ("a \"q\" \\ b"));
        key.SetValue("NoNul", RegType::String, "1");
        key.SetValue("Empty", RegType::String, "");
        key.SetValue("Number", RegType::Dword, RegDword(0x0a));
        key.SetValue("Time", RegType::Dword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
        key.SetValue("Blob", RegType::Binary, std::string("\0\xff", 2));
        key.SetValue("Raw", RegType::String, std::string("\xc0\xff\0", 3)); // not text: kept
        key.SetValue("Text", RegType::String, RegStringZ("Мои Контакты"));
        ASSERT_EQ(key.Close(), 0);
    }
    const std::string file = HivePath(Hive::LocalMachine);
    std::string text = ReadFileOrDie(file);
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwell\\Plendor]"), std::string::npos);
    EXPECT_NE(text.find("\"Number\"=dword:0000000a"), std::string::npos);
    EXPECT_NE(text.find("\"WithNul\"=\"a \\\"q\\\" \\\\ b\""), std::string::npos);
    EXPECT_NE(text.find("\"NoNul\"=hex(1):31"), std::string::npos);
    EXPECT_NE(text.find("\"Time\"=hex(4):01,02,03,04,05,06,07,08"), std::string::npos);
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    CRegKey key;
    ASSERT_EQ(key.Open(Hive::LocalMachine, "software\\TARNWELL\\plendor"), 0);
    auto check = [&](const char* name, RegType type, const std::string& bytes) {
        auto v = key.Value(name);
        ASSERT_TRUE(v) << name;
        EXPECT_EQ(v->type, type) << name;
        EXPECT_EQ(v->bytes, bytes) << name;
    };
    check("withnul", RegType::String, RegStringZ("a \"q\" \\ b"));
    check("NoNul", RegType::String, "1");
    check("Empty", RegType::String, "");
    check("Number", RegType::Dword, RegDword(10));
    check("Time", RegType::Dword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    check("Blob", RegType::Binary, std::string("\0\xff", 2));
    check("Raw", RegType::String, std::string("\xc0\xff\0", 3));
    check("Text", RegType::String, RegStringZ("Мои Контакты"));
    EXPECT_FALSE(key.Value("Missing"));
    CRegKey other;
    EXPECT_EQ(other.Open(Hive::CurrentUser, "SOFTWARE\\Tarnwell\\Plendor"), kRegNotFound);
}

TEST_F(RegistryTest, HandWrittenFilesParseWithDefaultsAndContinuations) {
    WriteFile(
        HivePath(Hive::LocalMachine),
        "REGEDIT4\r\n\r\n; written by hand\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n"
        "@=\"The Bat!\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n"
        "\"Long\"=hex:01,02,\\\r\n  03,04\r\n");
    CRegKey key;
    ASSERT_EQ(key.Open(Hive::LocalMachine, "SOFTWARE\\Clients\\Mail"), 0);
    EXPECT_EQ(key.Value("")->bytes, RegStringZ("The Bat!"));
    ASSERT_EQ(key.Open(Hive::LocalMachine, "SOFTWARE\\X"), 0);
    EXPECT_EQ(key.Value("Long")->bytes, std::string("\x01\x02\x03\x04"));
}

TEST_F(RegistryTest, MalformedHiveNamesTheLineAndIsNeverOverwritten) {
    const std::string file = HivePath(Hive::LocalMachine);
    const std::string bad = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"ok\"=dword:00000001\n"
                            "\"broken\"=dword:12\n";
    WriteFile(file, bad);
    CRegKey key;
    EXPECT_EQ(key.Open(Hive::LocalMachine, "A"), kRegBadFile);
    EXPECT_NE(LastRegistryError().find(file + ":5:"), std::string::npos) << LastRegistryError();
    EXPECT_EQ(key.Create(Hive::LocalMachine, "B"), kRegBadFile);
    EXPECT_EQ(ReadFileOrDie(file), bad);
}

TEST_F(RegistryTest, TwoProcessesWritingDifferentValuesLoseNothing) {
    constexpr int kWrites = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            for (int i = 0; i < kWrites; ++i) {
                CRegKey key;
                if (key.Create(Hive::CurrentUser, "Software\\Tarnwell\\Velquin") != 0) {
                    ::_exit(1);
                }
                key.SetValue("p" + std::to_string(c) + "_" + std::to_string(i), RegType::Dword,
                             RegDword(static_cast<std::uint32_t>(i)));
                if (key.Close() != 0) {
                    ::_exit(2);
                }
            }
            ::_exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    CRegKey key;
    ASSERT_EQ(key.Open(Hive::CurrentUser, "Software\\Tarnwell\\Velquin"), 0);
    EXPECT_EQ(key.ValueNames().size(), 2u * kWrites);
}
