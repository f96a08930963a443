// Done handles, the main queue and the deadline watch are used from worker
// threads (replies, decoders); these run under ThreadSanitizer as well.
#include <QStringList>
#include <gtest/gtest.h>
#include <thread>

#include "platform/dispatch/MainQueue.h"
#include "platform/net/DeadlineWatch.h"
#include "platform/operations/Operation.h"
#include "platform/operations/OperationQueue.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;

namespace {
class Held : public Operation {
public:
    std::function<void()> done;
    int *started;
    explicit Held(int *s) : started(s) {}

protected:
    void execute() override
    {
        ++*started;
        done = makeDoneHandle();
    }
};
} // namespace

TEST(DoneHandleThreads, CalledOrDroppedOffTheMainThreadFinishesOnIt)
{
    int started = 0;
    auto queue = OperationQueue::create("lane", 1);
    std::vector<std::shared_ptr<Held>> ops;
    for (int i = 0; i < 20; ++i) {
        ops.push_back(std::make_shared<Held>(&started));
        queue->addOperation(ops.back());
    }
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(kova::test::waitUntil([&] { return started == i + 1; }));
        std::function<void()> done = std::move(ops[size_t(i)]->done);
        // Half are called twice from two threads at once, half are just dropped there.
        if (i % 2 == 0) {
            std::thread t1([done] { done(); });
            std::thread t2([done] { done(); });
            t1.join();
            t2.join();
        } else {
            std::thread([d = std::move(done)]() mutable { d = nullptr; }).join();
        }
    }
    ASSERT_TRUE(kova::test::waitUntil([&] { return queue->operationCount() == 0; }));
    EXPECT_EQ(started, 20);
    for (const auto &op : ops)
        EXPECT_TRUE(op->isFinished());
}

TEST(MainQueueThreads, PostsFromManyThreadsAllRunOnMain)
{
    std::atomic<int> ranOffMain{0};
    int ran = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                MainQueue::async([&] {
                    if (!MainQueue::isMainThread())
                        ++ranOffMain;
                    ++ran;
                });
        });
    for (auto &t : threads)
        t.join();
    ASSERT_TRUE(kova::test::waitUntil([&] { return ran == 200; }));
    EXPECT_EQ(ranOffMain.load(), 0);
}

TEST(DeadlineWatchThreads, WorkRunsOnMainOnceItsMomentHasPassed)
{
    using Clock = DeadlineWatch::Clock;
    std::atomic<int> early{0};
    std::atomic<int> offMain{0};
    int ran = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const Clock::time_point when = Clock::now() + std::chrono::milliseconds(5 * ((t + i) % 7));
                DeadlineWatch::at(when, [&, when] {
                    if (Clock::now() < when)
                        ++early;
                    if (!MainQueue::isMainThread())
                        ++offMain;
                    ++ran;
                });
            }
        });
    for (auto &t : threads)
        t.join();
    ASSERT_TRUE(kova::test::waitUntil([&] { return ran == 40; }));
    EXPECT_EQ(early.load(), 0);
    EXPECT_EQ(offMain.load(), 0);
}
