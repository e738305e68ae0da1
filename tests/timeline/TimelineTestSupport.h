#pragma once
#include <algorithm>
// What the timeline tests add to the shared support: one application with a cell context, a stand-in for the main
// window, records made from JSON.
#include "../support/DevServiceTest.h"
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

#include <boost/make_shared.hpp>
#include <boost/optional/optional_io.hpp>
#include <gtest/gtest.h>
#include <json/json.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TimelineTestApp : public ::testing::Environment {
public:
    void SetUp() override
    {
        testsupport::ApplicationOptions options;
        options.name = "plumet-timeline-tests";
        options.settingsFile = true;
        testsupport::setUpApplication(options);
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
        testsupport::tearDownApplication();
    }
    static StandardCellContext& context() { return *context_; }

private:
    static inline std::unique_ptr<StandardCellContext> context_;
};

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
    BusyText displayBusy(const QString& text) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        const std::uint64_t id = ++busyIds;
        busy.push_back({id, text});
        busyHistory.push_back(text);
        return BusyText([this, id] {
            std::lock_guard<std::mutex> lock(mutex);
            busy.erase(std::remove_if(busy.begin(), busy.end(), [id](const auto& e) { return e.first == id; }),
                       busy.end());
        });
    }
    bool busyEmpty()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return busy.empty();
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
    bool isStarting() const override { return starting; }
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
    std::vector<std::pair<std::uint64_t, QString>> busy;
    std::vector<QString> busyHistory;
    std::uint64_t busyIds = 0;
    std::uint64_t selfId = 0;
    PXListViewController* chatList = nullptr;
    std::atomic<int> leftTabUpdates{0}, moreWeiboCalls{0}, drawerChecks{0}, drawerCloses{0};
    bool drawerOpen = false;
    bool starting = false;
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

inline boost::shared_ptr<weibo::WBMessage> makeMessage(std::uint64_t id, std::uint64_t from, std::uint64_t to,
                                                       const std::string& text)
{
    Json::Value message(Json::objectValue);
    message["id"] = Json::UInt64(id);
    message["text"] = text;
    message["sender_id"] = Json::UInt64(from);
    message["recipient_id"] = Json::UInt64(to);
    message["created_at"] = "Mon Dec 07 13:55:31 +0800 2026";
    message["sender"] = userJson(from, "发信人" + std::to_string(from));
    message["recipient"] = userJson(to, "收信人" + std::to_string(to));
    return boost::make_shared<weibo::WBMessage>(message);
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

using testsupport::DevService;
