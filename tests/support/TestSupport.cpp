#include "TestSupport.h"

#include "platform/Encoding.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace testing_support {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/velquin-test-XXXXXX";
    char* made = mkdtemp(tmpl.data());
    if (!made) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void IsolateEnvironment(const std::string& root) {
    std::filesystem::create_directories(root + "/registry");
    std::filesystem::create_directories(root + "/config");
    std::filesystem::create_directories(root + "/state");
    std::filesystem::create_directories(root + "/runtime");
    ::chmod((root + "/runtime").c_str(), 0700);
    ::setenv("VELQUIN_REGISTRY_DIR", (root + "/registry").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
    ::setenv("HOME", root.c_str(), 1);
    // Away from the developer's own keyring: a test that wants one starts its own bus.
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.good()) << "cannot write " << path;
}

std::string ReadFileOrDie(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    EXPECT_TRUE(f.good()) << "cannot read " << path;
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string UnicodeText(const std::string& utf8, bool littleEndian) {
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t u : platform::Utf8ToUtf16(utf8)) {
        const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
        bytes += littleEndian ? std::string{lo, hi} : std::string{hi, lo};
    }
    return bytes;
}

std::string BuildDir() {
    const char* d = std::getenv("VELQUIN_BUILD_DIR");
    return d ? d : ".";
}

int RunVelquinTool(const std::string& args, std::string& output) {
    return RunShell(BuildDir() + "/tools/velquin-tool/velquin-tool " + args, output);
}

int RunShell(const std::string& command, std::string& output) {
    output.clear();
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
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

MsgAnswer FakePrompt::Message(std::string_view text, MsgIcon icon, MsgButtons buttons) {
    std::lock_guard lock(m_mutex);
    messages.push_back({std::string(text), icon, buttons});
    if (!m_answers.empty()) {
        MsgAnswer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    switch (buttons) {
    case MsgButtons::Ok:
    case MsgButtons::OkCancel:
        return MsgAnswer::Ok;
    default:
        return MsgAnswer::Yes;
    }
}

std::optional<std::string> FakePrompt::AskOpenFile(std::string_view filters, std::string_view) {
    std::lock_guard lock(m_mutex);
    askedFilters.emplace_back(filters);
    if (m_fileNames.empty()) {
        return std::nullopt;
    }
    auto n = m_fileNames.front();
    m_fileNames.pop_front();
    return n;
}

std::optional<std::string> FakePrompt::AskSaveFile(std::string_view filters, std::string_view,
                                                   std::string_view) {
    return AskOpenFile(filters, {});
}

void FakePrompt::FileError(std::string_view text) {
    std::lock_guard lock(m_mutex);
    fileErrors.emplace_back(text);
}

void FakePrompt::SetNextAnswer(MsgAnswer a) {
    std::lock_guard lock(m_mutex);
    m_answers.push_back(a);
}

void FakePrompt::SetNextFileName(std::optional<std::string> name) {
    std::lock_guard lock(m_mutex);
    m_fileNames.push_back(std::move(name));
}

void FakeFrame::ProgressStart(int) {
    std::lock_guard lock(m_mutex);
    ++progressStarts;
}
void FakeFrame::ProgressStep(int) {
    std::lock_guard lock(m_mutex);
    ++progressSteps;
}
void FakeFrame::ProgressEnd() {
    std::lock_guard lock(m_mutex);
    ++progressEnds;
}
void FakeFrame::SetStatusText(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_status.emplace_back(text);
}
void FakeFrame::AddWritten(const std::string& path, std::string_view) {
    std::lock_guard lock(m_mutex);
    m_jobs.push_back(path);
}
bool FakeFrame::RunOnGuiThread(const std::function<void()>& work) {
    {
        std::lock_guard lock(m_mutex);
        if (shuttingDown) {
            return false;
        }
    }
    std::lock_guard gui(m_guiMutex);
    work();
    return true;
}
void FakeFrame::PostCommand(int id) {
    std::lock_guard lock(m_mutex);
    m_commands.push_back(id);
}
void FakeFrame::AddressBooksLoaded() {
    std::lock_guard lock(m_mutex);
    ++m_booksLoaded;
}
std::vector<std::string> FakeFrame::StatusTexts() {
    std::lock_guard lock(m_mutex);
    return m_status;
}
std::vector<std::string> FakeFrame::NewJobFiles() {
    std::lock_guard lock(m_mutex);
    return m_jobs;
}
std::vector<int> FakeFrame::PostedCommands() {
    std::lock_guard lock(m_mutex);
    return m_commands;
}
int FakeFrame::AddressBooksLoadedCount() {
    std::lock_guard lock(m_mutex);
    return m_booksLoaded;
}

} // namespace testing_support
