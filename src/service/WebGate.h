#pragma once
// The service's web gate: the page with the delivery reports, opened in the browser.
#include <cstdint>
#include <string>
#include <string_view>

constexpr const char* kWebGatePath = "/api/__gate.php?username=%s&password=%s";

// "http://" + webHost (webHost alone when it begins with "http://" or "https://") + the gate path
// with the user name and the password digest. Characters that would end or change a query value
// (blank, "&", "#", "%", "+", controls, non-ASCII) are percent-encoded; user names and digests made
// of letters and digits stay as they are.
std::string WebGateAddress(std::string_view webHost, std::string_view userId,
                           std::string_view passwordDigest);

// The address for the settings record: WebHost, UserID and the digest of the password.
std::string WebGateAddressFromSettings();

// The browser is sent to the web gate through a page in the user's private runtime folder,
// never with the address on a command line, where every user of the machine could read the
// digest. The pages are "report-XXXXXX.html"; those older than kWebGatePageAge seconds have
// long been read by their browsers and go when the next one is written.
constexpr std::int64_t kWebGatePageAge = 3600;

// Writes a page (mode 0600) that sends the browser on to `address`, titled `title`. 0 with
// `path` set to the page, or errno with `path` naming the file or folder at fault.
int WriteWebGatePage(const std::string& address, std::string_view title, std::string& path);
