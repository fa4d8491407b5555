#include "scan/worker_thread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>

namespace quillotone {

namespace {

struct PriorityRow {
    TThreadPriority priority;
    int os;
    QThread::Priority qt;
};

constexpr PriorityRow kPriorities[] = {
    {TThreadPriority::tpIdle, -15, QThread::IdlePriority},
    {TThreadPriority::tpLowest, -2, QThread::LowestPriority},
    {TThreadPriority::tpLower, -1, QThread::LowPriority},
    {TThreadPriority::tpNormal, 0, QThread::NormalPriority},
    {TThreadPriority::tpHigher, 1, QThread::HighPriority},
    {TThreadPriority::tpHighest, 2, QThread::HighestPriority},
    {TThreadPriority::tpTimeCritical, 15, QThread::TimeCriticalPriority},
};

} // namespace

int ThreadPriorityToOs(TThreadPriority priority) {
    for (const auto& row : kPriorities)
        if (row.priority == priority) return row.os;
    return 0;
}

TThreadPriority ThreadPriorityFromOs(int value) {
    for (const auto& row : kPriorities)
        if (row.os == value) return row.priority;
    return TThreadPriority::tpNormal;
}

QThread::Priority ThreadPriorityToQt(TThreadPriority priority) {
    for (const auto& row : kPriorities)
        if (row.priority == priority) return row.qt;
    return QThread::NormalPriority;
}

TThreadPriority ThreadPriorityFromQt(QThread::Priority priority) {
    for (const auto& row : kPriorities)
        if (row.qt == priority) return row.priority;
    return TThreadPriority::tpNormal;
}

bool IsMainThread() {
    auto* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

// The hidden window: one main-thread object, its reference count and the one lock of this layer. The lock
// also carries the bookkeeping that lets a waiting main thread see that a worker has a call for it.
class TdcThreadWindow : public QObject {
    Q_OBJECT
public:
    struct Shared {
        std::mutex lock;
        std::condition_variable changed; // a call was requested, a thread ended, a pause was lifted
        TdcThreadWindow* window = nullptr;
        int references = 0;
        // Workers whose call is queued; `posted` counts those whose event is already on its way, so that
        // the main thread touches a call only after the worker has finished handing it over.
        std::deque<TdcEventThread*> queue;
        unsigned long long queued = 0;
        unsigned long long posted = 0;
    };
    static Shared& shared() {
        static Shared s;
        return s;
    }

    static void addReference() {
        auto& s = shared();
        std::lock_guard guard(s.lock);
        if (s.references++ == 0 && !s.window) {
            s.window = new TdcThreadWindow;
            if (auto* app = QCoreApplication::instance()) s.window->moveToThread(app->thread());
        }
    }

    // The window goes on the main thread, and only if no worker took a new reference meanwhile.
    static void releaseReference() {
        auto& s = shared();
        std::lock_guard guard(s.lock);
        if (--s.references == 0 && s.window)
            QMetaObject::invokeMethod(s.window, "releaseIfUnused", Qt::QueuedConnection);
    }

    // Queued calls are invoked by name and without arguments: the event that carries them is Qt's
    // alone, our state goes through the lock.
    Q_INVOKABLE void drain() {
        auto& s = shared();
        TdcEventThread* thread;
        {
            std::unique_lock guard(s.lock);
            // The worker is between its post and its count: a few yields beat going to sleep.
            for (int spin = 0; spin < 200 && s.posted < s.queued; ++spin) {
                guard.unlock();
                std::this_thread::yield();
                guard.lock();
            }
            s.changed.wait(guard, [&] { return s.posted >= s.queued; });
            if (s.queue.empty()) return;
            thread = s.queue.front();
            s.queue.pop_front();
        }
        thread->runPendingOnMain();
    }

    Q_INVOKABLE void releaseIfUnused() {
        auto& s = shared();
        std::lock_guard guard(s.lock);
        if (s.references == 0 && s.window == this) {
            s.window = nullptr;
            deleteLater();
        }
    }

private:
    TdcThreadWindow() { setObjectName(QStringLiteral("TdcThreadWindow")); }
};

QObject* ThreadWindowInstance() {
    auto& s = TdcThreadWindow::shared();
    std::lock_guard guard(s.lock);
    return s.window;
}

int ThreadWindowReferenceCount() {
    auto& s = TdcThreadWindow::shared();
    std::lock_guard guard(s.lock);
    return s.references;
}

// ---- TdcEventThread

TdcEventThread::TdcEventThread(TdcCustomThread* owner) : owner_(owner) {
    TdcThreadWindow::addReference();
}

TdcEventThread::~TdcEventThread() {
    if (started_) {
        RequestStop();
        WaitUntilEnded();
    }
    TdcThreadWindow::releaseReference();
}

bool TdcEventThread::ownerDestroying() const {
    return owner_ && owner_->Destroying();
}

void TdcEventThread::SetSuspended(bool suspended) {
    if (suspended == suspended_.load()) return;
    auto& s = TdcThreadWindow::shared();
    if (suspended) {
        std::lock_guard guard(s.lock);
        paused_.store(true);
        suspended_.store(true);
        return;
    }
    if (!started_) {
        // Running counts from the resume, so that a caller sees the run at once.
        started_ = true;
        running_.store(true);
        suspended_.store(false);
        // A plain std::thread: its start and join are visible to ThreadSanitizer, unlike QThread's wait.
        thread_ = std::thread([this] {
            appliedPriority_ = priority_.load();
            QThread::currentThread()->setPriority(ThreadPriorityToQt(appliedPriority_));
            threadMain();
        });
        return;
    }
    {
        std::lock_guard guard(s.lock);
        paused_.store(false);
        suspended_.store(false);
    }
    s.changed.notify_all();
}

void TdcEventThread::RequestStop() {
    auto& s = TdcThreadWindow::shared();
    {
        std::lock_guard guard(s.lock);
        stopRequested_.store(true);
    }
    // A paused worker has to see the stop, or nobody could ever wait for it.
    s.changed.notify_all();
}

bool TdcEventThread::PollStop() {
    if (priority_.load() != appliedPriority_) {
        appliedPriority_ = priority_.load();
        QThread::currentThread()->setPriority(ThreadPriorityToQt(appliedPriority_));
    }
    if (paused_.load()) {
        auto& s = TdcThreadWindow::shared();
        std::unique_lock guard(s.lock);
        s.changed.wait(guard, [this] { return !paused_.load() || stopRequested_.load(); });
    }
    return stopRequested_.load();
}

void TdcEventThread::SetPriority(TThreadPriority priority) {
    priority_.store(priority);
    // A running worker takes the new priority itself at its next poll.
}

void TdcEventThread::threadMain() {
    bool failed = false;
    if (onRun_ && !ownerDestroying()) {
        try {
            onRun_(owner_);
        } catch (const std::exception& e) {
            failed = true;
            errorText_ = QString::fromUtf8(e.what());
        } catch (...) {
            failed = true;
            errorText_ = QStringLiteral("Unknown error");
        }
        if (failed && onError_ && !ownerDestroying()) {
            try {
                RunOnMainThread(onError_);
            } catch (...) {
                // An error handler that raises while errors are not handled has nowhere to go from here.
            }
        }
    }
    // Running clears before the finish handler, so that the handler sees the component idle.
    running_.store(false);
    if (onFinish_ && !ownerDestroying()) {
        try {
            RunOnMainThread([this] { onFinish_(owner_); });
        } catch (...) {
        }
    }
    auto& s = TdcThreadWindow::shared();
    {
        std::lock_guard guard(s.lock);
        ended_ = true;
        if (endLoop_) QMetaObject::invokeMethod(endLoop_, "quit", Qt::QueuedConnection);
        endLoop_ = nullptr;
    }
    s.changed.notify_all();
}

void TdcEventThread::RunOnMainThread(const TdcMainThreadCall& call) {
    std::exception_ptr error;
    if (IsMainThread()) {
        if (!ownerDestroying()) {
            bool outer = servingOnMain_;
            servingOnMain_ = true;
            try {
                call();
            } catch (...) {
                error = std::current_exception();
            }
            servingOnMain_ = outer;
        }
    } else {
        auto& s = TdcThreadWindow::shared();
        TdcThreadWindow* window;
        {
            std::lock_guard guard(s.lock);
            pendingCall_ = &call;
            pendingError_ = nullptr;
            served_ = false;
            s.queue.push_back(this);
            ++s.queued;
            window = s.window; // kept alive by this object's own reference
        }
        // A blocking queued call, with the wait on our own lock (visible to ThreadSanitizer).
        QMetaObject::invokeMethod(window, "drain", Qt::QueuedConnection);
        std::unique_lock guard(s.lock);
        ++s.posted;
        s.changed.notify_all();
        s.changed.wait(guard, [this] { return served_; });
        error = std::exchange(pendingError_, nullptr);
        pendingCall_ = nullptr;
    }
    if (error && owner_ && !owner_->HandleErrors()) std::rethrow_exception(error);
}

void TdcEventThread::runPendingOnMain() {
    auto& s = TdcThreadWindow::shared();
    const TdcMainThreadCall* call;
    {
        std::lock_guard guard(s.lock);
        call = pendingCall_;
    }
    std::exception_ptr error;
    if (call && !ownerDestroying()) {
        servingOnMain_ = true;
        try {
            (*call)();
        } catch (...) {
            error = std::current_exception();
        }
        servingOnMain_ = false;
    }
    {
        std::lock_guard guard(s.lock);
        pendingError_ = error;
        served_ = true;
    }
    s.changed.notify_all();
}

int TdcEventThread::WaitUntilEnded() {
    if (!started_) return exitCode_.load();
    auto& s = TdcThreadWindow::shared();
    if (IsMainThread()) {
        std::unique_lock guard(s.lock);
        const auto callWaiting = [&] { return !s.queue.empty() && s.posted >= s.queued; };
        while (!ended_) {
            if (callWaiting()) {
                // A worker's call waits for us: run it (and any other that is queued).
                QObject* window = s.window;
                guard.unlock();
                QCoreApplication::sendPostedEvents(window, QEvent::MetaCall);
                guard.lock();
                continue;
            }
            s.changed.wait(guard, [&] { return ended_ || callWaiting(); });
        }
    } else {
        std::unique_lock guard(s.lock);
        s.changed.wait(guard, [this] { return ended_; });
    }
    if (thread_.joinable()) thread_.join();
    return exitCode_.load();
}

void TdcEventThread::WaitUntilEndedProcessingEvents(QEventLoop** activeLoop,
                                                    const std::shared_ptr<bool>& alive) {
    if (!started_ || QCoreApplication::closingDown()) return;
    QEventLoop loop;
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    auto& s = TdcThreadWindow::shared();
    {
        std::lock_guard guard(s.lock);
        if (ended_) return;
        endLoop_ = &loop; // the worker quits it as its last step
    }
    *activeLoop = &loop;
    loop.exec();
    // The owner may be gone by now (destroyed from a handler after the worker ended); then so is this.
    if (*alive) {
        std::lock_guard guard(s.lock);
        endLoop_ = nullptr;
    }
}

std::unique_ptr<TdcEventThread> TdcEventThread::MakeSuccessor() const {
    auto next = std::make_unique<TdcEventThread>(owner_);
    next->priority_.store(priority_.load());
    next->onRun_ = onRun_;
    next->onError_ = onError_;
    next->onFinish_ = onFinish_;
    return next;
}

// ---- TdcCustomThread

TdcCustomThread::TdcCustomThread() : worker_(std::make_unique<TdcEventThread>(this)) {}

TdcCustomThread::~TdcCustomThread() {
    *alive_ = false;
    if (waitLoop_) waitLoop_->quit();
    SetDestroying();
    endWorker();
}

void TdcCustomThread::endWorker() {
    if (worker_->Started()) {
        worker_->RequestStop();
        worker_->WaitUntilEnded();
    }
}

bool TdcCustomThread::Start() {
    if (worker_->InMainThreadCall()) return false;
    // The old worker stays current until it has ended: its run handler still polls through us.
    endWorker();
    worker_ = worker_->MakeSuccessor();
    worker_->SetSuspended(false);
    if (!waitForThread_) return true;

    auto alive = alive_;
    worker_->WaitUntilEndedProcessingEvents(&waitLoop_, alive);
    if (*alive) {
        waitLoop_ = nullptr;
        worker_->WaitUntilEnded();
    }
    return true;
}

void TdcCustomThread::RunOnMainThread(const TdcMainThreadCall& call) {
    if (Destroying()) return;
    worker_->RunOnMainThread(call);
}

} // namespace quillotone

#include "worker_thread.moc"
