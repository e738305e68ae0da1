#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {
namespace {

// Service calls block on the network and on the process-wide transfer lock, and their blocks then wait for the
// main thread. A pool of ideal-thread-count workers would deadlock as soon as that many blocks wait; a large
// ceiling lets the pool start a new worker whenever none is idle (idle workers are reused, and expire after
// 30 s). 512 waiting blocks is far beyond what the program ever has in flight.
constexpr int kMaxGlobalThreads = 512;

QThreadPool* globalPool()
{
    // Never destroyed: a worker still waiting on the network at exit must not make the exit wait for it.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(kMaxGlobalThreads);
        p->setExpiryTimeout(30000);
        return p;
    }();
    return pool;
}

// mainMutex guards mainOpen and the state of every waiting sync block; mainCond wakes the waiters.
std::mutex mainMutex;
std::condition_variable mainCond;
bool mainOpen = true;

enum class SyncState { Pending, Running, Done, Dropped };

struct SyncJob {
    SyncState state = SyncState::Pending;
};

// Marks a sync block dropped when the event carrying it is destroyed without running (the application object
// went away with the event still queued), so the waiting worker is released.
struct SyncTicket {
    explicit SyncTicket(std::shared_ptr<SyncJob> j)
        : job(std::move(j))
    {
    }
    SyncTicket(const SyncTicket&) = delete;
    SyncTicket& operator=(const SyncTicket&) = delete;
    std::shared_ptr<SyncJob> job;
    ~SyncTicket()
    {
        std::lock_guard<std::mutex> lock(mainMutex);
        if (job->state == SyncState::Pending) {
            job->state = SyncState::Dropped;
            mainCond.notify_all();
        }
    }
};

QCoreApplication* hookedApp()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    static std::mutex hookMutex;
    static QPointer<QCoreApplication> hooked;
    std::lock_guard<std::mutex> lock(hookMutex);
    if (hooked != app) {
        hooked = app;
        QObject::connect(app, &QCoreApplication::aboutToQuit, [] { closeMainQueue(); });
        QObject::connect(app, &QObject::destroyed, [] { closeMainQueue(); });
    }
    return app;
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
    QCoreApplication* app = hookedApp();
    if (!app || !queueOpen())
        return false;

    auto job = std::make_shared<SyncJob>();
    auto ticket = std::make_shared<SyncTicket>(job);
    const std::function<void()>* body = &fn; // lives on the waiting caller's stack until the job is settled
    QMetaObject::invokeMethod(
        app,
        [job, ticket, body] {
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
        },
        Qt::QueuedConnection);
    ticket.reset();

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
    if (!fn)
        return;
    QCoreApplication* app = hookedApp();
    if (!app || !queueOpen())
        return;
    QMetaObject::invokeMethod(
        app,
        [fn = std::move(fn)] {
            if (queueOpen())
                fn();
        },
        Qt::QueuedConnection);
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
    std::lock_guard<std::mutex> lock(mainMutex);
    mainOpen = false;
    mainCond.notify_all();
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
