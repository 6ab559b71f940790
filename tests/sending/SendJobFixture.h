#pragma once
// A fax store in a temporary directory, the settings pointed at it, and the simulator.
#include "TiffTestFiles.h"
#include "support/FaxsimProcess.h"
#include "support/TestSupport.h"

#include "app/Settings.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

namespace sending_test {

constexpr const char* kUser = "demo";
constexpr const char* kPassword = "secret12";

class SendJobFixture : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(m_dir.Path());
        ResetSettingsForTest();
        CSettings& s = Settings();
        s.DataDir = m_dir / "data";
        s.FaxDir = m_dir / "fax";
        for (const std::string& d : {s.DataDir, s.FaxDir, SentDir(), MergeDir()}) {
            platform::CreateDir(d);
        }
        s.UserID = kUser;
        s.UserPWD = kPassword;
        s.RememberPwd = true;
        s.ApiHost = "127.0.0.1:1"; // nothing listens there
    }
    void TearDown() override { ResetSettingsForTest(); }

    void StartSim() {
        ASSERT_TRUE(m_sim.Start({"--account", std::string(kUser) + ":" + kPassword}));
        Settings().ApiHost = m_sim.HostPort();
    }
    // The next `count` API replies of the simulator fail with `fault`.
    void SimFault(const std::string& fault, int count = 1) {
        std::string r = testing_support::HttpGet(
            m_sim.Port(), "/__control?fault=" + fault + "&count=" + std::to_string(count));
        ASSERT_NE(r.find("ok"), std::string::npos) << r;
    }

    std::string SentDir() const { return m_dir / "data/SentFaxes"; }
    std::string MergeDir() const { return m_dir / "data/Merge"; }
    std::string Sent(const std::string& name) const { return SentDir() + "/" + name; }

    testing_support::TempDir m_dir;
    testing_support::FaxsimProcess m_sim;
    testing_support::FakePrompt m_prompt;
    testing_support::FakeFrame m_frame;
};

} // namespace sending_test
