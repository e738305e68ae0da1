#include "store/Sqlite.h"

#include <sqlite3.h>

namespace store {

namespace {
[[noreturn]] void fail(sqlite3* db, int rc) {
    throw SqliteError(rc & 0xFF, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}
}  // namespace

bool SqliteError::isDamage() const { return code_ == SQLITE_CORRUPT || code_ == SQLITE_NOTADB; }

Statement::~Statement() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

void Statement::check(int rc) const {
    if (rc != SQLITE_OK)
        fail(db_, rc);
}

Statement& Statement::bind(int index, std::int64_t value) {
    check(sqlite3_bind_int64(stmt_, index, value));
    return *this;
}

Statement& Statement::bind(int index, const std::string& text) {
    check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bindBlob(int index, const std::string& bytes) {
    check(sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bindNull(int index) {
    check(sqlite3_bind_null(stmt_, index));
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(db_, rc);
}

std::int64_t Statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

bool Statement::isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

std::string Statement::bytes(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
}

Database::Database(const std::string& path, bool create) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const SqliteError error(rc & 0xFF, db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
        sqlite3_close(db_);
        db_ = nullptr;
        throw error;
    }
    sqlite3_extended_result_codes(db_, 0);
    // Another process of the same account (a second start) writes for a moment at most.
    sqlite3_busy_timeout(db_, 2000);
}

Database::~Database() {
    for (auto& entry : statements_)
        sqlite3_finalize(entry.second);
    sqlite3_close(db_);
}

void Database::exec(const std::string& sql) {
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(db_, rc);
}

Statement Database::prepare(const std::string& sql) {
    sqlite3_stmt*& stmt = statements_[sql];
    if (!stmt) {
        const int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                          &stmt, nullptr);
        if (rc != SQLITE_OK) {
            statements_.erase(sql);
            fail(db_, rc);
        }
    }
    return Statement(db_, stmt);
}

std::int64_t Database::value(const std::string& sql) {
    Statement statement = prepare(sql);
    return statement.step() ? statement.integer(0) : 0;
}

Transaction::~Transaction() {
    if (!done_) {
        try {
            db_.exec("ROLLBACK");
        } catch (const SqliteError&) {
            // SQLite has rolled back already after an I/O failure or a full disk.
        }
    }
}

void Transaction::commit() {
    db_.exec("COMMIT");
    done_ = true;
}

}  // namespace store
