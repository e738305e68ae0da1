#include "store/TimelineStore.h"

#include "model/RecordJson.h"
#include "store/Sqlite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <unordered_set>

namespace store {

namespace fs = std::filesystem;

namespace {

// "Plmt": tells our file from any other SQLite database.
constexpr std::int64_t kApplicationId = 0x506C6D74;
// Free pages worth giving back: at least 1 MB (of 4 KB pages), and a quarter of the file.
constexpr std::int64_t kCompactMinPages = 256;
// The WAL is cut back to this size after a checkpoint.
constexpr const char* kWalLimit = "PRAGMA journal_size_limit=4194304";

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS records(list INTEGER NOT NULL, id INTEGER NOT NULL, json BLOB NOT NULL,"
    " PRIMARY KEY(list, id))",
    // A gap row has gap_newer set: its id column holds the gap's olderThan.
    "CREATE TABLE IF NOT EXISTS list_rows(list INTEGER NOT NULL, pos INTEGER NOT NULL, id INTEGER NOT NULL,"
    " unread INTEGER NOT NULL, gap_newer INTEGER, PRIMARY KEY(list, pos)) WITHOUT ROWID",
    "CREATE TABLE IF NOT EXISTS positions(list INTEGER PRIMARY KEY, top_id INTEGER NOT NULL,"
    " top_offset INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS facts(key TEXT PRIMARY KEY, value TEXT NOT NULL)",
};

// The variant alternative a list's records must be.
std::size_t recordIndexOf(ListKind kind) {
    switch (kind) {
    case ListKind::CommentsReceived:
    case ListKind::CommentsSent:
        return 2;
    case ListKind::MessagesReceived:
    case ListKind::MessagesSent:
        return 3;
    default:
        return 1;
    }
}

// Account ids are digits; anything else is written as %XX so that no id can name a path outside the folder.
std::string fileNameFor(const std::string& account) {
    static const char hex[] = "0123456789ABCDEF";
    std::string name;
    for (const char c : account) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == '-') {
            name += c;
        } else {
            name += '%';
            name += hex[u >> 4];
            name += hex[u & 0xF];
        }
    }
    return (name.empty() ? std::string("_") : name) + ".sqlite";
}

const char* const kCompanions[] = {"", "-wal", "-shm", "-journal"};

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

void ownerOnly(const std::string& path) {
    for (const char* companion : kCompanions)
        ::chmod((path + companion).c_str(), 0600);
}

// The file made owner-only before SQLite opens it: SQLite gives its -wal and -shm the mode of the database.
bool createOwnerOnly(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    const bool ok = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return ok;
}

// Renames the database and its companions beside it, under a name that says why and when; answers the new
// name, or empty when the database itself could not be moved.
std::string moveAside(const std::string& path, const char* why) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string aside = path + "." + why + "-" + stamp;
    for (int n = 2; exists(aside); ++n)
        aside = path + "." + why + "-" + stamp + "-" + std::to_string(n);
    if (::rename(path.c_str(), aside.c_str()) != 0)
        return std::string();
    for (const char* companion : kCompanions)
        if (*companion)
            ::rename((path + companion).c_str(), (aside + companion).c_str());
    return aside;
}

std::string cannotStoreNotice(const std::string& folder) {
    return "无法在“" + folder + "”保存时间线，本次运行的时间线不会留到下次启动。";
}

std::string movedAsideNotice(bool newer, const std::string& aside) {
    return std::string(newer ? "本机保存的时间线来自更新版本的 Plumet，本版本无法读取"
                             : "本机保存的时间线已损坏，无法读取") +
           "，原文件已移到“" + aside + "”。时间线将从服务器重新载入。";
}

enum class Verdict { Usable, Fresh, Newer, Unreadable };

