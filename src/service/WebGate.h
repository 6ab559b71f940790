#pragma once
// The service's web gate: the page with the delivery reports, opened in the browser.
#include <string>
#include <string_view>

constexpr const char* kWebGatePath = "/api/__gate.php?username=%s&password=%s";

// "http://" + webHost + the gate path with the user name and the password digest. Characters
// that would end or change a query value (blank, "&", "#", "%", "+", controls, non-ASCII) are
// percent-encoded; user names and digests made of letters and digits stay as they are.
std::string WebGateAddress(std::string_view webHost, std::string_view userId,
                           std::string_view passwordDigest);

// The address for the settings record: WebHost, UserID and the digest of the password.
std::string WebGateAddressFromSettings();
