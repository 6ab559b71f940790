#include "store/Viewers.h"

#include "app/Archive.h"
#include "app/DemoService.h"
#include "app/Settings.h"
#include "app/StorePaths.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "resources/Strings.h"

#include <cerrno>

namespace {

constexpr unsigned kIdsViewerNotStarted = 9402;
constexpr unsigned kIdsOpenerNotStarted = 9403;
constexpr unsigned kIdsOpenerFailed = 9405;

bool IsTiffName(const std::string& path) {
    const std::string ext = platform::AsciiLower(platform::Extension(path));
    return ext == ".tif" || ext == ".tiff";
}

// The name the viewer shows for a record's image: the document's or the sent entry's title.
std::string TitleOf(const CAttach& record) {
    const auto* entry = dynamic_cast<const CFaxEntryBase*>(&record);
    return entry != nullptr ? entry->m_title : std::string();
}

} // namespace

std::string SentFilePath(const std::string& storedPath) {
    return storedPath.empty() ? std::string() : FileInStore(StorePath(kSentFolder), storedPath);
}

bool CViewers::ShowFile(const CAttach& record) {
    return ShowPath(record.m_path, TitleOf(record));
}

bool CViewers::ShowSentFile(const CAttach& record) {
    return ShowPath(SentFilePath(record.StoreName()), TitleOf(record));
}

void CViewers::ReportMissing(const std::string& path) {
    m_prompt.FileError(DescribeFileError(CFileException(ENOENT, path, path), path));
}

bool CViewers::ShowPath(const std::string& path, const std::string& title) {
    if (path.empty()) {
        return false;
    }
    // The own viewer shows fax images only; a document added as it was (a PDF, a picture)
    // goes to the program the desktop opens it with.
    if (!Settings().UseOwnViewer || !IsTiffName(path)) {
        return OpenOutside(path);
    }
    if (!platform::PathExists(path)) {
        ReportMissing(path);
        return false;
    }
    const std::string viewer = OwnViewerPath();
    std::vector<std::string> argv = {viewer, path};
    if (!title.empty()) {
        argv.insert(argv.begin() + 1, {"--title", title});
    }
    if (!platform::StartProgram(argv)) {
        m_prompt.FileError(FormatString(LoadString(kIdsViewerNotStarted), path, viewer));
        return false;
    }
    return true;
}

bool CViewers::OpenOutside(const std::string& target, std::string_view shownName) {
    if (target.empty()) {
        return false;
    }
    // The opener runs detached and cannot tell about a missing file: it is looked for here.
    if (target.find("://") == std::string::npos && !platform::PathExists(target)) {
        ReportMissing(target);
        return false;
    }
    const std::string shown(shownName.empty() ? target : shownName);
    if (!platform::ShellOpen(target, shown)) {
        m_prompt.FileError(
            FormatString(LoadString(kIdsOpenerNotStarted), shown, platform::ShellOpener()));
        return false;
    }
    return true;
}

void CViewers::TellFailedOpeners() {
    for (const platform::FailedChild& failed : platform::EndedInFailure()) {
        const std::string code = std::to_string(failed.code);
        m_prompt.FileError(
            failed.label == demo::kLabel
                ? FormatString(LoadString(demo::kMsgFailed), failed.program, code)
                : FormatString(LoadString(kIdsOpenerFailed), failed.label, failed.program, code));
    }
}
