#pragma once
// plumet-devserver: a local stand-in for the microblogging service. It answers every call of the
// client (both API bases, the token exchange, the web pages and pictures) from a SQLite database
// seeded with a demo world, and checks every API call's OAuth 1.0 signature.
#include <cstdint>
#include <memory>
#include <string>

namespace devserver {

extern const char* const kConsumerKey;
extern const char* const kConsumerSecret;

struct Options {
    std::string host = "127.0.0.1";  // loopback only; the server refuses other addresses
    int port = 8470;                 // 0 picks a free port
    std::string dbPath;              // empty: defaultDatabasePath()
    bool reset = false;              // start from a fresh demo world
    int activitySeconds = 0;         // 0: no simulated activity
    std::int64_t timestampWindow = 600;
    // The service's clock runs this many seconds ahead of the machine's (negative: behind), for trying a
    // client whose clock is wrong; it answers its time in every response's Date header.
    std::int64_t clockOffset = 0;
    std::size_t uploadLimit = 5 * 1024 * 1024;
    int threads = 8;
};

struct DemoAccount {
    std::string login;
    std::string password;
    std::string screenName;
    std::uint64_t userId = 0;
    std::string accessToken;
    std::string accessTokenSecret;
};

// ~/.local/share/Plumet/devserver.sqlite (XDG_DATA_HOME respected).
std::string defaultDatabasePath();

class DevServer {
public:
    explicit DevServer(Options options);
    ~DevServer();
    DevServer(const DevServer&) = delete;
    DevServer& operator=(const DevServer&) = delete;

    // Opens (seeding when new or reset) the database, binds the port and serves on a background
    // thread. Returns false with a reason when any step fails.
    bool start(std::string* error);
    void stop();
    // Blocks until stop() is called or the listener ends.
    void wait();

    int port() const;
    std::string baseUrl() const;
    DemoAccount demo() const;
    bool createdDatabase() const;
    // "WeiboHost=...", "Weibo2Host=...", ... one per line, for people and for tests to read.
    std::string settingsLines() const;
    // One round of simulated activity (what --activity does at each interval).
    void activityTick();

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

}  // namespace devserver
