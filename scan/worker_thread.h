// The threading layer under the disk scanner: one handler on a thread of its own that can run calls on
// the main thread, waits for them, and reports its end there; restartable any number of times.
#pragma once

#include <QString>
#include <QThread>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

class QEventLoop;
class QObject;

namespace quillotone {

class TdcCustomThread;

// The seven priorities. Each has its old operating-system value (-15, -2, -1, 0, 1, 2, 15) and is applied
// here as the QThread priority of the same rank: tpIdle IdlePriority, tpLowest LowestPriority, tpLower
// LowPriority, tpNormal NormalPriority, tpHigher HighPriority, tpHighest HighestPriority, tpTimeCritical
// TimeCriticalPriority. On Linux under the default scheduler only tpIdle (SCHED_IDLE) changes how the
// thread is scheduled; the others are kept and reported but the kernel gives them one static priority.
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

int ThreadPriorityToOs(TThreadPriority priority);
TThreadPriority ThreadPriorityFromOs(int value); // a value outside the table gives tpNormal
QThread::Priority ThreadPriorityToQt(TThreadPriority priority);
TThreadPriority ThreadPriorityFromQt(QThread::Priority priority); // InheritPriority gives tpNormal

using TdcThreadMethod = std::function<void(TdcCustomThread* sender)>;
using TdcThreadErrorMethod = std::function<void()>;
using TdcMainThreadCall = std::function<void()>;

// True on the thread of the QCoreApplication (or on any thread when there is none).
bool IsMainThread();

// One worker thread and its state. The operating-system thread is created when the object is first
// resumed; until then it is "suspended" and has run nothing. Suspending a running worker sets a pause that
// the run handler honours wherever it calls PollStop().
class TdcEventThread {
public:
    explicit TdcEventThread(TdcCustomThread* owner);
    ~TdcEventThread(); // a running worker is asked to stop and waited for
    TdcEventThread(const TdcEventThread&) = delete;
    TdcEventThread& operator=(const TdcEventThread&) = delete;

    void SetSuspended(bool suspended);
    bool Suspended() const { return suspended_.load(); }

    void RequestStop();
    bool StopRequested() const { return stopRequested_.load(); }
    // For the run handler, on the worker: waits while the worker is paused, then gives the stop flag.
    bool PollStop();

    bool Running() const { return running_.load(); }
    bool Started() const { return started_; }

    // Waits for the thread to end and gives its exit code. On the main thread the wait keeps running the
    // calls that workers hand to the main thread. A worker that was never resumed returns at once.
    int WaitUntilEnded();
    // Waits while processing all of the main thread's events; `activeLoop` receives the local event loop
    // for the time of the wait, so that the owner can end the wait when it is destroyed.
    void WaitUntilEndedProcessingEvents(QEventLoop** activeLoop, const std::shared_ptr<bool>& alive);

    TThreadPriority Priority() const { return priority_.load(); }
    void SetPriority(TThreadPriority priority);

    // Runs `call` on the main thread and returns when it has finished (at once when already there): a queued
    // invokeMethod on the hidden window, the worker then waiting on the window lock (the same rendezvous as
    // Qt::BlockingQueuedConnection, but one that ThreadSanitizer can follow). The call
    // is skipped while the owner is being destroyed. An error it raises comes back here: raised again when
    // the owner does not handle errors, dropped otherwise.
    void RunOnMainThread(const TdcMainThreadCall& call);
    // True while the main thread is inside one of this worker's calls (read it on the main thread).
    bool InMainThreadCall() const { return servingOnMain_; }

    // A new, suspended worker for the same owner with the same priority and handlers.
    std::unique_ptr<TdcEventThread> MakeSuccessor() const;

    void SetOnRun(TdcThreadMethod handler) { onRun_ = std::move(handler); }
    void SetOnError(TdcThreadErrorMethod handler) { onError_ = std::move(handler); }
    void SetOnFinish(TdcThreadMethod handler) { onFinish_ = std::move(handler); }

