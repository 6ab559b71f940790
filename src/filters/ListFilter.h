#pragma once
// The age and date filter of a fax list: everything, the last N days, or after an instant.
#include <cstdint>

class CListFilter {
public:
    enum Kind : std::int32_t { kAll = 0, kLastDays = 1, kAfterDate = 2 };

    // Kind 1 takes the datum as a number of days, kind 2 as seconds since 1970 (an unsigned
    // 32-bit value); any kind other than 0, 1 or 2 becomes 0.
    void SetFilter(std::int32_t kind, std::int32_t datum);
    // The kind and the datum of that kind (0 for kind 0).
    void GetFilter(std::int32_t& kind, std::int32_t& datum) const;
    std::int32_t Kind() const { return m_kind; }

    // Whether an entry stamped `stamp` is shown when the time is `now` (both seconds since
    // 1970; days are counted from local midnight).
    bool Passes(std::int64_t stamp, std::int64_t now) const;
    bool Passes(std::int64_t stamp) const;

private:
    std::int32_t m_kind = kAll;
    std::int32_t m_days = 0;
    std::int64_t m_after = 0;
};

// Local midnight at the start of the day of `now`.
std::int64_t LocalMidnight(std::int64_t now);

// Local 23:59:59 of the day of `day`: the instant the filter dialog stores for a picked date.
std::int64_t LocalEndOfDay(std::int64_t day);
