#include "FaxSim.h"
#include "service/FormPost.h"
#include "support/FaxsimProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

std::atomic<int> g_destroyed{0};
struct Counted : nsobject {
    ~Counted() override { g_destroyed.fetch_add(1); }
};

// The status worker hands trees to the applier: built on one thread, read and released on
// another, while a third holds extra references to one shared node.
TEST(ServiceThreadsTest, TreesCrossThreadsAndAreReleasedOnce) {
    g_destroyed = 0;
    constexpr int kTrees = 300;
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Dictionary*> queue;
    bool done = false;
    auto shared = NsRef<Counted>::Retain(new Counted);

    std::thread producer([&] {
        for (int i = 0; i < kTrees; ++i) {
            ReplyTree t =
                ParseReplyXml("<?xml version=\"1.0\"?><response><data><item id=\"" +
                              std::to_string(i) + "\" jobstatus=\"2\"/></data></response>");
            t->setObject("shared", shared.get());
            std::lock_guard lock(mutex);
            queue.push_back(t.Detach());
            cv.notify_one();
        }
        std::lock_guard lock(mutex);
        done = true;
        cv.notify_one();
    });
    std::thread holder([&] {
        for (int i = 0; i < 1000; ++i) {
            NsRef<Counted> extra = shared;
        }
    });
    int sum = 0;
    for (;;) {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return !queue.empty() || done; });
        if (queue.empty()) {
            break;
        }
        ReplyTree t = ReplyTree::Adopt(queue.front());
        queue.pop_front();
        lock.unlock();
        Dictionary* item = FindReplyPath(t.get(), {"response", "data", "item"});
        ASSERT_NE(item, nullptr);
        sum += item->valueForKey("id", EmptyValue()).intValue();
    }
    producer.join();
    holder.join();
    EXPECT_EQ(sum, kTrees * (kTrees - 1) / 2);
    EXPECT_EQ(shared->retainCount(), 1);
    shared.Reset();
    EXPECT_EQ(g_destroyed.load(), 1);
}

// The send dialog and the status worker may be inside the client at the same time.
TEST(ServiceThreadsTest, ConcurrentRequestsAreIndependent) {
    testing_support::FaxsimProcess sim;
    ASSERT_TRUE(sim.Start({"--account", "demo:pw"}));
    ServiceEndpoint good{"127.0.0.1", sim.Port(), "demo", "pw"};
    ServiceEndpoint bad{"127.0.0.1", sim.Port(), "demo", "wrong"};
    std::atomic<int> answered{0};
    std::atomic<int> refused{0};
    auto worker = [&](const ServiceEndpoint& e) {
        for (int i = 0; i < 20; ++i) {
            ReplyTree t = RequestFaxStatus(1, e);
            Dictionary* error = FindReplyPath(t.get(), {"response", "error"});
            if (error == nullptr) {
                continue;
            }
            int code = error->valueForKey("code", EmptyValue()).intValue();
            (code == 2 ? refused : answered).fetch_add(1);
        }
    };
    std::thread a(worker, good);
    std::thread b(worker, bad);
    a.join();
    b.join();
    EXPECT_EQ(answered.load(), 20); // "no such job" for the right password
    EXPECT_EQ(refused.load(), 20);
}

} // namespace
