#include "service/WebGate.h"

#include "app/Settings.h"
#include "resources/Strings.h"
#include "service/FormPost.h"

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

} // namespace

std::string WebGateAddress(std::string_view webHost, std::string_view userId,
                           std::string_view passwordDigest) {
    return "http://" + std::string(webHost) +
           FormatString(kWebGatePath, QueryValue(userId), QueryValue(passwordDigest));
}

std::string WebGateAddressFromSettings() {
    const CSettings& s = Settings();
    const std::string host = s.WebHost.empty() ? std::string(kDefaultWebHost) : s.WebHost;
    return WebGateAddress(host, s.UserID, PasswordDigest(s.UserPWD));
}
