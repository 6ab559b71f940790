// The post of a send job runs on a worker while the GUI thread waits for it; the result is
// applied on the GUI thread afterwards.
#include "support/FaxsimProcess.h"
#include "support/TestSupport.h"

#include "FaxSim.h"
#include "app/Settings.h"
#include "platform/Files.h"
#include "sending/SendFaxJob.h"
#include "store/FaxRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

TEST(SendJobThreadsTest, PostsRunOnWorkersAndResultsAreAppliedAfterwards) {
    testing_support::TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    ResetSettingsForTest();
    testing_support::FaxsimProcess sim;
    ASSERT_TRUE(sim.Start({"--account", "demo:secret12"}));
    CSettings& s = Settings();
    s.DataDir = dir / "data";
    platform::CreateDir(s.DataDir);
    platform::CreateDir(s.DataDir + "/SentFaxes");
    s.UserID = "demo";
    s.UserPWD = "secret12";
    s.RememberPwd = true;
    s.ApiHost = sim.HostPort();

    testing_support::FakePrompt prompt;
    testing_support::FakeFrame frame;
    constexpr int kJobs = 4;
    std::vector<std::unique_ptr<CSendFaxJob>> jobs;
    std::vector<CPosting> postings;
    for (int i = 0; i < kJobs; ++i) {
        std::string image = dir / ("doc" + std::to_string(i) + ".tif");
        testing_support::WriteFile(image, "image " + std::to_string(i));
        jobs.push_back(std::make_unique<CSendFaxJob>(image, "doc.tif", "", prompt, frame));
        jobs.back()->Open(CurrentTime());
        jobs.back()->SetNumber("881235208" + std::to_string(10 + i));
        ASSERT_TRUE(jobs.back()->Done());
        postings.push_back(jobs.back()->PrepareSend().value());
    }
    std::vector<CSubmitResult> results(kJobs);
    std::vector<std::thread> workers;
    for (int i = 0; i < kJobs; ++i) {
        workers.emplace_back([&, i] { results[i] = CSendFaxJob::Post(postings[i]); });
    }
    for (auto& w : workers) {
        w.join();
    }
    std::vector<std::int32_t> ids;
    for (int i = 0; i < kJobs; ++i) {
        EXPECT_EQ(jobs[i]->FinishSend(results[i]), SendOutcome::Submitted);
        ids.push_back(jobs[i]->m_faxNumber);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::int32_t>{5000001, 5000002, 5000003, 5000004}));
    EXPECT_EQ(frame.NewJobFiles().size(), static_cast<std::size_t>(kJobs));
    ResetSettingsForTest();
}

} // namespace
