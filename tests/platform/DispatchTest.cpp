#include "PlatformTestApp.h"

#include "platform/Dispatch.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

using namespace platform;

TEST(Dispatch, MainQueueKeepsOrderAndSyncHandsOverFromWorker)
{
    std::vector<int> order;
    dispatchMainAsync([&] { order.push_back(1); });
    dispatchMainAsync([&] { order.push_back(2); });
    // On the main thread a sync block runs at once, ahead of what is queued.
    EXPECT_TRUE(dispatchMainSync([&] { order.push_back(0); }));
    ASSERT_TRUE(waitUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));

    // A worker hands a block to the main thread and waits for it; what the block wrote is visible afterwards.
    std::atomic<bool> workerDone{false};
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> answered{false};
    std::atomic<bool> workerWasMain{true};
    dispatchGlobal([&] {
        workerWasMain = isMainThread();
        int value = 0;
        answered = dispatchMainSync([&] {
            ranOnMain = isMainThread();
            value = 42;
        });
        workerDone = answered && value == 42;
    });
    ASSERT_TRUE(waitUntil([&] { return workerDone.load(); }));
    EXPECT_FALSE(workerWasMain.load());
    EXPECT_TRUE(ranOnMain.load());
}

TEST(Dispatch, GlobalQueueDoesNotStarveWhenManyBlocksWait)
{
    // Every block waits until all of them run at once: a pool that cannot grow past its first workers never
    // gets there.
    constexpr int kBlocks = 150;
    std::mutex m;
    std::condition_variable cv;
    int started = 0;
    std::atomic<int> satisfied{0};
    for (int i = 0; i < kBlocks; ++i) {
        dispatchGlobal([&] {
            std::unique_lock<std::mutex> lock(m);
            ++started;
            cv.notify_all();
            if (cv.wait_for(lock, std::chrono::seconds(20), [&] { return started == kBlocks; }))
                ++satisfied;
        });
    }
    ASSERT_TRUE(waitUntil([&] { return satisfied.load() == kBlocks; }, 20000));
    EXPECT_TRUE(waitForGlobalQueue(5000));
}

TEST(Dispatch, AfterRunsOnMainOnceTheDelayHasPassed)
{
    QElapsedTimer clock;
    clock.start();
    std::vector<int> order;
    qint64 firedAt = -1;
    std::atomic<bool> fromWorkerOnMain{false};
    dispatchAfter(0.25, [&] {
        firedAt = clock.elapsed();
        order.push_back(250);
    });
    dispatchAfter(0.05, [&] { order.push_back(50); });
    dispatchAfter(-1, [&] { order.push_back(0); }); // a negative delay is no delay
    dispatchGlobal([&] { dispatchAfter(0.1, [&] { fromWorkerOnMain = isMainThread(); }); });

    ASSERT_TRUE(waitUntil([&] { return order.size() == 3 && fromWorkerOnMain.load(); }));
    EXPECT_EQ(order, (std::vector<int>{0, 50, 250}));
    EXPECT_GE(firedAt, 245); // timers may be a few ms coarse, never early by more
}

TEST(Dispatch, ClosedMainQueueReleasesWaitersAndDropsTheirBlocks)
{
    // The application winding down: a worker waiting on the main thread must come back, and its block must not
    // run later against a caller that has gone.
    std::atomic<bool> entered{false};
    std::atomic<int> result{-1};
    std::atomic<bool> ran{false};
    dispatchGlobal([&] {
        entered = true;
        result = dispatchMainSync([&] { ran = true; }) ? 1 : 0;
    });
    // Do not pump the main thread: the worker stays parked in dispatchMainSync.
    QElapsedTimer clock;
    clock.start();
    while (!entered && clock.elapsed() < 5000)
        QThread::yieldCurrentThread();
    ASSERT_TRUE(entered.load());

    closeMainQueue();
    EXPECT_FALSE(isMainQueueOpen());
    clock.restart();
    while (result == -1 && clock.elapsed() < 5000)
        QThread::yieldCurrentThread();
    EXPECT_EQ(result.load(), 0);

    bool asyncRan = false;
    dispatchMainAsync([&] { asyncRan = true; });
    // Now let the main thread see everything that was posted: nothing may run.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran.load());
    EXPECT_FALSE(asyncRan);

    std::atomic<bool> workerAnswer{true};
    std::atomic<bool> workerDone{false};
    dispatchGlobal([&] {
        workerAnswer = dispatchMainSync([] {});
        workerDone = true;
    });
    ASSERT_TRUE(waitUntil([&] { return workerDone.load(); }));
    EXPECT_FALSE(workerAnswer.load()); // refused at once, no hang
    EXPECT_TRUE(dispatchMainSync([] {})); // the main thread itself still runs inline

    reopenMainQueue();
    dispatchMainAsync([&] { asyncRan = true; });
    EXPECT_TRUE(waitUntil([&] { return asyncRan; }));
}
