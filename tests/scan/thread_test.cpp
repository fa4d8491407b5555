#include "scan/worker_thread.h"
#include "scan_test_util.h"

#include <QCoreApplication>
#include <QPointer>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

using namespace quillotone;
using scantest::processUntil;

namespace {

bool onMain() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

TEST(ThreadPriority, TableAndUnknownValues) {
    EXPECT_EQ(ThreadPriorityToOs(TThreadPriority::tpIdle), -15);
    EXPECT_EQ(ThreadPriorityToOs(TThreadPriority::tpTimeCritical), 15);
    EXPECT_EQ(ThreadPriorityFromOs(-2), TThreadPriority::tpLowest);
    EXPECT_EQ(ThreadPriorityFromOs(7), TThreadPriority::tpNormal);
    EXPECT_EQ(ThreadPriorityToQt(TThreadPriority::tpHighest), QThread::HighestPriority);
    EXPECT_EQ(ThreadPriorityFromQt(QThread::InheritPriority), TThreadPriority::tpNormal);
}

TEST(Thread, StopWhileBlockedInMainThreadCallTakesEffectAtNextPoll) {
    TdcCustomThread thread;
    std::atomic<int> calls{0};
    std::atomic<bool> sawStopInsideCall{false}, finished{false}, runningInFinish{true};
    thread.SetOnRun([&](TdcCustomThread* self) {
        while (!self->PollStop()) {
            self->RunOnMainThread([&] {
                ++calls;
                self->RequestStop();
                // The worker waits for us: nothing of the run goes on meanwhile.
                QThread::msleep(20);
                sawStopInsideCall = self->IsRunning();
            });
        }
    });
    thread.SetOnFinish([&](TdcCustomThread* self) {
        EXPECT_TRUE(onMain());
        runningInFinish = self->IsRunning();
        finished = true;
    });
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(processUntil([&] { return finished.load(); }));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(sawStopInsideCall.load());
    EXPECT_FALSE(runningInFinish.load());
    EXPECT_FALSE(thread.IsRunning());
}

TEST(Thread, RunHandlerThatRaisesReportsOnMainThenFinishes) {
    TdcCustomThread thread;
    std::vector<std::string> order;
    std::atomic<bool> finished{false};
    thread.SetOnRun([](TdcCustomThread*) { throw std::runtime_error("disk on fire"); });
    thread.SetOnError([&] {
        EXPECT_TRUE(onMain());
        order.push_back("error:" + thread.Worker().ErrorText().toStdString());
    });
    thread.SetOnFinish([&](TdcCustomThread*) {
        order.push_back("finish");
        finished = true;
    });
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(processUntil([&] { return finished.load(); }));
    EXPECT_EQ(order, (std::vector<std::string>{"error:disk on fire", "finish"}));
    thread.Worker().WaitUntilEnded();
    EXPECT_FALSE(thread.IsRunning());
}

TEST(Thread, RestartKeepsPriorityAndHandlers) {
    TdcCustomThread thread;
    thread.SetPriority(TThreadPriority::tpHighest);
    std::vector<QThread::Priority> seen;
    std::atomic<int> finishes{0};
    thread.SetOnRun([&](TdcCustomThread* self) {
        QThread::Priority p = QThread::currentThread()->priority();
        self->RunOnMainThread([&] { seen.push_back(p); });
    });
    thread.SetOnFinish([&](TdcCustomThread*) { ++finishes; });
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(thread.Start());
        ASSERT_TRUE(processUntil([&] { return finishes.load() == round; }));
    }
    EXPECT_EQ(seen, (std::vector<QThread::Priority>{QThread::HighestPriority, QThread::HighestPriority}));
    EXPECT_EQ(thread.Priority(), TThreadPriority::tpHighest);
}

