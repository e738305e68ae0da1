#pragma once
// Internal pieces shared by the server, the API routes and the demo world. Not for other layers.
#include <httplib.h>
#include <json/json.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "devserver/Codec.h"
#include "devserver/DevServer.h"
#include "devserver/OAuthVerifier.h"
#include "devserver/Store.h"

namespace devserver {

// Texts in the database write the server's own address as this byte; answers replace it with the
// listening base address, so records made before a port change still point at this server.
constexpr char kBaseMarker = '\x01';

// The segments of an absolute path: "/a/b/" gives a, b and an empty last one.
std::vector<std::string> pathSegments(const std::string& path);

// A failed call: HTTP status, the service's detail code and message.
struct ApiError {
    int status;
    std::string code;
    std::string message;
};
[[noreturn]] inline void fail(int status, const std::string& code, const std::string& message) {
    throw ApiError{status, code, message};
}

struct Ctx {
    const httplib::Request& req;
    httplib::Response& res;
    DevServer::Impl& impl;
    Connection& db;
    std::string method;
    std::string path;         // decoded; version segment and ".json" removed
    std::string requestPath;  // as the error object reports it
    ParamList params;         // query, form and multipart text fields, decoded
    std::uint64_t viewer = 0;
    std::map<std::uint64_t, Json::Value> userCache;
    // Work that writes, run after a reading call's snapshot has been released.
    std::function<void()> afterRead;

    const std::string* find(const std::string& name) const {
        for (auto& kv : params)
            if (kv.first == name) return &kv.second;
        return nullptr;
    }
    std::string str(const std::string& name) const {
        auto* v = find(name);
        return v ? *v : std::string();
    }
    bool has(const std::string& name) const { return find(name) != nullptr; }
    // Absent gives fallback; present but not a number is an error.
    std::uint64_t id(const std::string& name, std::uint64_t fallback = 0) const;
    std::uint64_t requiredId(const std::string& name) const;
    int integer(const std::string& name, int fallback) const;
};

namespace world {
// Status, comment and message creation with the side effects the service has: mentions, unread
// counters of the people concerned. All run inside the caller's write transaction.
std::uint64_t createStatus(Connection& db, std::uint64_t userId, const std::string& text, const std::string& source,
                           std::int64_t when, std::uint64_t retweetedId, const std::string& pic);
std::uint64_t createComment(Connection& db, std::uint64_t userId, std::uint64_t statusId, const std::string& text,
                            const std::string& source, std::int64_t when, std::uint64_t replyCommentId);
std::uint64_t createMessage(Connection& db, std::uint64_t senderId, std::uint64_t recipientId, const std::string& text,
                            std::int64_t when);
bool follow(Connection& db, std::uint64_t follower, std::uint64_t followee, std::int64_t when);
bool unfollow(Connection& db, std::uint64_t follower, std::uint64_t followee);
std::uint64_t userIdByScreenName(Connection& db, const std::string& screenName);
std::string randomToken(std::mt19937_64& rng, std::size_t length);

// Fills an empty database with the demo world; returns the demo account.
DemoAccount seed(Connection& db, std::int64_t now);
DemoAccount loadDemo(Connection& db);
// One round of other users' activity around the demo account.
void activity(Connection& db, std::mt19937_64& rng, std::int64_t now);
}  // namespace world

struct DevServer::Impl {
    Options options;
    std::unique_ptr<Store> store;
    httplib::Server http;
    std::thread listener;
    std::thread activityThread;
    std::atomic<bool> stopping{false};
    std::mutex stopMutex;  // guards stopped with stopCv
    std::condition_variable stopCv;
    bool stopped = false;
    int boundPort = 0;
    std::string base;  // http://127.0.0.1:PORT
    DemoAccount demoAccount;
    bool created = false;
    NonceCache nonces{600};
    std::atomic<std::int64_t> clockOffset{0};  // options.clockOffset, changed at run time by /dev/clock
    std::mutex rngMutex;  // guards rng
    std::mt19937_64 rng{std::random_device{}()};

    // Access tokens are read on every call; remembered here after the first database read.
    std::shared_mutex tokenMutex;  // guards tokenCache
    std::map<std::string, std::pair<std::string, std::uint64_t>> tokenCache;

    std::string expand(const std::string& stored) const;  // kBaseMarker -> base
    std::string settingsLines() const;
    std::string token(std::size_t length);

    // Routing entry points.
    void handle(const httplib::Request& req, httplib::Response& res);
    void handleApi(const httplib::Request& req, httplib::Response& res, const std::string& rawPath,
                   const std::string& path, const std::string& requestPath);
    bool handleWeb(const httplib::Request& req, httplib::Response& res, const std::string& path);
    std::uint64_t checkProtocolParams(const ParamList& header) const;
    // The service's own clock (DevControl.cpp): the machine's plus options.clockOffset.
    std::int64_t serviceNow() const;
    // Development controls under /dev/ (DevControl.cpp); false for any other path.
    bool handleDevControl(const httplib::Request& req, httplib::Response& res, const std::string& path);
    void handleTokenEndpoint(const httplib::Request& req, httplib::Response& res, const std::string& path,
                             const std::string& requestPath, const SignedRequest& signedReq, const ParamList& header);
};

// The API operations (Routes.cpp). Writes its answer into ctx.res or throws ApiError.
void dispatchApi(Ctx& ctx);
// The web pages and files (WebPages.cpp). False when nothing is found at the path.
bool dispatchWeb(Ctx& ctx);

// Rendering shared by routes and pages.
Json::Value userJson(Ctx& ctx, std::uint64_t userId);
Json::Value statusJson(Ctx& ctx, std::uint64_t statusId, int depth = 0);
std::string writeJson(const Json::Value& value);
Json::Value errorJson(const std::string& requestPath, const ApiError& e);
void sendError(httplib::Response& res, const std::string& requestPath, const ApiError& e);
// "Sun, 06 Nov 1994 08:49:37 GMT" (RFC 7231).
std::string httpDate(std::int64_t epochSeconds);

}  // namespace devserver
