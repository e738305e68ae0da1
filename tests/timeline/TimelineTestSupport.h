#pragma once
// What the timeline tests share: one application for the program (settings in a folder of its own), waiting
// with a deadline, a stand-in for the main window, records made from JSON, and the development service started
// as a child process on a free loopback port with a fresh database.
#include "cells/CellContext.h"
#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "model/WeiboParser.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "service/WeiboAPI.h"
#include "timeline/PXListViewController.h"
#include "timeline/TimelineHost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <boost/make_shared.hpp>
#include <boost/optional/optional_io.hpp>
#include <gtest/gtest.h>
#include <json/json.h>

#include <signal.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TimelineTestApp : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "plumet-timeline-tests";
        static char* argv[] = {name, nullptr};
        settingsDir_ = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir_->path());
        app_ = std::make_unique<QApplication>(argc, argv);
        platform::UserDefaults::standard().reopen(settingsDir_->filePath(QStringLiteral("Plumet.ini")));
        platform::UserDefaults::standard().registerDefaultsFromResource();
        context_ = std::make_unique<StandardCellContext>();
        CellContext::setCurrent(context_.get());
    }
    void TearDown() override
    {
        // Nothing may wait on the main queue while the application goes.
        platform::closeMainQueue();
        platform::waitForGlobalQueue(30000);
        CellContext::setCurrent(nullptr);
        context_.reset();
        app_.reset();
        settingsDir_.reset();
    }
    static StandardCellContext& context() { return *context_; }

private:
    static inline std::unique_ptr<QApplication> app_;
    static inline std::unique_ptr<QTemporaryDir> settingsDir_;
    static inline std::unique_ptr<StandardCellContext> context_;
};

// Pumps the main thread's events until pred holds or the deadline passes; answers pred.
inline bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return pred();
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Runs fn on a background thread (as the main window does) and pumps the main thread until it has finished.
inline bool runInBackgroundAndWait(std::function<void()> fn, int timeoutMs = 60000)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    platform::dispatchGlobal([fn = std::move(fn), done] {
        fn();
        done->store(true);
    });
    return waitUntil([done] { return done->load(); }, timeoutMs);
}

// The main window as the list controllers see it: it records what they asked for.
class HostStandIn : public TimelineHost {
public:
    void displayBusy(const QString& text) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!text.isEmpty())
            busy.push_back(text);
        else if (!busy.empty())
            busy.pop_back();
        busyHistory.push_back(text);
    }
    std::uint64_t selfUserId() const override { return selfId; }
    PXListViewController* chatListViewController() const override { return chatList; }
    void updateLeftTabs() override { ++leftTabUpdates; }
    void moreWeibo() override { ++moreWeiboCalls; }
    void checkDrawer() override { ++drawerChecks; }
    void closeDrawer() override
    {
        ++drawerCloses;
        drawerOpen = false;
        active.reset();
        activeId = 0;
    }
    bool isDrawerOpenOrOpening() const override { return drawerOpen; }
    CellPtr activeDataCell() const override { return active; }
    void setActiveDataCell(const CellPtr& cell) override { active = cell; }
    std::uint64_t activeEntityId() const override { return activeId; }
    void displayMessageFromDataCell(const CellPtr& cell, bool toggle, bool init, int mode) override
    {
        messageDisplays.push_back({cell, toggle, init, mode});
        active = cell;
        drawerOpen = true;
    }
    void displayCommentsFromDataCell(const CellPtr& cell, std::uint64_t id, bool toggle, bool fetchData) override
    {
        (void)cell; (void)toggle; (void)fetchData;
        commentDisplays.push_back(id);
    }
    void profileButtonClicked(const QString& name) override { profileClicks.push_back(name); }

    struct MessageDisplay {
        CellPtr cell;
        bool toggle, init;
        int mode;
    };

    std::mutex mutex;
    std::vector<QString> busy, busyHistory;
    std::uint64_t selfId = 0;
    PXListViewController* chatList = nullptr;
    std::atomic<int> leftTabUpdates{0}, moreWeiboCalls{0}, drawerChecks{0}, drawerCloses{0};
    bool drawerOpen = false;
    CellPtr active;
    std::uint64_t activeId = 0;
    std::vector<MessageDisplay> messageDisplays;
    std::vector<std::uint64_t> commentDisplays;
    std::vector<QString> profileClicks;
};

