#pragma once
// Job states reported by the service, their texts and their images in the sent fax tree.
#include <cstdint>
#include <string>

constexpr std::int32_t kJobStateNone = -1; // no result yet
constexpr std::int32_t kJobStateDelivered = 2;
constexpr std::int32_t kJobStateNotDelivered = 3;
constexpr std::int32_t kJobStateQueued = 4;
constexpr std::int32_t kJobStateNoFunds = 6;

constexpr unsigned kIdsJobNotDelivered = 190;
constexpr unsigned kIdsJobDelivered = 191;
constexpr unsigned kIdsJobQueued = 192;
constexpr unsigned kIdsJobNoFunds = 193;

// The state's text, or "" for a state without one.
std::string JobStateText(std::int32_t state);

// Image index in the sent fax tree's image list. `isListFax` is true for a mass fax from a
// list (record type 2); single and personalised faxes share the other row of images.
int JobStateImage(bool isListFax, std::int32_t state);