    void SetExitCode(int code) { exitCode_.store(code); }
    // The text of the error that ended the last run, empty when it ended normally. Read it on the main
    // thread from the error or finish handler, or after the thread has ended.
    QString ErrorText() const { return errorText_; }

private:
    friend class TdcThreadWindow;
    void threadMain();
    void runPendingOnMain(); // on the main thread, from the hidden window
    bool ownerDestroying() const;

    TdcCustomThread* owner_;
    std::thread thread_;
    QEventLoop* endLoop_ = nullptr;     // guarded by the window lock
    TThreadPriority appliedPriority_{}; // worker only
    bool started_ = false;              // touched only by the thread that owns the object
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> suspended_{true};
    std::atomic<bool> paused_{false};
    std::atomic<bool> running_{false};
    bool servingOnMain_ = false; // main thread only
    bool ended_ = false;         // guarded by the window lock
    std::atomic<int> exitCode_{0};
    std::atomic<TThreadPriority> priority_{TThreadPriority::tpNormal};
    const TdcMainThreadCall* pendingCall_ = nullptr; // guarded by the window lock
    std::exception_ptr pendingError_;                // guarded by the window lock
    bool served_ = false;                            // guarded by the window lock
    QString errorText_;
    TdcThreadMethod onRun_;
    TdcThreadErrorMethod onError_;
    TdcThreadMethod onFinish_;
};

// The component that owns the current worker and gives it a fresh successor for every start. Handlers and
// settings are changed only while no run is going on.
class TdcCustomThread {
public:
    TdcCustomThread();
    ~TdcCustomThread(); // marks itself destroying, then stops and waits for its worker
    TdcCustomThread(const TdcCustomThread&) = delete;
    TdcCustomThread& operator=(const TdcCustomThread&) = delete;

    // Replaces the worker by a successor and resumes it. With WaitForThread it returns only when the run has
    // ended (processing the main thread's events meanwhile), the component is destroyed or the application
    // quits. Refused (false) when called from inside one of the current worker's main-thread calls, where
    // waiting for that worker could never end.
    bool Start();
    void RequestStop() { worker_->RequestStop(); }
    bool IsRunning() const { return worker_->Running(); }
    bool IsStopRequested() const { return worker_->StopRequested(); }
    bool PollStop() { return worker_->PollStop(); } // for the run handler

    bool Suspended() const { return worker_->Suspended(); }
    void SetSuspended(bool suspended) { worker_->SetSuspended(suspended); }
    TThreadPriority Priority() const { return worker_->Priority(); }
    void SetPriority(TThreadPriority priority) { worker_->SetPriority(priority); }
    bool WaitForThread() const { return waitForThread_; }
    void SetWaitForThread(bool wait) { waitForThread_ = wait; }
    bool HandleErrors() const { return handleErrors_.load(); }
    void SetHandleErrors(bool handle) { handleErrors_.store(handle); }

    void SetOnRun(TdcThreadMethod handler) { worker_->SetOnRun(std::move(handler)); }
    void SetOnError(TdcThreadErrorMethod handler) { worker_->SetOnError(std::move(handler)); }
    void SetOnFinish(TdcThreadMethod handler) { worker_->SetOnFinish(std::move(handler)); }

    // Does nothing while the component is being destroyed.
    void RunOnMainThread(const TdcMainThreadCall& call);

    // Set by the owning component when its destruction begins: main-thread calls and handlers are skipped.
    void SetDestroying() { destroying_.store(true); }
    bool Destroying() const { return destroying_.load(); }

    TdcEventThread& Worker() { return *worker_; }
    const TdcEventThread& Worker() const { return *worker_; }

private:
    void endWorker();

    std::unique_ptr<TdcEventThread> worker_;
    std::atomic<bool> destroying_{false};
    std::atomic<bool> handleErrors_{true};
    bool waitForThread_ = false;
    QEventLoop* waitLoop_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The hidden main-thread object "TdcThreadWindow" that runs the workers' main-thread calls. It exists
// while at least one TdcEventThread does; these two give its current state (for tests and diagnostics).
QObject* ThreadWindowInstance();
int ThreadWindowReferenceCount();

} // namespace quillotone
