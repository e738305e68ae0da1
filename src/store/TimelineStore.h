#pragma once
// The lists of one signed-in account kept on disk, so that a start shows what the user had, where they left it,
// with its unread marks, before (or without) any answer of the service.
//
// One SQLite database per account in the caller's folder, in WAL mode, owner-only (the folder 0700, the files
// 0600). Per list (ListKind) it holds the rows as StoredList describes them, at most kMaxRows, each record as the
// service's JSON; beside the lists, small facts (a text under a key). The file carries its schema version: a file
// of a newer version, or one that is not a readable store, is renamed beside itself (never deleted) and a new,
// empty store takes its place, with a notice for the user. Open checks the header and the schema only (a check of
// every page would cost a start a read of the whole file); a damaged page that a read or write meets later is
// handled the same way, with the notice given by takeNotice().
//
// Writing never waits on the disk: save(), savePosition() and setFact() keep what they are given and return; the
// store's own writer thread writes, shortly after (kSettleMs, so that a burst becomes one write), the latest of
// each in one transaction. A kill at any moment leaves the last committed transaction. Of a list it writes only
// what changed since it last wrote or read that list: the JSON of records that are new to it (or whose favourite
// flag changed), the removal of records the list dropped, and the row order and unread marks when they changed.
// Free pages are given back (compaction) after a write that leaves a quarter of the file, and at least 1 MB, free;
// the WAL is folded into the file and truncated when the store closes.
//
// Threads: every function may be called from any thread. read() waits for a write under way (tens of
// milliseconds at most); the others take a lock for a moment only. Locks: dbLock_ guards db_, written_ and
// statistics_; queueLock_ guards what the writer thread is handed, the facts and the notice. Where both are
// held, dbLock_ is taken first.
#include "store/StoredList.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace store {

class Database;

class TimelineStore {
public:
    static constexpr std::size_t kMaxRows = 1024;
    static constexpr int kSchemaVersion = 1;
    static constexpr int kSettleMs = 250;

    struct Opened {
        // Empty only when no store could be made at all (the folder cannot be written); the program then runs
        // without one.
        std::unique_ptr<TimelineStore> store;
        // For the user, when an earlier file was moved aside or nothing can be stored; empty otherwise.
        std::string notice;
        // The file's new name, when one was moved aside.
        std::string movedAside;
    };

    // The store of `account` (the signed-in user's id) in `folder`, created when missing. `settleMs`: how long
    // the writer lets hand-overs gather before it writes.
    static Opened open(const std::string& folder, const std::string& account, int settleMs = kSettleMs);
    // The database file of `account` in `folder`.
    static std::string pathFor(const std::string& folder, const std::string& account);
    // Removes every file of the account's store: the database, its -wal and -shm, and the files moved aside. The
    // store must not be open. True when none is left.
    static bool remove(const std::string& folder, const std::string& account);

    // Writes what was handed over and closes.
    ~TimelineStore();
    TimelineStore(const TimelineStore&) = delete;
    TimelineStore& operator=(const TimelineStore&) = delete;

    std::string path() const { return path_; }

    // The list as last written. Rows whose JSON cannot be read any more are left out; a damaged file gives an
    // empty list (and a notice, see takeNotice).
    StoredList read(ListKind kind);
    // The list's counts as last written, without reading a record (microseconds; a full list read costs tens of
    // milliseconds and megabytes).
    ListSummary summary(ListKind kind);
    std::optional<std::string> fact(const std::string& key) const;

    // The list's rows, newest first (the first kMaxRows are kept). Rows whose record is not of the list's type
    // (statuses, comments or messages, see ListKind) are left out.
    void save(ListKind kind, std::vector<Row> rows);
    void savePosition(ListKind kind, Position position);
    void setFact(const std::string& key, const std::string& value);

    // Waits until everything handed over before the call is written, at most timeoutMs. False on timeout or
    // when the write failed (a full disk); what failed is tried again with the next hand-over.
    bool flush(int timeoutMs = 5000);

    // What to tell the user since the last call, when a damaged file was found after open and moved aside (or
    // nothing can be stored any more); empty otherwise.
    std::string takeNotice();

    // The account is being deleted: drops what was not written yet, closes and removes the files. Later calls
    // do nothing.
    void discard();

    struct Statistics {
        std::uint64_t transactions = 0;    // batches committed
        std::uint64_t recordsWritten = 0;  // JSON texts written
        std::uint64_t failures = 0;        // batches that failed
        std::uint64_t compactions = 0;
    };
    Statistics statistics() const;

private:
    struct Pending {
        std::map<ListKind, std::vector<Row>> lists;
        std::map<ListKind, Position> positions;
        std::map<std::string, std::string> facts;
        bool empty() const { return lists.empty() && positions.empty() && facts.empty(); }
    };
    // What the file holds of one list, as last written or read: which records by id (the very objects, so an
    // unchanged one is not written again) and the rows.
    struct RowKey {
        std::uint64_t id = 0;
        std::uint64_t gapNewer = 0;
        bool gap = false;
        bool unread = false;
        bool operator==(const RowKey& other) const
        {
            return id == other.id && gapNewer == other.gapNewer && gap == other.gap && unread == other.unread;
        }
    };
    struct HeldRecord {
        boost::shared_ptr<const void> record;  // empty: in the file, not read in this run
        bool favorited = false;
    };
    struct Written {
        std::unordered_map<std::uint64_t, HeldRecord> records;
        std::vector<RowKey> rows;
        bool known = false;
    };

    TimelineStore(std::string folder, std::string account, std::string path, std::unique_ptr<Database> db,
                  int settleMs);

    enum class BatchOutcome { Written, Failed, Recovered };

    void run();
    void stopWriter();
    BatchOutcome writeBatch(const Pending& batch);
    void writeList(ListKind kind, const std::vector<Row>& rows, Written& written);
    void learnStoredIds(ListKind kind, Written& written);
    void compactIfWorthIt();
    void recoverFromDamage();
    static void putBack(Pending& failed, Pending& pending);

    const std::string folder_;
    const std::string account_;
    const std::string path_;
    const int settleMs_;

    mutable std::mutex dbLock_;  // guards db_, written_ and statistics_
    std::unique_ptr<Database> db_;
    std::map<ListKind, Written> written_;
    Statistics statistics_;

    mutable std::mutex queueLock_;  // guards the members down to the writer thread
    std::condition_variable wake_;
    std::condition_variable done_;
    Pending pending_;
    std::map<std::string, std::string> facts_;  // what the file holds and what was handed over
    std::string notice_;
    std::uint64_t handedOver_ = 0;               // hand-overs so far
    std::uint64_t finishedUpTo_ = 0;             // hand-overs a finished batch covered, written or not
    std::uint64_t durableUpTo_ = 0;              // hand-overs a committed batch covered
    bool flushWanted_ = false;
    bool retryWanted_ = true;  // false after a failed batch, until something new is handed over
    bool stopping_ = false;
    bool discarded_ = false;
    std::thread writer_;
};

}  // namespace store