// What an existing file is, from its header and schema alone: reading every page (an integrity check) would cost
// a start a whole read of the file. Only the header is read before the verdict, so a foreign file is not changed.
// A damaged page is found when a read or a write meets it (see recoverFromDamage).
Verdict examine(Database& db) {
    const std::int64_t applicationId = db.value("PRAGMA application_id");
    const std::int64_t version = db.value("PRAGMA user_version");
    if (applicationId == 0 && version == 0 && db.value("SELECT count(*) FROM sqlite_master") == 0)
        return Verdict::Fresh;
    if (applicationId != kApplicationId)
        return Verdict::Unreadable;
    if (version > TimelineStore::kSchemaVersion)
        return Verdict::Newer;
    if (version != TimelineStore::kSchemaVersion)
        return Verdict::Unreadable;
    return db.value("SELECT count(*) FROM sqlite_master WHERE name IN ('records', 'list_rows', 'positions', 'facts')") == 4
               ? Verdict::Usable
               : Verdict::Unreadable;
}

void configure(Database& db) {
    db.exec("PRAGMA journal_mode=WAL");
    // In WAL mode a commit survives the process being killed; only a power loss may take the last one back.
    db.exec("PRAGMA synchronous=NORMAL");
    db.exec(kWalLimit);
}

// A new, empty store at `path`; throws SqliteError.
std::unique_ptr<Database> createStore(const std::string& path) {
    if (!createOwnerOnly(path))
        throw SqliteError(0, "cannot create " + path);
    auto db = std::make_unique<Database>(path, true);
    // Must come before the first table: free pages can then be given back without rewriting the whole file.
    db->exec("PRAGMA auto_vacuum=INCREMENTAL");
    configure(*db);
    Transaction transaction(*db);
    for (const char* statement : kSchema)
        db->exec(statement);
    db->exec("PRAGMA application_id=" + std::to_string(kApplicationId));
    db->exec("PRAGMA user_version=" + std::to_string(TimelineStore::kSchemaVersion));
    transaction.commit();
    return db;
}

template <class Record>
boost::shared_ptr<Record> recordFrom(const std::string& json, std::uint64_t id) {
    std::vector<boost::shared_ptr<Record>> records = weibo::parseString<Record>(json);
    if (records.size() != 1 || records.front()->id != id)
        return boost::shared_ptr<Record>();
    return records.front();
}

// The record of a stored row as the list's type, or an empty entry when the JSON no longer reads.
std::optional<Entry> entryFrom(ListKind kind, const std::string& json, std::uint64_t id) {
    switch (recordIndexOf(kind)) {
    case 2:
        if (auto comment = recordFrom<weibo::WBComment>(json, id))
            return Entry(comment);
        break;
    case 3:
        if (auto message = recordFrom<weibo::WBMessage>(json, id))
            return Entry(message);
        break;
    default:
        if (auto status = recordFrom<weibo::WBStatus>(json, id))
            return Entry(status);
    }
    return std::nullopt;
}

boost::shared_ptr<const void> heldRecord(const Entry& entry) {
    return std::visit([](const auto& value) -> boost::shared_ptr<const void> {
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, Gap>)
            return boost::shared_ptr<const void>();
        else
            return value;
    }, entry);
}

std::string jsonOf(const Row& row) {
    if (const auto* status = std::get_if<boost::shared_ptr<weibo::WBStatus>>(&row.entry))
        return weibo::toJson(**status, row.favorited);
    if (const auto* comment = std::get_if<boost::shared_ptr<weibo::WBComment>>(&row.entry))
        return weibo::toJson(**comment);
    return weibo::toJson(*std::get<boost::shared_ptr<weibo::WBMessage>>(row.entry));
}

}  // namespace

std::uint64_t Row::id() const {
    return std::visit([](const auto& value) -> std::uint64_t {
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, Gap>)
            return value.olderThan;
        else
            return value ? value->id : 0;
    }, entry);
}

// --- Opening, removing ---

std::string TimelineStore::pathFor(const std::string& folder, const std::string& account) {
    return (fs::path(folder) / fileNameFor(account)).string();
}

