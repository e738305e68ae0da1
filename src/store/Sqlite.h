#pragma once
// The little of SQLite the timeline store needs: a connection, prepared statements that reset themselves, and
// failures as one exception type that carries SQLite's result code (so the store can tell a file that is not a
// database from a disk that is full).
#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace store {

class SqliteError : public std::runtime_error {
public:
    SqliteError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
    // SQLite's primary result code (SQLITE_NOTADB, SQLITE_CORRUPT, SQLITE_FULL, ...).
    int code() const { return code_; }
    // The file's content is damaged (as opposed to a full disk or a lock held elsewhere).
    bool isDamage() const;

private:
    int code_;
};

class Statement {
public:
    Statement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();  // resets it and clears its bindings for the next use

    Statement& bind(int index, std::int64_t value);
    // Ids are unsigned; SQLite keeps their bits in a signed column.
    Statement& bindId(int index, std::uint64_t value) { return bind(index, static_cast<std::int64_t>(value)); }
    Statement& bind(int index, const std::string& text);
    Statement& bindBlob(int index, const std::string& bytes);
    Statement& bindNull(int index);

    // Steps once; true while a row is available.
    bool step();
    void run() { while (step()) {} }

    std::int64_t integer(int column) const;
    std::uint64_t id(int column) const { return static_cast<std::uint64_t>(integer(column)); }
    bool isNull(int column) const;
    // Text or blob bytes of a column.
    std::string bytes(int column) const;

private:
    void check(int rc) const;

    sqlite3* db_;
    sqlite3_stmt* stmt_;
};

class Database {
public:
    // Opens (creating when `create`) the database file; throws SqliteError.
    Database(const std::string& path, bool create);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const std::string& sql);
    // A prepared statement cached by its text; one use at a time.
    Statement prepare(const std::string& sql);
    // The first column of the first row of a one-value query (a PRAGMA), as an integer.
    std::int64_t value(const std::string& sql);

private:
    sqlite3* db_ = nullptr;
    std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

// Runs the statements between construction and commit() as one transaction; rolled back if commit() is not
// reached.
class Transaction {
public:
    explicit Transaction(Database& db) : db_(db) { db_.exec("BEGIN IMMEDIATE"); }
    ~Transaction();
    void commit();

private:
    Database& db_;
    bool done_ = false;
};

}  // namespace store