TEST(Thread, WindowSurvivesPendingReleaseAndGoesWhenUnused) {
    processUntil([] { return ThreadWindowInstance() == nullptr; });
    ASSERT_EQ(ThreadWindowReferenceCount(), 0);
    auto first = std::make_unique<TdcEventThread>(nullptr);
    QPointer<QObject> window = ThreadWindowInstance();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->objectName(), "TdcThreadWindow");
    first.reset(); // count 0: the release is posted, not yet handled
    auto second = std::make_unique<TdcEventThread>(nullptr);
    EXPECT_EQ(ThreadWindowReferenceCount(), 1);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window);
    EXPECT_EQ(ThreadWindowInstance(), window.data());

    second.reset();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window);
    EXPECT_EQ(ThreadWindowInstance(), nullptr);
}

TEST(Thread, WaitUntilEndedOnMainRunsTheWorkersCalls) {
    TdcEventThread worker(nullptr);
    std::atomic<int> calls{0};
    worker.SetOnRun([&](TdcCustomThread*) {
        for (int i = 0; i < 50; ++i)
            worker.RunOnMainThread([&] {
                EXPECT_TRUE(onMain());
                ++calls;
            });
    });
    worker.SetExitCode(7);
    worker.SetSuspended(false);
    // No event loop here: the wait itself must serve the worker.
    EXPECT_EQ(worker.WaitUntilEnded(), 7);
    EXPECT_EQ(calls.load(), 50);
}

TEST(Thread, MainThreadCallRunsAtOnceAndErrorsFollowHandleErrors) {
    TdcCustomThread thread;
    bool ran = false;
    thread.RunOnMainThread([&] { ran = true; });
    EXPECT_TRUE(ran);
    thread.RunOnMainThread([] { throw std::runtime_error("dropped"); });
    thread.SetHandleErrors(false);
    EXPECT_THROW(thread.RunOnMainThread([] { throw std::runtime_error("raised again"); }),
                 std::runtime_error);
}

TEST(Thread, SuspendPausesAtPollAndStopEndsAPausedWorker) {
    TdcCustomThread thread;
    std::atomic<long> polls{0};
    thread.SetOnRun([&](TdcCustomThread* self) {
        while (!self->PollStop())
            ++polls;
    });
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(processUntil([&] { return polls.load() > 100; }));
    thread.SetSuspended(true);
    QThread::msleep(20); // let the worker reach its next poll
    long paused = polls.load();
    QThread::msleep(50);
    EXPECT_LE(polls.load() - paused, 1); // at most the step it was in when the pause came
    EXPECT_TRUE(thread.Suspended());
    thread.SetSuspended(false);
    ASSERT_TRUE(processUntil([&] { return polls.load() > paused + 100; }));
    thread.SetSuspended(true);
    thread.RequestStop();
    thread.Worker().WaitUntilEnded();
    EXPECT_FALSE(thread.IsRunning());
}

TEST(Thread, DestroyingWhileRunningSkipsMainThreadCallsAndHandlers) {
    std::atomic<int> calls{0};
    std::atomic<bool> finished{false};
    auto thread = std::make_unique<TdcCustomThread>();
    thread->SetOnRun([&](TdcCustomThread* self) {
        while (!self->PollStop())
            self->Worker().RunOnMainThread([&] { ++calls; });
    });
    thread->SetOnFinish([&](TdcCustomThread*) { finished = true; });
    ASSERT_TRUE(thread->Start());
    ASSERT_TRUE(processUntil([&] { return calls.load() > 3; }));
    thread.reset();
    int after = calls.load();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls.load(), after);
    EXPECT_FALSE(finished.load());
}

TEST(Thread, WaitForThreadReturnsAfterTheRun) {
    TdcCustomThread thread;
    thread.SetWaitForThread(true);
    std::vector<std::string> order;
    thread.SetOnRun([&](TdcCustomThread* self) { self->RunOnMainThread([&] { order.push_back("call"); }); });
    thread.SetOnFinish([&](TdcCustomThread*) { order.push_back("finish"); });
    ASSERT_TRUE(thread.Start());
    order.push_back("returned");
    EXPECT_EQ(order, (std::vector<std::string>{"call", "finish", "returned"}));
    EXPECT_FALSE(thread.IsRunning());
}

} // namespace
