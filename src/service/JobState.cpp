#include "service/JobState.h"

#include "resources/Strings.h"

std::string JobStateText(std::int32_t state) {
    unsigned id = 0;
    switch (state) {
    case kJobStateDelivered:
        id = kIdsJobDelivered;
        break;
    case kJobStateNotDelivered:
        id = kIdsJobNotDelivered;
        break;
    case kJobStateQueued:
        id = kIdsJobQueued;
        break;
    case kJobStateNoFunds:
        id = kIdsJobNoFunds;
        break;
    default:
        return {};
    }
    return std::string(LoadString(id));
}

int JobStateImage(bool isListFax, std::int32_t state) {
    int base = isListFax ? 7 : 3;
    switch (state) {
    case kJobStateDelivered:
        return base + 3;
    case kJobStateNotDelivered:
    case kJobStateNoFunds:
        return base + 2;
    case kJobStateQueued:
        return base + 1;
    default:
        return base;
    }
}
