#include "platform/SysInfo.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(SysInfo, GuidTextHasUnpaddedFieldsAndPaddedTail) {
    Guid g;
    g.Data1 = 0x0000abcd;
    g.Data2 = 0x0012;
    g.Data3 = 0xf00d;
    g.Data4 = {0x01, 0x02, 0xa0, 0xff, 0x00, 0x10, 0x20, 0x30};
    EXPECT_EQ(GuidToText(g), "{abcd12f00d0102a0ff00102030}");
    EXPECT_NE(NewGuid(), NewGuid());
}

TEST(SysInfo, InjectedValuesOverrideTheSystem) {
    EXPECT_EQ(GetSystemVersion().major, 6);
    EXPECT_EQ(GetSystemVersion().minor, 2);
    SetSystemVersionForTest(SystemVersion{5, 1});
    EXPECT_EQ(GetSystemVersion().major, 5);
    SetSystemVersionForTest(std::nullopt);
    SetTelephoneCountryCodeForTest(7);
    EXPECT_EQ(TelephoneCountryCode(), 7);
    SetTelephoneCountryCodeForTest(std::nullopt);
    EXPECT_FALSE(CurrentUserName().empty());
}
