#pragma once
// Shared pieces of the status synchronisation tests: a frame whose GUI thread is the test's
// own thread (workers hand work over and wait, as with the real main window), and a fixture
// with a fax store in a temporary directory.
#include "app/Settings.h"
#include "platform/Files.h"
#include "store/StatusSync.h"
#include "store/VelquinDoc.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace sync_test {

// RunOnGuiThread queues the work for the test thread and waits until it has run there, or
// until Shutdown(), after which it refuses without running anything.
class GuiQueueFrame : public testing_support::FakeFrame {
public:
    bool RunOnGuiThread(const std::function<void()>& work) override {
        auto task = std::make_shared<Task>();
        task->work = &work;
        std::unique_lock lock(m_mutex);
        if (m_shutdown) {
            return false;
        }
        m_tasks.push_back(task);
        m_cv.notify_all();
        m_cv.wait(lock, [&] { return task->done || m_shutdown; });
        return task->done;
    }

    // Runs handed-over work on this thread until `done(ran)` holds, `ran` counting the work
    // run so far (checked between tasks and every few milliseconds). False when nothing came
    // for a long while: a hang, reported as a failure instead of blocking the suite.
    template <class Pred> bool PumpUntil(Pred done) {
        auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            std::shared_ptr<Task> task;
            {
                std::unique_lock lock(m_mutex);
                if (done(m_ran)) {
                    return true;
                }
                if (!m_cv.wait_for(lock, std::chrono::milliseconds(10),
                                   [&] { return !m_tasks.empty(); })) {
                    if (std::chrono::steady_clock::now() > giveUp) {
                        return false;
                    }
                    continue;
                }
                task = m_tasks.front();
                m_tasks.pop_front();
            }
            (*task->work)();
            std::lock_guard lock(m_mutex);
            task->done = true;
            ++m_ran;
            m_cv.notify_all();
            giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        }
    }
    void Shutdown() {
        std::lock_guard lock(m_mutex);
        m_shutdown = true;
        m_cv.notify_all();
    }

private:
    struct Task {
        const std::function<void()>* work = nullptr;
        bool done = false;
    };
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::shared_ptr<Task>> m_tasks;
    int m_ran = 0;
    bool m_shutdown = false;
};

// The entries the sent faxes' owner tells as changed: how often, and which.
struct ChangeCounter {
    int changed = 0;
    std::set<std::string> keys;
    CSentFaxes::CSubscription subscription;
};

class SyncFixture : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(root.Path());
        ResetSettingsForTest();
        CSettings& s = Settings();
        s.DataDir = root / "data";
        s.FaxDir = root / "fax";
        for (const char* d :
             {"data", "data/SentFaxes", "data/ReceivedFaxes", "data/SavedFiles", "fax"}) {
            ASSERT_EQ(platform::CreateDir(root / d), 0);
        }
    }
    void TearDown() override { CloseDoc(); }

    // The replies handed to the GUI thread are counted (see PumpReplies).
    void OpenDoc(CStatusWorkers::CSteps steps = {}) {
        if (steps.apply) {
            steps.apply = [this, apply = steps.apply](CSentFaxes& d,
                                                      std::vector<CStatusWorkers::Reply> batch) {
                const int n = static_cast<int>(batch.size());
                apply(d, std::move(batch));
                applied += n;
            };
        }
        doc = std::make_unique<CVelquinDoc>(prompt, frame, std::move(steps));
        hints.subscription = doc->SentFaxes().Subscribe([this](const CSentChange& c) {
            if (c.kind == CSentChange::Kind::Changed) {
                ++hints.changed;
                hints.keys.insert(c.key);
            }
        });
    }
    // Runs the GUI side until `count` replies in all were applied, in however many batches.
    bool PumpReplies(int count) {
        return frame.PumpUntil([&](int) { return applied.load() >= count; });
    }
    // The frame refuses first, so a worker waiting on the GUI cannot hold up the join.
    void CloseDoc() {
        frame.Shutdown();
        doc.reset();
    }

    std::string Sent(const std::string& name) const { return root / ("data/SentFaxes/" + name); }

    // A job file and its image in SentFaxes; the record's time orders the sent list.
    void Put(CFaxEntryBase& record, const std::string& stem, std::int64_t time) {
        record.m_time = time;
        AttachOf(record)->m_path = Sent(stem + ".tif");
        testing_support::WriteFile(Sent(stem + ".fax"), StoreRecord(record));
        testing_support::WriteFile(Sent(stem + ".tif"), "II*");
    }
    void PutSingle(const std::string& stem, std::int64_t time, std::int32_t faxId,
                   std::int32_t status = -1) {
        CSingleFaxEntry e("single " + stem);
        e.m_faxId = faxId;
        e.m_status = status;
        e.m_recipient = "8123" + std::to_string(faxId);
        Put(e, stem, time);
    }
    void PutList(const std::string& stem, std::int64_t time, std::int32_t listId,
                 std::vector<std::int32_t> recipientIds = {}, std::int32_t status = -1) {
        CGroupFaxEntry e("list " + stem);
        e.m_listId = listId;
        e.m_status = status;
        for (std::int32_t id : recipientIds) {
            CFaxEntry r;
            r.m_faxId = id;
            e.m_recipients.push_back(r);
        }
        Put(e, stem, time);
    }
    void PutPersonal(const std::string& stem, std::int64_t time,
                     const std::vector<std::int32_t>& recipientIds, std::int32_t status = -1) {
        CPersonalFaxEntry e("personal " + stem);
        e.m_listId = 2000000000 + static_cast<std::int32_t>(time);
        e.m_status = status;
        for (std::int32_t id : recipientIds) {
            CAttachFaxEntry r;
            r.m_faxId = id;
            r.m_path = Sent(stem + "_r" + std::to_string(id) + ".tif");
            e.m_recipients.push_back(r);
        }
        Put(e, stem, time);
    }

    // The record as its job file holds it now.
    std::unique_ptr<CFaxEntryBase> OnDisk(const std::string& stem) const {
        return LoadSentRecord(testing_support::ReadFileOrDie(Sent(stem + ".fax")));
    }
    template <class T> const T& Entry(std::size_t i) {
        return dynamic_cast<const T&>(*doc->SentRecords().at(i));
    }

    testing_support::TempDir root;
    testing_support::FakePrompt prompt;
    GuiQueueFrame frame; // outlives the document
    ChangeCounter hints;
    std::atomic<int> applied{0};
    std::unique_ptr<CVelquinDoc> doc;
};

// A reply of the service for one job.
inline ReplyTree StateReply(std::int32_t id, std::int32_t state) {
    return ParseReplyXml("<?xml version=\"1.0\"?><response><data><item id=\"" + std::to_string(id) +
                         "\" jobstatus=\"" + std::to_string(state) + "\"/></data></response>");
}

} // namespace sync_test
