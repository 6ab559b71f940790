#include "platform/SysInfo.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <mutex>
#include <pwd.h>
#include <sys/random.h>
#include <unistd.h>
#include <uuid/uuid.h>

namespace platform {
namespace {
std::mutex g_overrideLock;
std::optional<int> g_countryOverride;
bool g_countryOverridden = false;
std::optional<SystemVersion> g_versionOverride;
} // namespace

std::string CurrentUserName() {
    if (passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) {
        return pw->pw_name;
    }
    const char* u = std::getenv("USER");
    return u ? u : "";
}

std::optional<int> TelephoneCountryCode() {
    {
        std::lock_guard lock(g_overrideLock);
        if (g_countryOverridden) {
            return g_countryOverride;
        }
    }
    locale_t loc = ::newlocale(LC_TELEPHONE_MASK, "", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) {
        return std::nullopt;
    }
    // int_prefix is the country's calling code as text ("7" for Russia).
    const char* prefix = ::nl_langinfo_l(_NL_TELEPHONE_INT_PREFIX, loc);
    std::optional<int> code;
    if (prefix && *prefix) {
        char* end = nullptr;
        long v = std::strtol(prefix, &end, 10);
        if (end != prefix && v > 0 && v < 1000) {
            code = static_cast<int>(v);
        }
    }
    ::freelocale(loc);
    return code;
}

void SetTelephoneCountryCodeForTest(std::optional<int> code) {
    std::lock_guard lock(g_overrideLock);
    g_countryOverride = code;
    g_countryOverridden = code.has_value();
}

SystemVersion GetSystemVersion() {
    std::lock_guard lock(g_overrideLock);
    return g_versionOverride.value_or(SystemVersion{});
}

void SetSystemVersionForTest(std::optional<SystemVersion> v) {
    std::lock_guard lock(g_overrideLock);
    g_versionOverride = v;
}

Guid NewGuid() {
    // Random (version 4) GUIDs from the kernel's generator, taken in blocks: a book import makes
    // a GUID per contact, and one system call per GUID (as libuuid does) dominated its time.
    thread_local std::array<unsigned char, 4096> pool;
    thread_local std::size_t used = pool.size();
    if (used + 16 > pool.size()) {
        std::size_t got = 0;
        while (got < pool.size()) {
            ssize_t n = ::getrandom(pool.data() + got, pool.size() - got, 0);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
            } else if (errno != EINTR) {
                uuid_t u; // no kernel generator: let libuuid find another source
                ::uuid_generate(u);
                std::memcpy(pool.data() + got, u, std::min<std::size_t>(16, pool.size() - got));
                got += 16;
            }
        }
        used = 0;
    }
    unsigned char u[16];
    std::memcpy(u, pool.data() + used, 16);
    used += 16;
    u[7] = static_cast<unsigned char>((u[7] & 0x0F) | 0x40); // version 4 (Data3 high byte)
    u[8] = static_cast<unsigned char>((u[8] & 0x3F) | 0x80); // RFC 4122 variant
    // The first three fields are read as the original platform stored them (little-endian).
    Guid g;
    g.Data1 = static_cast<std::uint32_t>(u[0]) | static_cast<std::uint32_t>(u[1]) << 8 |
              static_cast<std::uint32_t>(u[2]) << 16 | static_cast<std::uint32_t>(u[3]) << 24;
    g.Data2 = static_cast<std::uint16_t>(u[4] | u[5] << 8);
    g.Data3 = static_cast<std::uint16_t>(u[6] | u[7] << 8);
    for (int i = 0; i < 8; ++i) {
        g.Data4[static_cast<std::size_t>(i)] = u[8 + i];
    }
    return g;
}

std::string GuidToText(const Guid& g) {
    char buf[80];
    int n = std::snprintf(buf, sizeof buf, "{%x%x%x", g.Data1, g.Data2, g.Data3);
    std::string s(buf, static_cast<std::size_t>(n));
    for (std::uint8_t b : g.Data4) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        s += buf;
    }
    s += '}';
    return s;
}

} // namespace platform