TimelineStore::Opened TimelineStore::open(const std::string& folder, const std::string& account, int settleMs) {
    Opened result;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || ::chmod(folder.c_str(), 0700) != 0) {
        result.notice = cannotStoreNotice(folder);
        return result;
    }
    const std::string path = pathFor(folder, account);
    std::unique_ptr<Database> db;
    Verdict verdict = Verdict::Fresh;
    if (exists(path)) {
        try {
            ownerOnly(path);
            db = std::make_unique<Database>(path, false);
            verdict = examine(*db);
        } catch (const SqliteError& failure) {
            // A lock held too long by another start, or a file we may not read, says nothing against the file:
            // it stays where it is and this run stores nothing.
            if (!failure.isDamage()) {
                result.notice = cannotStoreNotice(folder);
                return result;
            }
            verdict = Verdict::Unreadable;
        }
    }
    if (verdict == Verdict::Newer || verdict == Verdict::Unreadable) {
        db.reset();
        result.movedAside = moveAside(path, verdict == Verdict::Newer ? "newer" : "unreadable");
        if (result.movedAside.empty()) {
            result.notice = cannotStoreNotice(folder);
            return result;
        }
        result.notice = movedAsideNotice(verdict == Verdict::Newer, result.movedAside);
    }
    try {
        if (verdict == Verdict::Usable) {
            configure(*db);
        } else {
            db.reset();
            db = createStore(path);
        }
    } catch (const SqliteError&) {
        result.notice = cannotStoreNotice(folder);
        return result;
    }
    result.store.reset(new TimelineStore(folder, account, path, std::move(db), settleMs));
    if (std::string damaged = result.store->takeNotice(); !damaged.empty())
        result.notice = damaged;  // met while the facts were read
    return result;
}

bool TimelineStore::remove(const std::string& folder, const std::string& account) {
    const std::string name = fileNameFor(account);
    bool removedAll = true;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string file = entry.path().filename().string();
        // The database, its companions ("name-wal") and what was moved aside ("name.newer-...").
        if (file == name || (file.size() > name.size() && file.compare(0, name.size(), name) == 0 &&
                             (file[name.size()] == '-' || file[name.size()] == '.'))) {
            std::error_code failed;
            if (!fs::remove(entry.path(), failed) || failed)
                removedAll = false;
        }
    }
    return removedAll && !exists(pathFor(folder, account));
}

TimelineStore::TimelineStore(std::string folder, std::string account, std::string path, std::unique_ptr<Database> db,
                             int settleMs)
    : folder_(std::move(folder)), account_(std::move(account)), path_(std::move(path)),
      settleMs_(settleMs < 0 ? 0 : settleMs), db_(std::move(db)) {
    try {
        Statement facts = db_->prepare("SELECT key, value FROM facts");
        while (facts.step())
            facts_[facts.bytes(0)] = facts.bytes(1);
    } catch (const SqliteError& error) {
        if (error.isDamage()) {
            std::lock_guard<std::mutex> lock(dbLock_);
            recoverFromDamage();
        }
    }
    writer_ = std::thread([this] { run(); });
}

TimelineStore::~TimelineStore() {
    stopWriter();
    std::lock_guard<std::mutex> lock(dbLock_);
    if (!db_)
        return;
    try {
        db_->exec("PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const SqliteError&) {
        // Another process still reads the file; the next open folds the WAL in.
    }
}

void TimelineStore::stopWriter() {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable())
        writer_.join();
}

void TimelineStore::discard() {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        discarded_ = true;
        pending_ = Pending();
        facts_.clear();
    }
    stopWriter();
    {
        std::lock_guard<std::mutex> lock(dbLock_);
        db_.reset();
        written_.clear();
    }
    remove(folder_, account_);
}

// --- Reading ---

