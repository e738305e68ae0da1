#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>
#include <memory>
#include <mutex>

namespace platform {
namespace {

// Service calls block on the network and on the process-wide transfer lock, and their blocks then wait for the
// main thread. A pool of ideal-thread-count workers would deadlock as soon as that many blocks wait, so a new
// worker starts whenever the queued blocks outnumber the idle workers (idle workers are reused, and end after
// 30 s without work). 512 waiting blocks is far beyond what the program ever has in flight.
//
// The pool and the main queue below are our own, built on std::mutex: every hand-over between a worker and the
// main thread goes through a lock the thread checkers see, instead of through the toolkit's internal queues.
constexpr std::size_t kMaxGlobalThreads = 512;
constexpr auto kIdleExpiry = std::chrono::seconds(30);

class WorkerPool {
public:
    void start(std::function<void()> fn)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(fn));
        if (queue_.size() > idle_ && threads_ < kMaxGlobalThreads) {
            ++threads_;
            std::thread([this] { run(); }).detach();
        } else {
            wake_.notify_one();
        }
    }

    bool waitForDone(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return done_.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                              [this] { return queue_.empty() && running_ == 0; });
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (queue_.empty()) {
                ++idle_;
                const bool work = wake_.wait_for(lock, kIdleExpiry, [this] { return !queue_.empty(); });
                --idle_;
                if (!work) {
                    --threads_;
                    return;
                }
            }
            std::function<void()> fn = std::move(queue_.front());
            queue_.pop_front();
            ++running_;
            lock.unlock();
            fn();
            fn = nullptr; // what the block holds goes before the pool counts it done
            lock.lock();
            if (--running_ == 0 && queue_.empty())
                done_.notify_all();
        }
    }

    std::mutex mutex_; // guards everything below
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<std::function<void()>> queue_;
    std::size_t threads_ = 0;
    std::size_t idle_ = 0;
    std::size_t running_ = 0;
};

WorkerPool* globalPool()
{
    // Never destroyed: a worker still waiting on the network at exit must not make the exit wait for it.
    static WorkerPool* pool = new WorkerPool;
    // The program's constants (the signer's keys, the service's paths) are destroyed at exit, after this guard,
    // which was made later: a block still signing a request then would read freed strings. Quitting cancels the
    // transfers, so the blocks end within a tenth of a second; a block that still hangs is not waited for long.
    struct ExitGuard {
        ~ExitGuard() { pool->waitForDone(2000); }
    };
    static ExitGuard guard;
    return pool;
}

// mainMutex guards mainOpen, the main queue and the state of every waiting sync block; mainCond wakes the
// waiters.
std::mutex mainMutex;
std::condition_variable mainCond;
bool mainOpen = true;
std::deque<std::function<void()>> mainQueue;

enum class SyncState { Pending, Running, Done, Dropped };

struct SyncJob {
    SyncState state = SyncState::Pending;
};

// Lives on the main thread; each event it receives runs the oldest block of the main queue. The event carries
// nothing, so no block is handed over outside mainMutex.
class MainQueueRunner : public QObject {
public:
    static constexpr QEvent::Type kRunOne = QEvent::Type(QEvent::User + 731);

protected:
    // Only our own events come here (the type is told apart inside the toolkit, which never touches the queue).
    void customEvent(QEvent*) override
    {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lock(mainMutex);
            if (mainQueue.empty())
                return;
            fn = std::move(mainQueue.front());
            mainQueue.pop_front();
        }
        fn();
    }
};

QPointer<MainQueueRunner> runner; // guarded by hookMutex

std::mutex& hookMutex()
{
    static std::mutex m;
    return m;
}

QCoreApplication* hookedApp()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    static QPointer<QCoreApplication> hooked;
    std::lock_guard<std::mutex> lock(hookMutex());
    if (hooked != app) {
        hooked = app;
        QObject::connect(app, &QCoreApplication::aboutToQuit, [] { closeMainQueue(); });
        QObject::connect(app, &QObject::destroyed, [] { closeMainQueue(); });
        delete runner.data();
        runner = new MainQueueRunner;
        runner->moveToThread(app->thread());
    }
    return app;
}

