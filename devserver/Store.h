#pragma once
// SQLite access for the development service: a pool of connections (one per concurrently running
// request, each used by one thread at a time), WAL journal, busy timeout, and prepared statements
// cached per connection. Write paths run inside BEGIN IMMEDIATE transactions so that concurrent
// writers queue on the database lock instead of failing half-way.
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace devserver {

class DbError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Statement {
public:
    explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }
    ~Statement();

    template <typename T, typename = std::enable_if_t<std::is_integral<T>::value>>
    Statement& bind(int index, T value) {
        return bindInt64(index, static_cast<std::int64_t>(value));
    }
    Statement& bindInt64(int index, std::int64_t value);
    Statement& bind(int index, double value);
    Statement& bind(int index, const std::string& value);
    Statement& bind(int index, const char* value) { return bind(index, std::string(value)); }
    Statement& bindBlob(int index, const std::string& bytes);
    Statement& bindNull(int index);

    // Steps once; true while a row is available.
    bool step();
    // Runs to completion (for writes).
    void run();

    std::int64_t i64(int col) const;
    std::uint64_t u64(int col) const { return static_cast<std::uint64_t>(i64(col)); }
    double real(int col) const;
    std::string text(int col) const;
    bool isNull(int col) const;

private:
    sqlite3_stmt* stmt_;
};

class Connection {
public:
    // writeLock serialises this process's write transactions, so that they queue on a mutex
    // instead of sleeping in SQLite's busy handler.
    Connection(const std::string& path, std::mutex* writeLock);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // A cached prepared statement, reset when the returned object goes away.
    Statement prepare(const std::string& sql);
    void exec(const std::string& sql);
    std::int64_t lastInsertId() const;
    int changes() const;
    std::mutex* writeLock() const { return writeLock_; }

private:
    sqlite3* db_ = nullptr;
    std::mutex* writeLock_;
    std::unordered_map<std::string, sqlite3_stmt*> cache_;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back when left without commit().
class WriteTransaction {
public:
    explicit WriteTransaction(Connection& c);
    ~WriteTransaction();
    void commit();

private:
    std::unique_lock<std::mutex> lock_;
    Connection& c_;
    bool done_ = false;
};

// BEGIN (deferred) ... COMMIT around reads: one snapshot and one set of file locks per answer.
class ReadTransaction {
public:
    explicit ReadTransaction(Connection& c) : c_(c) { c_.exec("BEGIN"); }
    ~ReadTransaction() {
        try {
            c_.exec("COMMIT");
        } catch (...) {
        }
    }

private:
    Connection& c_;
};

class Store {
public:
    explicit Store(std::string path);
    ~Store();

    class Lease {
    public:
        Lease(Store& s, std::unique_ptr<Connection> c) : store_(&s), conn_(std::move(c)) {}
        Lease(Lease&& o) noexcept = default;
        ~Lease();
        Connection& operator*() { return *conn_; }
        Connection* operator->() { return conn_.get(); }

    private:
        Store* store_;
        std::unique_ptr<Connection> conn_;
    };
    Lease acquire();

    const std::string& path() const { return path_; }
    // Creates the tables when missing; returns true when the database was empty before.
    bool ensureSchema();

private:
    std::string path_;
    std::mutex mutex_;  // guards idle_
    std::vector<std::unique_ptr<Connection>> idle_;
    std::mutex writeMutex_;  // held by every WriteTransaction of this store
};

}  // namespace devserver
