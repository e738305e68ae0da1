#pragma once
// The loads of one list. Every load (its first load, a refresh, older items, the poll, a seam, the user tab, comment
// and favourite pages) takes the list's turn on its worker thread, so the loads of a list run one after another and
// each computes its bounds from what the one before it stored. Its answer is applied on the main thread, and only if
// the list is still alive and the load still current: a load made for an earlier choice (another status's comments,
// another user, another page) is dropped, nothing is written into a shown list from a worker, and once the list
// shuts down nothing is applied at all.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class ListLoader {
public:
    explicit ListLoader(std::weak_ptr<void> lifetime) : alive_(std::move(lifetime)) {}

    // What a load started now carries.
    std::uint64_t generation() const { return generation_.load(); }
    // A new choice of what the list shows: loads started before it are not applied. Answers the new generation.
    std::uint64_t renew() { return ++generation_; }
    bool isCurrent(std::uint64_t generation) const { return generation == generation_.load() && !closed_.load(); }

    // Worker thread: the list's turn, held while a load runs. (On the main thread a load runs without it: a
    // worker holding it may be waiting for the main thread to apply its answer.)
    std::unique_lock<std::recursive_mutex> turn();

    // Runs `apply` on the main thread, synchronously (inline when already there), if the list lives, has not shut
    // down, and `generation` is still current. Answers whether it ran.
    bool applyOnMain(std::uint64_t generation, const std::function<void()>& apply);

    // Nothing is applied from now on.
    void shutdown() { closed_ = true; }
    bool isShutDown() const { return closed_.load(); }

private:
    std::recursive_mutex turn_;  // held by the load that runs (and by an operation of several loads)
    std::atomic<std::uint64_t> generation_{1};
    std::atomic<bool> closed_{false};
    std::weak_ptr<void> alive_;
};
