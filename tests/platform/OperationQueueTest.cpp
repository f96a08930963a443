#include <gtest/gtest.h>

#include "platform/operations/Operation.h"
#include "platform/operations/OperationQueue.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;

namespace {

class Recorder : public Operation {
public:
    Recorder(QString name, QStringList *log) : m_name(std::move(name)), m_log(log) {}
    std::function<void()> done;

protected:
    void execute() override
    {
        m_log->append("start " + m_name);
        done = makeDoneHandle();
    }

private:
    QString m_name;
    QStringList *m_log;
};

} // namespace

TEST(OperationQueueTest, SerialLaneHoldsTheNextUntilDone)
{
    QStringList log;
    auto queue = OperationQueue::create("lane", 1);
    auto a = std::make_shared<Recorder>("a", &log);
    auto b = std::make_shared<Recorder>("b", &log);
    queue->addOperation(a);
    queue->addOperation(b);
    EXPECT_TRUE(log.isEmpty()) << "nothing starts inside addOperation";
    ASSERT_TRUE(kova::test::waitUntil([&] { return log.size() == 1; }));
    kova::test::drainMainQueue();
    EXPECT_EQ(log, QStringList{"start a"});
    EXPECT_TRUE(a->isExecuting());

    a->done();
    EXPECT_TRUE(a->isFinished());
    EXPECT_EQ(log.size(), 1) << "the next one starts on a later turn";
    ASSERT_TRUE(kova::test::waitUntil([&] { return log.size() == 2; }));
    EXPECT_EQ(log.last(), "start b");
    a->done(); // a second call changes nothing
    kova::test::drainMainQueue();
    EXPECT_EQ(queue->operationCount(), 1u);
    b->done();
    EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(OperationQueueTest, DroppedDoneHandleStillFinishes)
{
    QStringList log;
    auto queue = OperationQueue::create("lane", 1);
    auto a = std::make_shared<Recorder>("a", &log);
    auto b = std::make_shared<Recorder>("b", &log);
    queue->addOperation(a);
    queue->addOperation(b);
    ASSERT_TRUE(kova::test::waitUntil([&] { return log.size() == 1; }));
    a->done = nullptr; // the only copy is lost
    ASSERT_TRUE(kova::test::waitUntil([&] { return log.size() == 2; }));
    EXPECT_TRUE(a->isFinished());
    b->done();
}

TEST(OperationQueueTest, UnboundedLaneRunsAllAtOnceAndReportsDrained)
{
    QStringList log;
    auto queue = OperationQueue::create("parallel", 0);
    int drained = 0;
    queue->setOnDrained([&] { ++drained; });
    std::vector<std::shared_ptr<Recorder>> ops;
    for (int i = 0; i < 3; ++i) {
        ops.push_back(std::make_shared<Recorder>(QString::number(i), &log));
        queue->addOperation(ops.back());
    }
    ASSERT_TRUE(kova::test::waitUntil([&] { return log.size() == 3; }));
    EXPECT_EQ(log, (QStringList{"start 0", "start 1", "start 2"}));
    ops[1]->done();
    ops[0]->done();
    EXPECT_EQ(drained, 0);
    ops[2]->done();
    EXPECT_EQ(drained, 1);
}

TEST(OperationQueueTest, LaneThatStartsAtOnceWhenIdleKeepsItsOrderOtherwise)
{
    QStringList log;
    auto queue = OperationQueue::create("lane", 1, OperationQueue::StartPolicy::AtOnceWhenIdle);
    auto a = std::make_shared<Recorder>("a", &log);
    auto b = std::make_shared<Recorder>("b", &log);
    auto c = std::make_shared<Recorder>("c", &log);
    queue->addOperation(a);
    EXPECT_EQ(log, QStringList{"start a"}) << "an idle lane starts inside addOperation";
    queue->addOperation(b);
    EXPECT_EQ(log, QStringList{"start a"}) << "a busy lane holds the next";

    a->done();
    EXPECT_EQ(log.size(), 1) << "the one freed by a finish starts on a later turn, as on any lane";
    queue->addOperation(c);
    EXPECT_EQ(log.size(), 1) << "one added while another waits never overtakes it";
    ASSERT_TRUE(kova::test::waitUntil([&] { return log.size() == 2; }));
    kova::test::drainMainQueue();
    EXPECT_EQ(log, (QStringList{"start a", "start b"}));
    b->done();
    ASSERT_TRUE(kova::test::waitUntil([&] { return log.size() == 3; }));
    EXPECT_EQ(log.last(), "start c");
    c->done();
    EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(OperationQueueTest, UnboundedLaneThatStartsAtOnceStartsEachAddedOperation)
{
    QStringList log;
    auto queue = OperationQueue::create("parallel", 0, OperationQueue::StartPolicy::AtOnceWhenIdle);
    std::vector<std::shared_ptr<Recorder>> ops;
    for (int i = 0; i < 3; ++i) {
        ops.push_back(std::make_shared<Recorder>(QString::number(i), &log));
        queue->addOperation(ops.back());
        EXPECT_EQ(log.size(), i + 1);
    }
    for (auto &op : ops)
        op->done();
    EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(OperationQueueTest, OnlyTheFirstFewIdleLanesOfATurnStartAtOnce)
{
    kova::test::drainMainQueue(); // a fresh turn
    QStringList log;
    const int budget = OperationQueue::kAtOnceStartsPerTurn;
    std::vector<std::shared_ptr<OperationQueue>> lanes;
    std::vector<std::shared_ptr<Recorder>> ops;
    for (int i = 0; i < budget + 3; ++i) {
        lanes.push_back(OperationQueue::create("lane", 1, OperationQueue::StartPolicy::AtOnceWhenIdle));
        ops.push_back(std::make_shared<Recorder>(QString::number(i), &log));
        lanes.back()->addOperation(ops.back());
    }
    EXPECT_EQ(log.size(), budget) << "the rest wait for the main queue";
    ASSERT_TRUE(kova::test::waitUntil([&] { return log.size() == budget + 3; }));
    EXPECT_EQ(log.last(), QStringLiteral("start %1").arg(budget + 2)) << "in the order they were added";

    kova::test::drainMainQueue();
    auto next = std::make_shared<Recorder>("next", &log);
    lanes.front()->addOperation(next);
    EXPECT_EQ(log.size(), budget + 3) << "lane 0 is still busy";
    ops.front()->done();
    ASSERT_TRUE(kova::test::waitUntil([&] { return log.last() == QStringLiteral("start next"); }));
    kova::test::drainMainQueue();
    auto fresh = OperationQueue::create("lane", 1, OperationQueue::StartPolicy::AtOnceWhenIdle);
    auto again = std::make_shared<Recorder>("again", &log);
    fresh->addOperation(again);
    EXPECT_EQ(log.last(), QStringLiteral("start again")) << "a later turn has its own allowance";
    for (auto &op : ops)
        op->done();
    next->done();
    again->done();
}
