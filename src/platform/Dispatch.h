#pragma once
// The two queues the rest of the program hands work to: a global concurrent queue for blocking work (service
// calls, downloads) and the main queue, where every widget and every list lives.
//
// Every piece of background work has the same shape:
//   1. On the main thread, read what the work needs from widgets and controllers (the selected list, its
//      newest id, the tab's label) into plain values.
//   2. Hand the block those values and the objects it may call from any thread (the client, a list controller's
//      fetch), never a widget. It runs in a DispatchGroup of its owner, so the owner can cut it off.
//   3. Hand the result back with dispatchMainSync/dispatchMainAsync and apply it only if the owner is still alive
//      (a QPointer or the owner's `destroying_` flag, checked on the main thread) and the answer is still current
//      (a request generation where a later request may overtake it).
// A worker never writes a field the main thread reads unless a lock guards it or the value is handed over in
// step 3 (comment and repost counts of shown rows are applied on the main thread, for instance). Quitting
// cancels the transfers in flight (weibo::cancelAllTransfers), so every block ends within a tenth of a second and
// an owner's destructor waits for its group briefly; when the wait still fails, the owner keeps what the blocks
// reach alive instead of freeing it.
// Blocks cross between threads only through the two queues below, which hand them over under a std::mutex (never
// inside a toolkit event), so ThreadSanitizer sees the order of every hand-over.
#include <condition_variable>
#include <functional>
#include <mutex>

namespace platform {

// Runs fn on a worker thread. The pool grows when every worker is busy, so blocks that wait on the network (or on
// dispatchMainSync) never keep later blocks from starting.
void dispatchGlobal(std::function<void()> fn);

// Runs fn on the main thread and waits for it. Runs fn inline when called on the main thread.
// Returns true when fn ran. Returns false without running fn when the main queue is closed (the application is
// quitting, see closeMainQueue) or there is no application object; a caller already waiting is released the
// moment the queue closes, and its fn is then dropped even if the main thread gets to it later.
bool dispatchMainSync(const std::function<void()>& fn);

// Queues fn for the main thread and returns at once. Dropped when the main queue is closed.
void dispatchMainAsync(std::function<void()> fn);

// Runs fn on the main thread once `seconds` have passed (a negative delay counts as 0).
void dispatchAfter(double seconds, std::function<void()> fn);

// True on the thread of the application object.
bool isMainThread();

// Closes the main queue: blocks waiting in dispatchMainSync are released (their fn is dropped) and later
// main-queue blocks are dropped. Connected to QCoreApplication::aboutToQuit the first time the main queue is
// used, so a worker that hands work back while the application winds down cannot hang the shutdown.
void closeMainQueue();
// Opens the main queue again (for tests that close it).
void reopenMainQueue();
bool isMainQueueOpen();

// Waits up to timeoutMs for every block of the global queue to finish; true when the pool is idle. On the main
// thread call it only after closeMainQueue: a block waiting in dispatchMainSync would otherwise wait for the
// very thread that waits for it.
bool waitForGlobalQueue(int timeoutMs);

// The blocks one object started on the global queue, counted so that the object can wait for them before the
// members they use go away.
class DispatchGroup {
public:
    void dispatchGlobal(std::function<void()> work);
    // Waits until every block of the group has ended, at most timeoutMs; true when none is left. On the main
    // thread it keeps handling events meanwhile, so a block waiting in dispatchMainSync is served; user input
    // waits (the owner being torn down must not react to clicks).
    bool wait(int timeoutMs = 60000);
    bool idle();

private:
    std::mutex lock_;  // guards pending_
    std::condition_variable done_;
    int pending_ = 0;
};

} // namespace platform
