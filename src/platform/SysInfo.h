#pragma once
// System information the program asks the OS for.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

std::string CurrentUserName();

// The locale's telephone country code (LC_TELEPHONE int_prefix, e.g. 7 for ru_RU), or nullopt.
// SetTelephoneCountryCodeForTest overrides it (nullopt restores the locale's).
std::optional<int> TelephoneCountryCode();
void SetTelephoneCountryCodeForTest(std::optional<int> code);

// The system version as the original's printed-document intake saw it: 6.2 here.
struct SystemVersion {
    int major = 6;
    int minor = 2;
};
SystemVersion GetSystemVersion();
void SetSystemVersionForTest(std::optional<SystemVersion> v);

struct Guid {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};
    bool operator==(const Guid&) const = default;
};

Guid NewGuid();
// "{" + Data1, Data2, Data3 in lower-case hex without padding + the 8 bytes of Data4 (two
// lower-case hex digits each) + "}".
std::string GuidToText(const Guid& g);

} // namespace platform
