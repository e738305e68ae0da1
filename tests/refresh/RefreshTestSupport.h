#pragma once
// What the refresh tests and the poll benchmark share: one application on a private session bus (so the
// notifications of the program reach a listener of the test and never the desktop), private settings and data
// folders, waiting with a deadline, the development service on an ephemeral loopback port, and a counting
// loopback proxy in front of it that records every request the program makes, can fail one path, hold every
// request (a hung service) or stop listening (a service gone away).
#include "mainwindow/MyWindowController.h"
#include "service/WeiboAPI.h"

#include <QHash>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

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

class PrivateSessionBus;
class QApplication;

namespace httplib {
class Server;
}

namespace refreshtest {

// Private folders, the private bus and the application; call once, before anything touches the session bus.
// `make` builds the application object (a QApplication by default).
void setUpApplication(const char* name,
                      const std::function<QApplication*(int& argc, char** argv)>& make = nullptr);
void tearDownApplication();
PrivateSessionBus* bus();

// Pumps the main thread's events until pred holds or the deadline passes; answers pred.
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 20000);

// Points the standard settings at a new, empty file and the resource folder at a new, empty data folder.
void useFreshSettingsAndData();

// A client of the program's consumer credentials with the given token, pointed at `base`.
boost::shared_ptr<weibo::SinaWeibo> makeClient(const QString& base, const QString& token = QString(),
                                               const QString& secret = QString());

// The development service, started from PLUMET_DEVSERVER on a free loopback port with a database of its own.
class DevService {
public:
    DevService();
    ~DevService();
    bool isRunning() const { return running_; }
    QString error() const { return error_; }
    QString value(const QString& key) const { return values_.value(key); }
    QString base() const { return value(QStringLiteral("WeiboHost")); }
    int port() const;
    std::uint64_t demoUserId() const { return value(QStringLiteral("DemoUserId")).toULongLong(); }
    // The demo account, straight to the service (its requests are not counted).
    boost::shared_ptr<weibo::SinaWeibo> demoClient() const;
    // Another seeded person (every password is "plumet"), signed in by xAuth, straight to the service.
    boost::shared_ptr<weibo::SinaWeibo> personClient(const std::string& login) const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    QHash<QString, QString> values_;
    bool running_ = false;
    QString error_;
};

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
    bool holding_ = false;
    int waiting_ = 0;
};

// The path of a request target without "/2", ".json" and the query.
std::string normalisedPath(const std::string& path);

} // namespace refreshtest
