#include "filters/ListFilter.h"

#include <ctime>

void CListFilter::SetFilter(std::int32_t kind, std::int32_t datum) {
    switch (kind) {
    case kLastDays:
        m_kind = kLastDays;
        m_days = datum;
        break;
    case kAfterDate:
        m_kind = kAfterDate;
        m_after = static_cast<std::uint32_t>(datum);
        break;
    default:
        m_kind = kAll;
        break;
    }
}

void CListFilter::GetFilter(std::int32_t& kind, std::int32_t& datum) const {
    kind = m_kind;
    switch (m_kind) {
    case kLastDays:
        datum = m_days;
        break;
    case kAfterDate:
        datum = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_after));
        break;
    default:
        datum = 0;
        break;
    }
}

bool CListFilter::Passes(std::int64_t stamp, std::int64_t now) const {
    switch (m_kind) {
    case kAll:
        return true;
    case kLastDays: {
        std::int64_t from = LocalMidnight(now) - (static_cast<std::int64_t>(m_days) - 1) * 86400;
        return stamp > from;
    }
    case kAfterDate:
        return stamp > m_after;
    default:
        return false;
    }
}

bool CListFilter::Passes(std::int64_t stamp) const {
    return Passes(stamp, static_cast<std::int64_t>(std::time(nullptr)));
}

std::int64_t LocalMidnight(std::int64_t now) {
    std::time_t t = static_cast<std::time_t>(now);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) {
        return now;
    }
    tm.tm_hour = 0;
    tm.tm_min = 0;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    std::time_t m = std::mktime(&tm);
    return m == static_cast<std::time_t>(-1) ? now : static_cast<std::int64_t>(m);
}

std::int64_t LocalEndOfDay(std::int64_t day) {
    std::time_t t = static_cast<std::time_t>(day);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) {
        return day;
    }
    tm.tm_hour = 23;
    tm.tm_min = 59;
    tm.tm_sec = 59;
    tm.tm_isdst = -1;
    std::time_t m = std::mktime(&tm);
    return m == static_cast<std::time_t>(-1) ? day : static_cast<std::int64_t>(m);
}