// Records from JSON text, as the service would send them.
inline Json::Value userJson(std::uint64_t id, const std::string& name)
{
    Json::Value user(Json::objectValue);
    user["id"] = Json::UInt64(id);
    user["screen_name"] = name;
    user["name"] = name;
    user["profile_image_url"] = "";
    return user;
}

inline boost::shared_ptr<weibo::WBStatus> makeStatus(std::uint64_t id, const std::string& text,
                                                     std::uint64_t retweetedId = 0, std::uint64_t userId = 7)
{
    Json::Value status(Json::objectValue);
    status["id"] = Json::UInt64(id);
    status["text"] = text;
    status["created_at"] = "Mon Dec 07 13:55:31 +0800 2026";
    status["source"] = "<a href=\"http://127.0.0.1/\" rel=\"nofollow\">Plumet</a>";
    status["user"] = userJson(userId, "用户" + std::to_string(userId));
    if (retweetedId) {
        Json::Value original(Json::objectValue);
        original["id"] = Json::UInt64(retweetedId);
        original["text"] = "被转发的微博 " + std::to_string(retweetedId) + " 这是原文，写得长一点好让它折几行。";
        original["created_at"] = "Mon Dec 07 10:00:00 +0800 2026";
        original["source"] = status["source"];
        original["user"] = userJson(userId + 1, "原作者");
        status["retweeted_status"] = original;
    }
    return boost::make_shared<weibo::WBStatus>(status);
}

inline CellPtr statusCell(std::uint64_t id, const std::string& text = "一条微博", std::uint64_t retweetedId = 0)
{
    return std::make_shared<TimelineCellStatus>(makeStatus(id, text, retweetedId));
}

inline std::vector<std::uint64_t> idsOf(const CellArray& cells)
{
    std::vector<std::uint64_t> ids;
    for (const CellPtr& cell : cells)
        ids.push_back(cell->entityId());
    return ids;
}

// The development service as a child process: port 0, a fresh database in a temporary folder; its printed
// settings ("WeiboHost=...", "DemoLogin=...") are read until "Ready".
class DevServer {
public:
    DevServer()
    {
        const char* exe = std::getenv("PLUMET_DEVSERVER");
        if (!exe || !*exe || !dir_.isValid())
            return;
        const std::string db = dir_.filePath(QStringLiteral("devserver.sqlite")).toStdString();
        int out[2];
        if (::pipe(out) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<std::string> args = {exe, "--port", "0", "--db", db};
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(exe, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::string buffer;
        char chunk[4096];
        while (std::chrono::steady_clock::now() < deadline && buffer.find("\nReady\n") == std::string::npos) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(out[0], &set);
            timeval tv{0, 100000};
            if (::select(out[0] + 1, &set, nullptr, nullptr, &tv) <= 0)
                continue;
            const ssize_t n = ::read(out[0], chunk, sizeof chunk);
            if (n <= 0)
                break;
            buffer.append(chunk, std::size_t(n));
        }
        ::close(out[0]);
        std::size_t pos = 0;
        while (pos < buffer.size()) {
            std::size_t end = buffer.find('\n', pos);
            if (end == std::string::npos)
                end = buffer.size();
            const std::string line = buffer.substr(pos, end - pos);
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos)
                values_[line.substr(0, eq)] = line.substr(eq + 1);
            pos = end + 1;
        }
        ready_ = buffer.find("\nReady\n") != std::string::npos;
    }
    ~DevServer()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    bool ready() const { return ready_; }
    std::string value(const std::string& key) const
    {
        auto it = values_.find(key);
        return it == values_.end() ? std::string() : it->second;
    }

    // A client signed in with xAuth as `login` (every seeded account's password is the demo's).
    boost::shared_ptr<weibo::SinaWeibo> client(const std::string& login = std::string()) const
    {
        auto weibo = boost::make_shared<weibo::SinaWeibo>();
        weibo->oAuth().setConsumerKey(value("ConsumerKey"));
        weibo->oAuth().setConsumerSecret("9f1c0a7e52d84b3690e1c7a4f2b85d03");
        weibo->setBaseUrls(value("WeiboHost"), value("Weibo2Host"));
        if (!weibo->acquireOAuthAccessToken(login.empty() ? value("DemoLogin") : login, value("DemoPassword")))
            return nullptr;
        return weibo;
    }
    std::uint64_t demoUserId() const { return std::strtoull(value("DemoUserId").c_str(), nullptr, 10); }

private:
    QTemporaryDir dir_;
    pid_t pid_ = -1;
    bool ready_ = false;
    std::map<std::string, std::string> values_;
};
