#include "devserver/Store.h"

#include <sqlite3.h>

namespace devserver {

namespace {
[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw DbError(what + ": " + (db ? sqlite3_errmsg(db) : "no database"));
}
}  // namespace

Statement::~Statement() {
    if (stmt_) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
}

Statement& Statement::bindInt64(int index, std::int64_t value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) fail(sqlite3_db_handle(stmt_), "bind");
    return *this;
}
Statement& Statement::bind(int index, double value) {
    if (sqlite3_bind_double(stmt_, index, value) != SQLITE_OK) fail(sqlite3_db_handle(stmt_), "bind");
    return *this;
}
Statement& Statement::bind(int index, const std::string& value) {
    if (sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(sqlite3_db_handle(stmt_), "bind");
    return *this;
}
Statement& Statement::bindBlob(int index, const std::string& bytes) {
    if (sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(sqlite3_db_handle(stmt_), "bind");
    return *this;
}
Statement& Statement::bindNull(int index) {
    sqlite3_bind_null(stmt_, index);
    return *this;
}

bool Statement::step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    fail(sqlite3_db_handle(stmt_), "step");
}

void Statement::run() {
    while (step()) {
    }
}

std::int64_t Statement::i64(int col) const { return sqlite3_column_int64(stmt_, col); }
double Statement::real(int col) const { return sqlite3_column_double(stmt_, col); }
bool Statement::isNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
std::string Statement::text(int col) const {
    const void* p = sqlite3_column_blob(stmt_, col);
    int n = sqlite3_column_bytes(stmt_, col);
    return p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string();
}

Connection::Connection(const std::string& path, std::mutex* writeLock) : writeLock_(writeLock) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw DbError("cannot open " + path + ": " + msg);
    }
    sqlite3_busy_timeout(db_, 10000);
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=NORMAL");
    exec("PRAGMA foreign_keys=ON");
}

Connection::~Connection() {
    for (auto& kv : cache_) sqlite3_finalize(kv.second);
    sqlite3_close(db_);
}

Statement Connection::prepare(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it != cache_.end()) return Statement(it->second);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK)
        fail(db_, "prepare " + sql);
    cache_.emplace(sql, stmt);
    return Statement(stmt);
}

void Connection::exec(const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "unknown";
        sqlite3_free(err);
        throw DbError("exec: " + msg);
    }
}

std::int64_t Connection::lastInsertId() const { return sqlite3_last_insert_rowid(db_); }
int Connection::changes() const { return sqlite3_changes(db_); }

WriteTransaction::WriteTransaction(Connection& c) : c_(c) {
    if (c_.writeLock()) lock_ = std::unique_lock<std::mutex>(*c_.writeLock());
    c_.exec("BEGIN IMMEDIATE");
}
WriteTransaction::~WriteTransaction() {
    if (!done_) {
        try {
            c_.exec("ROLLBACK");
        } catch (...) {
        }
    }
}
void WriteTransaction::commit() {
    c_.exec("COMMIT");
    done_ = true;
}

Store::Store(std::string path) : path_(std::move(path)) {}
Store::~Store() = default;

Store::Lease::~Lease() {
    if (store_ && conn_) {
        std::lock_guard<std::mutex> lock(store_->mutex_);
        store_->idle_.push_back(std::move(conn_));
    }
}

Store::Lease Store::acquire() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!idle_.empty()) {
            auto c = std::move(idle_.back());
            idle_.pop_back();
            return Lease(*this, std::move(c));
        }
    }
    return Lease(*this, std::make_unique<Connection>(path_, &writeMutex_));
}