StoredList TimelineStore::read(ListKind kind) {
    StoredList list;
    std::lock_guard<std::mutex> lock(dbLock_);
    if (!db_)
        return list;
    Written written;
    try {
        Statement rows = db_->prepare(
            "SELECT r.id, r.unread, r.gap_newer, c.json FROM list_rows r"
            " LEFT JOIN records c ON c.list = r.list AND c.id = r.id WHERE r.list = ?1 ORDER BY r.pos");
        rows.bind(1, static_cast<std::int64_t>(kind));
        std::unordered_map<std::uint64_t, Entry> parsed;
        while (rows.step()) {
            RowKey key;
            key.id = rows.id(0);
            key.unread = rows.integer(1) != 0;
            key.gap = !rows.isNull(2);
            key.gapNewer = key.gap ? rows.id(2) : 0;
            written.rows.push_back(key);
            if (key.gap) {
                Row gap(Gap {key.gapNewer, key.id});
                gap.unread = key.unread;
                list.rows.push_back(gap);
                continue;
            }
            auto found = parsed.find(key.id);
            if (found == parsed.end()) {
                std::optional<Entry> entry;
                if (!rows.isNull(3))
                    entry = entryFrom(kind, rows.bytes(3), key.id);
                if (!entry) {
                    written.records[key.id] = HeldRecord();  // in the file, unreadable: replaced or removed later
                    continue;
                }
                found = parsed.emplace(key.id, *entry).first;
            }
            Row row;
            row.entry = found->second;
            row.unread = key.unread;
            if (const auto* status = std::get_if<boost::shared_ptr<weibo::WBStatus>>(&row.entry))
                row.favorited = (*status)->favorited;
            written.records[key.id] = HeldRecord {heldRecord(row.entry), row.favorited};
            list.rows.push_back(std::move(row));
        }
        Statement position = db_->prepare("SELECT top_id, top_offset FROM positions WHERE list = ?1");
        position.bind(1, static_cast<std::int64_t>(kind));
        if (position.step())
            list.position = Position {position.id(0), static_cast<int>(position.integer(1))};
        // Records the rows no longer name are in the file too: they go with the next write of the list.
        Statement ids = db_->prepare("SELECT id FROM records WHERE list = ?1");
        ids.bind(1, static_cast<std::int64_t>(kind));
        while (ids.step())
            written.records.emplace(ids.id(0), HeldRecord());
    } catch (const SqliteError& error) {
        // The list starts empty; the next write of it replaces what it held.
        written_.erase(kind);
        if (error.isDamage())
            recoverFromDamage();
        return StoredList();
    }
    written.known = true;
    written_[kind] = std::move(written);
    return list;
}

ListSummary TimelineStore::summary(ListKind kind) {
    ListSummary summary;
    std::lock_guard<std::mutex> lock(dbLock_);
    if (!db_)
        return summary;
    try {
        Statement counts = db_->prepare(
            "SELECT count(*), total(unread), (SELECT id FROM list_rows WHERE list = ?1 AND gap_newer IS NULL"
            " ORDER BY pos LIMIT 1) FROM list_rows WHERE list = ?1");
        counts.bind(1, static_cast<std::int64_t>(kind));
        if (counts.step())
            summary = ListSummary {static_cast<std::size_t>(counts.integer(0)),
                                   static_cast<std::size_t>(counts.integer(1)), counts.id(2)};
    } catch (const SqliteError& error) {
        if (error.isDamage())
            recoverFromDamage();
    }
    return summary;
}

std::optional<std::string> TimelineStore::fact(const std::string& key) const {
    std::lock_guard<std::mutex> lock(queueLock_);
    const auto found = facts_.find(key);
    if (found == facts_.end())
        return std::nullopt;
    return found->second;
}

// --- Handing over ---

void TimelineStore::save(ListKind kind, std::vector<Row> rows) {
    if (rows.size() > kMaxRows)
        rows.resize(kMaxRows);
    std::unique_lock<std::mutex> lock(queueLock_);
    if (stopping_)
        return;
    // What this replaces is released after the lock, away from the writer's way.
    std::swap(pending_.lists[kind], rows);
    ++handedOver_;
    retryWanted_ = true;
    lock.unlock();
    wake_.notify_one();
}

void TimelineStore::savePosition(ListKind kind, Position position) {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        if (stopping_)
            return;
        pending_.positions[kind] = position;
        ++handedOver_;
        retryWanted_ = true;
    }
    wake_.notify_one();
}

void TimelineStore::setFact(const std::string& key, const std::string& value) {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        if (stopping_)
            return;
        facts_[key] = value;
        pending_.facts[key] = value;
        ++handedOver_;
        retryWanted_ = true;
    }
    wake_.notify_one();
}

bool TimelineStore::flush(int timeoutMs) {
    std::unique_lock<std::mutex> lock(queueLock_);
    const std::uint64_t target = handedOver_;
    if (durableUpTo_ >= target)
        return true;
    if (stopping_)
        return false;
    flushWanted_ = true;
    retryWanted_ = true;
    wake_.notify_all();
    const bool finished = done_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [&] { return finishedUpTo_ >= target; });
    return finished && durableUpTo_ >= target;
}

