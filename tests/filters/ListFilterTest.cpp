#include "filters/ListFilter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// Runs every case in a fixed zone with daylight saving, so midnight arithmetic is checked.
class ListFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_hadTz = tz != nullptr;
        m_oldTz = tz ? tz : "";
        ::setenv("TZ", "Europe/Berlin", 1);
        ::tzset();
    }
    void TearDown() override {
        if (m_hadTz) {
            ::setenv("TZ", m_oldTz.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    static std::int64_t Local(int year, int month, int day, int h, int m, int s) {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = h;
        tm.tm_min = m;
        tm.tm_sec = s;
        tm.tm_isdst = -1;
        return static_cast<std::int64_t>(std::mktime(&tm));
    }
    bool m_hadTz = false;
    std::string m_oldTz;
};

TEST_F(ListFilterTest, LastDaysCountsFromLocalMidnight) {
    CListFilter f;
    f.SetFilter(1, 5);
    for (std::int64_t now : {Local(2026, 3, 10, 0, 0, 0), Local(2026, 3, 10, 12, 30, 0),
                             Local(2026, 3, 10, 23, 59, 59)}) {
        EXPECT_FALSE(f.Passes(Local(2026, 3, 6, 0, 0, 0), now)); // strictly later only
        EXPECT_TRUE(f.Passes(Local(2026, 3, 6, 0, 0, 1), now));
        EXPECT_FALSE(f.Passes(Local(2026, 3, 5, 23, 59, 59), now));
        EXPECT_TRUE(f.Passes(Local(2026, 3, 12, 0, 0, 0), now)); // the future passes
    }
    f.SetFilter(1, 1); // today only
    std::int64_t now = Local(2026, 3, 10, 0, 0, 5);
    EXPECT_TRUE(f.Passes(Local(2026, 3, 10, 0, 0, 1), now));
    EXPECT_FALSE(f.Passes(Local(2026, 3, 9, 23, 59, 59), now));
    f.SetFilter(1, 0); // from the start of tomorrow on
    EXPECT_FALSE(f.Passes(Local(2026, 3, 10, 23, 59, 59), now));
    EXPECT_FALSE(f.Passes(Local(2026, 3, 11, 0, 0, 0), now));
    EXPECT_TRUE(f.Passes(Local(2026, 3, 11, 0, 0, 1), now));
}

TEST_F(ListFilterTest, MidnightOfADaylightSavingDay) {
    // 29 March 2026 has 23 hours in Berlin: local midnight is still the day's start.
    EXPECT_EQ(LocalMidnight(Local(2026, 3, 29, 20, 0, 0)), Local(2026, 3, 29, 0, 0, 0));
    EXPECT_EQ(LocalMidnight(Local(2026, 10, 25, 23, 0, 0)), Local(2026, 10, 25, 0, 0, 0));
    CListFilter f;
    f.SetFilter(1, 2);
    // One day of 86400 s back from 30 March 00:00 CEST is 28 March 23:00 CET.
    std::int64_t now = Local(2026, 3, 30, 9, 0, 0);
    EXPECT_TRUE(f.Passes(Local(2026, 3, 28, 23, 30, 0), now));
    EXPECT_FALSE(f.Passes(Local(2026, 3, 28, 23, 0, 0), now));
}

TEST_F(ListFilterTest, AfterDateUsesTheEndOfThePickedDay) {
    CListFilter f;
    std::int64_t after = LocalEndOfDay(Local(2026, 3, 10, 8, 15, 0));
    EXPECT_EQ(after, Local(2026, 3, 10, 23, 59, 59));
    f.SetFilter(2, static_cast<std::int32_t>(after));
    std::int64_t now = Local(2027, 1, 1, 0, 0, 0);
    EXPECT_FALSE(f.Passes(Local(2026, 3, 10, 23, 59, 59), now));
    EXPECT_TRUE(f.Passes(Local(2026, 3, 11, 0, 0, 0), now));
    std::int32_t kind = -1, datum = -1;
    f.GetFilter(kind, datum);
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(datum, static_cast<std::int32_t>(after));
}

TEST_F(ListFilterTest, AfterDateDatumIsUnsigned) {
    CListFilter f;
    f.SetFilter(2, -1); // 0xFFFFFFFF seconds: year 2106
    EXPECT_FALSE(f.Passes(Local(2100, 1, 1, 0, 0, 0), 0));
    EXPECT_TRUE(f.Passes(std::int64_t{0xFFFFFFFF} + 1, 0));
    std::int32_t kind = 0, datum = 0;
    f.GetFilter(kind, datum);
    EXPECT_EQ(datum, -1);
}

TEST_F(ListFilterTest, KindsOutsideTheRangeShowEverything) {
    CListFilter f;
    std::int32_t kind = -1, datum = -1;
    f.GetFilter(kind, datum);
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(datum, 0);
    EXPECT_TRUE(f.Passes(0, 0));
    for (std::int32_t bad : {3, -1, 1000}) {
        f.SetFilter(1, 5);
        f.SetFilter(bad, 7);
        f.GetFilter(kind, datum);
        EXPECT_EQ(kind, 0) << bad;
        EXPECT_EQ(datum, 0) << bad;
        EXPECT_TRUE(f.Passes(-100000, 0)) << bad;
    }
    f.SetFilter(1, 9);
    f.GetFilter(kind, datum);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(datum, 9);
    // Huge day counts do not overflow the threshold.
    f.SetFilter(1, -2147483647 - 1);
    EXPECT_FALSE(f.Passes(Local(2030, 1, 1, 0, 0, 0), Local(2026, 1, 1, 0, 0, 0)));
    f.SetFilter(1, 2147483647);
    EXPECT_TRUE(f.Passes(0, Local(2026, 1, 1, 0, 0, 0)));
}

} // namespace