bool Store::ensureSchema() {
    auto c = acquire();
    bool empty = true;
    {
        auto st = c->prepare("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='meta'");
        if (st.step()) empty = st.i64(0) == 0;
    }
    if (!empty) {
        auto st = c->prepare("SELECT value FROM meta WHERE key='seeded'");
        empty = !st.step();
    }
    if (!empty) return false;
    c->exec(R"SQL(
BEGIN IMMEDIATE;
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS users(
  id INTEGER PRIMARY KEY AUTOINCREMENT, login TEXT UNIQUE NOT NULL, password TEXT NOT NULL,
  screen_name TEXT UNIQUE NOT NULL, name TEXT NOT NULL, province TEXT NOT NULL, city TEXT NOT NULL,
  location TEXT NOT NULL, description TEXT NOT NULL, url TEXT NOT NULL, domain TEXT NOT NULL,
  gender TEXT NOT NULL, verified INTEGER NOT NULL DEFAULT 0, created_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS follows(follower INTEGER NOT NULL, followee INTEGER NOT NULL, created_at INTEGER NOT NULL,
  PRIMARY KEY(follower, followee)) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS follows_followee ON follows(followee, follower);
CREATE TABLE IF NOT EXISTS statuses(
  id INTEGER PRIMARY KEY AUTOINCREMENT, user_id INTEGER NOT NULL, text TEXT NOT NULL, source TEXT NOT NULL,
  created_at INTEGER NOT NULL, retweeted_id INTEGER, pic TEXT, in_reply_to_status_id TEXT NOT NULL DEFAULT '',
  lat REAL, lon REAL, annotations TEXT);
CREATE INDEX IF NOT EXISTS statuses_user ON statuses(user_id, id);
CREATE INDEX IF NOT EXISTS statuses_retweeted ON statuses(retweeted_id);
CREATE TABLE IF NOT EXISTS mentions(user_id INTEGER NOT NULL, status_id INTEGER NOT NULL,
  PRIMARY KEY(user_id, status_id)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS comments(
  id INTEGER PRIMARY KEY AUTOINCREMENT, status_id INTEGER NOT NULL, user_id INTEGER NOT NULL, text TEXT NOT NULL,
  source TEXT NOT NULL, created_at INTEGER NOT NULL, reply_comment_id INTEGER);
CREATE INDEX IF NOT EXISTS comments_status ON comments(status_id, id);
CREATE INDEX IF NOT EXISTS comments_user ON comments(user_id, id);
CREATE TABLE IF NOT EXISTS messages(
  id INTEGER PRIMARY KEY AUTOINCREMENT, sender_id INTEGER NOT NULL, recipient_id INTEGER NOT NULL,
  text TEXT NOT NULL, created_at INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS messages_recipient ON messages(recipient_id, id);
CREATE INDEX IF NOT EXISTS messages_sender ON messages(sender_id, id);
CREATE TABLE IF NOT EXISTS favorites(user_id INTEGER NOT NULL, status_id INTEGER NOT NULL, created_at INTEGER NOT NULL,
  seq INTEGER NOT NULL, PRIMARY KEY(user_id, status_id)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS unread(user_id INTEGER PRIMARY KEY, new_status INTEGER NOT NULL DEFAULT 0,
  comments INTEGER NOT NULL DEFAULT 0, mentions INTEGER NOT NULL DEFAULT 0, dm INTEGER NOT NULL DEFAULT 0,
  followers INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS lists(id INTEGER PRIMARY KEY AUTOINCREMENT, owner_id INTEGER NOT NULL, name TEXT NOT NULL,
  slug TEXT NOT NULL, description TEXT NOT NULL, mode TEXT NOT NULL, created_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS list_members(list_id INTEGER NOT NULL, user_id INTEGER NOT NULL, position INTEGER NOT NULL,
  PRIMARY KEY(list_id, user_id)) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS list_members_position ON list_members(list_id, position);
CREATE TABLE IF NOT EXISTS emotions(id INTEGER PRIMARY KEY, phrase TEXT NOT NULL, type TEXT NOT NULL,
  category TEXT NOT NULL, is_hot INTEGER NOT NULL, is_common INTEGER NOT NULL, order_number INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS pictures(key TEXT PRIMARY KEY, mime TEXT NOT NULL, data BLOB);
CREATE TABLE IF NOT EXISTS short_urls(code TEXT PRIMARY KEY, kind TEXT NOT NULL, title TEXT NOT NULL,
  target TEXT NOT NULL, video_id INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS request_tokens(token TEXT PRIMARY KEY, secret TEXT NOT NULL, consumer TEXT NOT NULL,
  created_at INTEGER NOT NULL, pin TEXT NOT NULL DEFAULT '', user_id INTEGER NOT NULL DEFAULT 0,
  used INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS access_tokens(token TEXT PRIMARY KEY, secret TEXT NOT NULL, consumer TEXT NOT NULL,
  user_id INTEGER NOT NULL, created_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS feedback(id INTEGER PRIMARY KEY AUTOINCREMENT, text TEXT NOT NULL, contact TEXT NOT NULL,
  created_at INTEGER NOT NULL);
COMMIT;
)SQL");
    return true;
}

}  // namespace devserver
