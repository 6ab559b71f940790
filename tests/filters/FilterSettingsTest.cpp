#include "filters/FilterSettings.h"
#include "app/Settings.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testing_support::FakePrompt;
using testing_support::TempDir;

namespace {

class FilterSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(m_dir.Path());
        ResetSettingsForTest();
    }
    void TearDown() override { ResetSettingsForTest(); }
    TempDir m_dir;
};

TEST_F(FilterSettingsTest, FreshSettingsShowEverything) {
    CSettingsListFilter sent(EFilterList::Sent);
    sent.SetFilter(1, 3);
    sent.Load();
    std::int32_t kind = -1, datum = -1;
    sent.GetFilter(kind, datum);
    EXPECT_EQ(kind, 0);
    EXPECT_TRUE(sent.Passes(0, 1'000'000'000));
}

TEST_F(FilterSettingsTest, StoringTheSentFilterLeavesTheReceivedPairAlone) {
    // The installer's values, which the settings store only reads.
    platform::CRegKey key;
    ASSERT_EQ(key.Create(platform::Hive::LocalMachine, kMainKey), 0);
    for (const char* name : {"ProgDir", "FaxDir", "DataDir"}) {
        key.SetValue(name, platform::RegType::String, platform::RegStringZ(m_dir.Path()));
    }
    ASSERT_EQ(key.Flush(), 0);
    Settings().RcvdFilterType = 2;
    Settings().RcvdFilterData = 12345;
    CSettingsListFilter sent(EFilterList::Sent);
    sent.SetFilter(1, 7);
    ASSERT_EQ(StoreFilterSettings(sent, EFilterList::Sent), 0);
    EXPECT_EQ(Settings().SentFilterType, 1);
    EXPECT_EQ(Settings().SentFilterData, 7);
    EXPECT_EQ(Settings().RcvdFilterType, 2);
    EXPECT_EQ(Settings().RcvdFilterData, 12345);

    // The values reached the settings store: a fresh load sees them.
    ResetSettingsForTest();
    FakePrompt prompt;
    ASSERT_TRUE(LoadSettings(prompt));
    EXPECT_EQ(Settings().SentFilterType, 1);
    EXPECT_EQ(Settings().SentFilterData, 7);
    EXPECT_EQ(Settings().RcvdFilterType, 2);
    CSettingsListFilter rcvd(EFilterList::Received);
    rcvd.Load();
    std::int32_t kind = 0, datum = 0;
    rcvd.GetFilter(kind, datum);
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(datum, 12345);
}

TEST_F(FilterSettingsTest, AFilterThatCannotBeSavedIsReportedAndTheFileKept) {
    // A settings file that cannot be read is never written over: the view's store says so.
    const std::string hive = platform::HivePath(platform::Hive::LocalMachine);
    testing_support::WriteFile(hive, "not a registry file\n");
    CSettingsListFilter sent(EFilterList::Sent);
    sent.SetFilter(1, 7);
    FakePrompt prompt;
    EXPECT_FALSE(sent.Store(prompt));
    ASSERT_EQ(prompt.fileErrors.size(), 1u);
    EXPECT_NE(prompt.fileErrors[0].find(hive), std::string::npos);
    EXPECT_EQ(testing_support::ReadFileOrDie(hive), "not a registry file\n");
}

TEST_F(FilterSettingsTest, AKindOutOfRangeInTheSettingsShowsEverything) {
    Settings().SentFilterType = 9;
    Settings().SentFilterData = 5;
    CSettingsListFilter sent(EFilterList::Sent);
    sent.Load();
    EXPECT_EQ(sent.Kind(), 0);
    EXPECT_TRUE(sent.Passes(-5, 0));
}

} // namespace