TimelineStore::Statistics TimelineStore::statistics() const {
    std::lock_guard<std::mutex> lock(dbLock_);
    return statistics_;
}

// --- Writing (the writer thread) ---

void TimelineStore::run() {
    std::unique_lock<std::mutex> lock(queueLock_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || (!pending_.empty() && (retryWanted_ || flushWanted_)); });
        if (pending_.empty())
            break;  // stopping, nothing left
        if (!stopping_ && !flushWanted_ && settleMs_ > 0)
            wake_.wait_for(lock, std::chrono::milliseconds(settleMs_), [this] { return stopping_ || flushWanted_; });
        Pending batch;
        std::swap(batch, pending_);
        const std::uint64_t upTo = handedOver_;
        flushWanted_ = false;
        lock.unlock();
        const BatchOutcome outcome = writeBatch(batch);
        const bool written = outcome == BatchOutcome::Written;
        lock.lock();
        finishedUpTo_ = upTo;
        if (written) {
            durableUpTo_ = upTo;
        } else {
            if (!discarded_)
                putBack(batch, pending_);
            // A full disk is not tried again until something new comes; a new file at once.
            retryWanted_ = outcome == BatchOutcome::Recovered;
        }
        done_.notify_all();
        if (outcome == BatchOutcome::Failed && stopping_)
            break;  // the disk refuses: quitting must not wait on it
    }
}

// Keeps what a failed batch held unless something newer was handed over meanwhile.
void TimelineStore::putBack(Pending& failed, Pending& pending) {
    for (auto& list : failed.lists)
        pending.lists.emplace(list.first, std::move(list.second));
    pending.positions.insert(failed.positions.begin(), failed.positions.end());
    pending.facts.insert(failed.facts.begin(), failed.facts.end());
}

TimelineStore::BatchOutcome TimelineStore::writeBatch(const Pending& batch) {
    std::lock_guard<std::mutex> lock(dbLock_);
    if (!db_)
        return BatchOutcome::Failed;
    const std::uint64_t recordsBefore = statistics_.recordsWritten;
    try {
        std::map<ListKind, Written> staged;
        Transaction transaction(*db_);
        for (const auto& [kind, rows] : batch.lists)
            writeList(kind, rows, staged[kind]);
        for (const auto& [kind, position] : batch.positions)
            db_->prepare("INSERT OR REPLACE INTO positions(list, top_id, top_offset) VALUES(?1, ?2, ?3)")
                .bind(1, static_cast<std::int64_t>(kind))
                .bindId(2, position.topId)
                .bind(3, static_cast<std::int64_t>(position.offset))
                .run();
        for (const auto& [key, value] : batch.facts)
            db_->prepare("INSERT OR REPLACE INTO facts(key, value) VALUES(?1, ?2)").bind(1, key).bind(2, value).run();
        transaction.commit();
        for (auto& [kind, written] : staged)
            written_[kind] = std::move(written);
        ++statistics_.transactions;
    } catch (const std::exception& error) {
        // Nothing of the batch is in the file, and written_ still says what is.
        statistics_.recordsWritten = recordsBefore;
        ++statistics_.failures;
        if (const auto* sqlite = dynamic_cast<const SqliteError*>(&error); sqlite && sqlite->isDamage()) {
            recoverFromDamage();  // the batch, put back, goes into the new file
            return db_ ? BatchOutcome::Recovered : BatchOutcome::Failed;
        }
        return BatchOutcome::Failed;
    }
    compactIfWorthIt();
    return BatchOutcome::Written;
}

