// A private serial queue whose last owner lets go of it from one of its own
// blocks: the queue's thread must end without touching the queue again.
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "platform/dispatch/SerialQueue.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;

namespace {

std::atomic<bool> s_workerEnded{false};

// Made on the queue's thread by the block below; its destructor runs only
// when that thread itself ends.
struct ThreadEndWitness {
    ~ThreadEndWitness() { s_workerEnded = true; }
};

} // namespace

TEST(SerialQueueThreads, ReleasedByItsOwnBlockItsThreadEndsCleanly)
{
    s_workerEnded = false;
    auto owner = std::make_shared<std::shared_ptr<SerialQueue>>(std::make_shared<SerialQueue>(QStringLiteral("self.release")));
    std::atomic<bool> released{false};
    std::atomic<bool> posted{false};
    (*owner)->async([owner, &released, &posted] {
        thread_local ThreadEndWitness witness;
        (void)witness;
        // Not before async() has returned to the poster.
        while (!posted)
            std::this_thread::yield();
        owner->reset(); // the last owner: the queue is destroyed here, on its own thread
        released = true;
    });
    posted = true;
    owner.reset();
    ASSERT_TRUE(kova::test::waitUntil([&] { return released.load(); }));
    EXPECT_TRUE(kova::test::waitUntil([] { return s_workerEnded.load(); }, std::chrono::seconds(5)))
        << "the queue's thread never ended after the queue was destroyed from it";
}
