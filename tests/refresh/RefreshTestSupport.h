#pragma once
// What the refresh tests and the poll benchmark add to the shared support: the application on a private session
// bus (so the notifications of the program reach a listener of the test and never the desktop), and a counting
// loopback proxy in front of it that records every request the program makes, can fail one path, hold every
// request (a hung service) or stop listening (a service gone away).
#include "../support/TestSupport.h"
#include "mainwindow/MyWindowController.h"
#include "service/WeiboAPI.h"

#include <QString>

#include <boost/shared_ptr.hpp>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class QApplication;

namespace httplib {
class Server;
struct Response;
}

namespace refreshtest {

// Private folders, the private bus and the application; call once, before anything touches the session bus.
// `make` builds the application object (a QApplication by default).
void setUpApplication(const char* name,
                      const std::function<QApplication*(int& argc, char** argv)>& make = nullptr);
using testsupport::bus;
using testsupport::DevService;
using testsupport::makeClient;
using testsupport::tearDownApplication;
using testsupport::useFreshSettingsAndData;
using ::waitUntil;

// A loopback HTTP proxy that forwards every request to the service unchanged (the Host header included, so
// the signatures still hold) and records it.
class CountingProxy {
public:
    struct Request {
        std::string method;
        std::string path; // without the version segment and ".json"
        std::multimap<std::string, std::string> params;
        std::size_t bytes = 0; // status line, headers and body of the answer
        bool answered = false;
    };

    explicit CountingProxy(int targetPort);
    ~CountingProxy();
    // Listens (again) on its port; the first start picks a free one.
    bool start();
    // Stops listening: connections are refused until start(). Held requests are let go first.
    void stop();
    int port() const { return port_; }
    QString base() const;

    std::vector<Request> requests() const;
    std::size_t size() const;
    // Requests to a path ("/statuses/friends_timeline"), from the index `from` on.
    int count(const std::string& path, std::size_t from = 0) const;
    std::vector<Request> requestsTo(const std::string& path, std::size_t from = 0) const;
    std::uint64_t bytesAnswered(std::size_t from = 0) const;

    // Answers this path with 500 and `body` (empty by default), without asking the service.
    void failPath(const std::string& path, const std::string& body = std::string());
    // The one place answers no well-behaved service sends are made: the service's answer to this path (its body,
    // or empty for a method that never reached it) is handed to `rewrite`, which fills the response instead: a
    // rewritten page, an error object with success status, a cut answer, a trickle. Cleared with the failures.
    using Rewrite = std::function<void(const std::string& serviceBody, httplib::Response& res)>;
    void rewritePath(const std::string& path, Rewrite rewrite);
    void clearFailures();
    // While held, requests wait (the service seems to hang) until release().
    void hold();
    void release();
    int waiting() const;

private:
    void serve(httplib::Server& server);

    const int targetPort_;
    int port_ = 0;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;

    mutable std::mutex mutex_; // guards everything below
    std::condition_variable released_;
    std::vector<Request> requests_;
    std::map<std::string, std::string> failing_; // path -> body
    std::map<std::string, Rewrite> rewriting_;
    bool holding_ = false;
    int waiting_ = 0;
};

// The path of a request target without "/2", ".json" and the query.
std::string normalisedPath(const std::string& path);

} // namespace refreshtest
