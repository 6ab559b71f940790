#include "service/WebGate.h"

#include "platform/Encoding.h"

#include "app/Settings.h"
#include "platform/Files.h"
#include "platform/Sync.h"
#include "resources/Strings.h"
#include "service/FormPost.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

std::string QueryValue(std::string_view text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '@' || c == ':';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

constexpr std::string_view kPagePrefix = "report-";
constexpr std::string_view kPageSuffix = ".html";

void RemoveOldPages(const std::string& dir) {
    const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr)) - kWebGatePageAge;
    for (const platform::DirEntry& e : platform::ListDir(dir)) {
        if (!e.isDir && e.name.starts_with(kPagePrefix) && e.name.ends_with(kPageSuffix) &&
            e.lastWrite < before) {
            platform::DeleteFile(platform::JoinPath(dir, e.name));
        }
    }
}

} // namespace

int WriteWebGatePage(const std::string& address, std::string_view title, std::string& path) {
    int err = 0;
    const std::string dir = platform::PrivateRuntimeDir(err);
    if (err != 0) {
        path = dir;
        return err;
    }
    RemoveOldPages(dir);
    const std::string link = platform::HtmlText(address);
    // A refresh for browsers without scripts; the script keeps the page out of the history.
    const std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
        "<meta name=\"referrer\" content=\"no-referrer\">\n"
        "<meta http-equiv=\"refresh\" content=\"0; url=" +
        link + "\">\n<title>" + platform::HtmlText(title) +
        "</title></head>\n<body><a id=\"gate\" href=\"" + link + "\">" + platform::HtmlText(title) +
        "</a>\n<script>location.replace(document.getElementById(\"gate\").href)</script>\n"
        "</body></html>\n";
    // A name of its own (mkstemps makes the file, mode 0600), then the page written in full.
    path = platform::JoinPath(dir, std::string(kPagePrefix) + "XXXXXX" + std::string(kPageSuffix));
    const int fd = ::mkstemps(path.data(), static_cast<int>(kPageSuffix.size()));
    if (fd < 0) {
        err = errno;
        path = dir;
        return err;
    }
    ::close(fd);
    err = platform::AtomicReplaceFile(path, page, 0600);
    if (err != 0) {
        platform::DeleteFile(path);
    }
    return err;
}

std::string WebGateAddress(std::string_view webHost, std::string_view userId,
                           std::string_view passwordDigest) {
    // A host written with its scheme keeps it (an https:// web site).
    const bool schemed = webHost.starts_with("http://") || webHost.starts_with("https://");
    while (webHost.ends_with('/')) {
        webHost.remove_suffix(1);
    }
    return (schemed ? "" : "http://") + std::string(webHost) +
           FormatString(kWebGatePath, QueryValue(userId), QueryValue(passwordDigest));
}

std::string WebGateAddressFromSettings() {
    const CSettings& s = Settings();
    const std::string host = s.WebHost.empty() ? std::string(kDefaultWebHost) : s.WebHost;
    return WebGateAddress(host, s.UserID, PasswordDigest(s.UserPWD));
}