// Queues fn for the main thread; false (fn dropped) when the queue is closed.
bool postToMain(std::function<void()> fn)
{
    if (!hookedApp())
        return false;
    {
        std::lock_guard<std::mutex> lock(mainMutex);
        if (!mainOpen)
            return false;
        mainQueue.push_back(std::move(fn));
    }
    std::lock_guard<std::mutex> lock(hookMutex());
    if (runner)
        QCoreApplication::postEvent(runner.data(), new QEvent(MainQueueRunner::kRunOne));
    return true;
}

bool queueOpen()
{
    std::lock_guard<std::mutex> lock(mainMutex);
    return mainOpen;
}

} // namespace

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void dispatchGlobal(std::function<void()> fn)
{
    if (!fn)
        return;
    globalPool()->start(std::move(fn));
}

bool waitForGlobalQueue(int timeoutMs)
{
    return globalPool()->waitForDone(timeoutMs);
}

bool dispatchMainSync(const std::function<void()>& fn)
{
    if (!fn)
        return false;
    if (isMainThread()) {
        // Always inline on the main thread: code that runs during shutdown (cleanup) may still use it.
        fn();
        return true;
    }
    auto job = std::make_shared<SyncJob>();
    const std::function<void()>* body = &fn; // lives on the waiting caller's stack until the job is settled
    const bool queued = postToMain([job, body] {
        {
            std::lock_guard<std::mutex> lock(mainMutex);
            if (job->state != SyncState::Pending || !mainOpen) {
                job->state = SyncState::Dropped;
                mainCond.notify_all();
                return;
            }
            job->state = SyncState::Running;
        }
        (*body)();
        std::lock_guard<std::mutex> lock(mainMutex);
        job->state = SyncState::Done;
        mainCond.notify_all();
    });
    if (!queued)
        return false;

    std::unique_lock<std::mutex> lock(mainMutex);
    mainCond.wait(lock, [&] {
        return job->state == SyncState::Done || job->state == SyncState::Dropped
            || (job->state == SyncState::Pending && !mainOpen);
    });
    if (job->state == SyncState::Pending)
        job->state = SyncState::Dropped; // the main thread will skip it if it ever gets there
    return job->state == SyncState::Done;
}

void dispatchMainAsync(std::function<void()> fn)
{
    if (fn)
        postToMain(std::move(fn));
}

void dispatchAfter(double seconds, std::function<void()> fn)
{
    if (!fn)
        return;
    const int ms = seconds > 0 ? static_cast<int>(seconds * 1000.0 + 0.5) : 0;
    auto arm = [ms, fn = std::move(fn)]() mutable {
        // Timers belong to the main thread's event loop; pool workers have none.
        QTimer::singleShot(ms, Qt::PreciseTimer, QCoreApplication::instance(), [fn = std::move(fn)] {
            if (queueOpen())
                fn();
        });
    };
    if (isMainThread()) {
        hookedApp();
        arm();
    } else {
        dispatchMainAsync(std::move(arm));
    }
}

void closeMainQueue()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(mainMutex);
        mainOpen = false;
        dropped.swap(mainQueue);
        mainCond.notify_all();
    }
    // Dropped sync blocks release their waiters above; the rest are destroyed outside the lock, since what they
    // hold may hand work to the queue as it goes.
}

void reopenMainQueue()
{
    std::lock_guard<std::mutex> lock(mainMutex);
    mainOpen = true;
}

bool isMainQueueOpen()
{
    return queueOpen();
}

void DispatchGroup::dispatchGlobal(std::function<void()> work)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++pending_;
    }
    platform::dispatchGlobal([this, work = std::move(work)] {
        work();
        std::lock_guard<std::mutex> guard(lock_);
        if (--pending_ == 0)
            done_.notify_all();
    });
}

bool DispatchGroup::wait(int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock_);
            if (pending_ == 0)
                return true;
            if (!isMainThread())
                return done_.wait_for(guard, std::chrono::milliseconds(std::max<qint64>(0, timeoutMs - waited.elapsed())),
                                      [this] { return pending_ == 0; });
        }
        if (waited.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
}

bool DispatchGroup::idle()
{
    std::lock_guard<std::mutex> guard(lock_);
    return pending_ == 0;
}

} // namespace platform
