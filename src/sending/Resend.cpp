#include "sending/Resend.h"

#include "service/JobState.h"

#include <algorithm>
#include <unordered_set>

namespace {

template <typename Recipients>
void AddUndelivered(const Recipients& recipients, std::vector<std::string>& lines) {
    std::unordered_set<std::string> seen;
    for (const CFaxEntry& r : recipients) {
        if (r.m_status != kJobStateNotDelivered || r.m_recipient.empty() ||
            !seen.insert(r.m_recipient).second) {
            continue;
        }
        lines.push_back(r.m_recipientLabel.empty() ? r.m_recipient
                                                   : r.m_recipient + " " + r.m_recipientLabel);
    }
}

} // namespace

std::vector<std::string> UndeliveredLines(const CFaxEntryBase& mailing) {
    std::vector<std::string> lines;
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&mailing)) {
        AddUndelivered(list->m_recipients, lines);
    } else if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&mailing)) {
        AddUndelivered(personal->m_recipients, lines);
    }
    return lines;
}

bool HasUndelivered(const CFaxEntryBase& entry) {
    auto failed = [](const CFaxEntry& r) { return r.m_status == kJobStateNotDelivered; };
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&entry)) {
        return std::any_of(list->m_recipients.begin(), list->m_recipients.end(), failed);
    }
    if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&entry)) {
        return std::any_of(personal->m_recipients.begin(), personal->m_recipients.end(), failed);
    }
    return false;
}
