#pragma once
// The bookkeeping shared by the refresh, the older-items load and the poll of one main window.
#include "mainwindow/Announcer.h"
#include "mainwindow/MyWindowController.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>

// Locks: `lock` guards listLocks, olderInFlight and refreshInFlight. Each list's own mutex is held by the refresh, older-items
// load or poll step that fetches into that list, across the fetch and the merge.
struct MyWindowController::RefreshState {
    std::mutex lock;
    std::map<const PXListViewController*, std::unique_ptr<std::mutex>> listLocks;
    std::set<const PXListViewController*> olderInFlight;
    // Lists whose refresh is waiting or running: a click on 刷新 while one waits starts nothing new.
    std::set<const PXListViewController*> refreshInFlight;
    // What is announced (made on the first announcement, a child of the window); main thread.
    Announcer* announcer = nullptr;

    std::atomic<bool> polling{false};
    std::atomic<std::uint64_t> polls{0};
    std::atomic<std::uint64_t> skipped{0};
    std::atomic<std::uint64_t> refreshes{0};
    std::atomic<std::uint64_t> mores{0};

    std::mutex& lockOf(const PXListViewController* c)
    {
        std::lock_guard<std::mutex> guard(lock);
        auto& m = listLocks[c];
        if (!m)
            m = std::make_unique<std::mutex>();
        return *m;
    }
};