// Writes the difference between what the file holds of the list (written_) and `rows`; `next` receives what
// the file holds once the transaction commits.
void TimelineStore::writeList(ListKind kind, const std::vector<Row>& rows, Written& next) {
    Written learned;
    const Written* before = &written_[kind];
    if (!before->known) {
        learnStoredIds(kind, learned);
        before = &learned;
    }
    const std::int64_t list = static_cast<std::int64_t>(kind);
    const std::size_t expected = recordIndexOf(kind);
    next.known = true;
    for (const Row& row : rows) {
        if (row.isGap()) {
            const Gap& gap = std::get<Gap>(row.entry);
            next.rows.push_back(RowKey {gap.olderThan, gap.newerThan, true, row.unread});
            continue;
        }
        HeldRecord held {heldRecord(row.entry), row.favorited};
        if (row.entry.index() != expected || !held.record)
            continue;
        const std::uint64_t id = row.id();
        next.rows.push_back(RowKey {id, 0, false, row.unread});
        if (next.records.count(id))
            continue;  // the same record on a second row
        const auto old = before->records.find(id);
        if (old == before->records.end() || old->second.record != held.record ||
            old->second.favorited != held.favorited) {
            db_->prepare("INSERT OR REPLACE INTO records(list, id, json) VALUES(?1, ?2, ?3)")
                .bind(1, list)
                .bindId(2, id)
                .bindBlob(3, jsonOf(row))
                .run();
            ++statistics_.recordsWritten;
        }
        next.records.emplace(id, std::move(held));
    }
    for (const auto& old : before->records)
        if (!next.records.count(old.first))
            db_->prepare("DELETE FROM records WHERE list = ?1 AND id = ?2").bind(1, list).bindId(2, old.first).run();
    if (next.rows == before->rows)
        return;
    db_->prepare("DELETE FROM list_rows WHERE list = ?1").bind(1, list).run();
    for (std::size_t pos = 0; pos < next.rows.size(); ++pos) {
        const RowKey& key = next.rows[pos];
        Statement insert = db_->prepare(
            "INSERT INTO list_rows(list, pos, id, unread, gap_newer) VALUES(?1, ?2, ?3, ?4, ?5)");
        insert.bind(1, list).bind(2, static_cast<std::int64_t>(pos)).bindId(3, key.id).bind(4, key.unread ? 1 : 0);
        if (key.gap)
            insert.bindId(5, key.gapNewer);
        insert.run();
    }
}

// What the file holds of a list this run has not read: its ids (to be replaced) and its rows.
void TimelineStore::learnStoredIds(ListKind kind, Written& written) {
    Statement ids = db_->prepare("SELECT id FROM records WHERE list = ?1");
    ids.bind(1, static_cast<std::int64_t>(kind));
    while (ids.step())
        written.records.emplace(ids.id(0), HeldRecord());
    Statement rows = db_->prepare("SELECT id, unread, gap_newer FROM list_rows WHERE list = ?1 ORDER BY pos");
    rows.bind(1, static_cast<std::int64_t>(kind));
    while (rows.step())
        written.rows.push_back(RowKey {rows.id(0), rows.isNull(2) ? 0 : rows.id(2), !rows.isNull(2),
                                       rows.integer(1) != 0});
    written.known = true;
}

// A damaged page met after the store was opened: the file goes aside like one found unreadable at open, and a new
// one takes its place. What was read of it stays with the caller and comes back with the next hand-overs; the
// facts are handed over again at once.
void TimelineStore::recoverFromDamage() {
    db_.reset();
    written_.clear();
    const std::string aside = moveAside(path_, "unreadable");
    std::string notice = aside.empty() ? cannotStoreNotice(folder_) : movedAsideNotice(false, aside);
    try {
        if (!aside.empty())
            db_ = createStore(path_);
    } catch (const SqliteError&) {
        notice = cannotStoreNotice(folder_);
    }
    std::lock_guard<std::mutex> lock(queueLock_);
    notice_ = notice;
    if (db_ && !facts_.empty()) {
        pending_.facts.insert(facts_.begin(), facts_.end());
        ++handedOver_;
        retryWanted_ = true;
        wake_.notify_one();
    }
}

std::string TimelineStore::takeNotice() {
    std::lock_guard<std::mutex> lock(queueLock_);
    std::string notice;
    notice.swap(notice_);
    return notice;
}

void TimelineStore::compactIfWorthIt() {
    try {
        const std::int64_t freePages = db_->value("PRAGMA freelist_count");
        if (freePages < kCompactMinPages || freePages * 4 < db_->value("PRAGMA page_count"))
            return;
        db_->exec("PRAGMA incremental_vacuum");
        ++statistics_.compactions;
    } catch (const SqliteError&) {
        // Compaction only gives space back; the next write tries again.
    }
}

}  // namespace store
