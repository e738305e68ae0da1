// Main-thread cost of opening the drawer from a click: the comments of a status already loaded (50 comments, one
// page) and a conversation of 100 messages, each time with the row's relayout and the repaint that follows. The
// client points at a closed loopback port, so a handler that waited on the network would show up as failure
// time-outs here, not as fast numbers.
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bench/mainwindow/bench_drawer
#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "mainwindow/MyWindowController.h"
#include "timeline/PXListViewController.h"

#include <QApplication>
#include <QTcpServer>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>
#include <json/json.h>

#include <memory>

namespace {

constexpr std::uint64_t kSelf = 1000, kOther = 2000;

Json::Value user(std::uint64_t id, const char* name)
{
    Json::Value u;
    u["id"] = Json::UInt64(id);
    u["screen_name"] = name;
    u["name"] = name;
    return u;
}

Json::Value status(std::uint64_t id)
{
    Json::Value s;
    s["id"] = Json::UInt64(id);
    s["created_at"] = "Mon Dec 07 10:00:00 +0800 2026";
    s["text"] = "今天的天气真好，去公园走走 http://example.invalid/a #散步# @路人甲";
    s["user"] = user(kOther, "张三");
    return s;
}

std::shared_ptr<TimelineCellBase> commentCell(std::uint64_t id, const Json::Value& of)
{
    Json::Value c;
    c["id"] = Json::UInt64(id);
    c["created_at"] = "Mon Dec 07 10:05:00 +0800 2026";
    c["text"] = "说得对！我也这么觉得，下次一起去 @张三 [哈哈]";
    c["user"] = user(3000 + id % 7, "评论者");
    c["status"] = of;
    return std::make_shared<TimelineCellComment>(boost::make_shared<weibo::WBComment>(c));
}

std::shared_ptr<TimelineCellMessage> messageCell(std::uint64_t id, bool fromMe)
{
    Json::Value m;
    m["id"] = Json::UInt64(id);
    m["created_at"] = "Mon Dec 07 11:00:00 +0800 2026";
    m["text"] = fromMe ? "好的，明天见。" : "明天上午十点在老地方见面可以吗？带上那本书。";
    m["sender_id"] = Json::UInt64(fromMe ? kSelf : kOther);
    m["recipient_id"] = Json::UInt64(fromMe ? kOther : kSelf);
    m["sender"] = user(fromMe ? kSelf : kOther, fromMe ? "我" : "张三");
    m["recipient"] = user(fromMe ? kOther : kSelf, fromMe ? "张三" : "我");
    return std::make_shared<TimelineCellMessage>(boost::make_shared<weibo::WBMessage>(m));
}

struct Fixture {
    Fixture()
    {
        closed.listen(QHostAddress::LocalHost);
        const std::string base = "http://127.0.0.1:" + std::to_string(closed.serverPort());
        closed.close();
        client = boost::make_shared<weibo::SinaWeibo>();
        client->setBaseUrls(base, base + "/2");
        window = std::make_unique<MyWindowController>(QStringLiteral("MainWindow"), client);
        window->cellContext().setSelfUserId(kSelf);
        window->resize(540, 760);
        window->show();
        window->initComplete();
        window->timer()->stop();

        PXListViewController* home = window->weiboListViewController();
        const Json::Value record = status(1);
        item = std::make_shared<TimelineCellStatus>(boost::make_shared<weibo::WBStatus>(record));
        item->setListViewController(home);
        home->setDataOfCells(CellArray{item});
        home->reloadData();
        PXListViewController* comments = window->commentListViewController();
        CellArray page;
        for (std::uint64_t i = 0; i < 50; ++i) {
            page.push_back(commentCell(100 + i, record));
            page.back()->setListViewController(comments);
        }
        comments->setDataOfCells(page);

        MessageCellArray messages;
        for (std::uint64_t i = 0; i < 100; ++i)
            messages.push_back(messageCell(10000 - i, i % 3 == 0));
        for (const auto& m : messages)
            m->setListViewController(window->chatListViewController());
        auto group = std::make_shared<TimelineCellMessageGroup>(messages);
        group->sortMessages();
        group->setListViewController(window->messageListViewController());
        conversation = group;
        QApplication::processEvents();
    }

    QTcpServer closed;
    boost::shared_ptr<weibo::SinaWeibo> client;
    std::unique_ptr<MyWindowController> window;
    CellPtr item, conversation;
};

Fixture* fixture = nullptr;

void BM_OpenCommentsOfAStatus(benchmark::State& state)
{
    MyWindowController& w = *fixture->window;
    w.leftTabClicked(w.leftTabs().at(0));
    for (auto _ : state) {
        w.displayCommentsFromDataCell(fixture->item, 1, true, false);
        QApplication::processEvents();
        state.PauseTiming();
        if (!w.isDrawerOpenOrOpening())
            state.SkipWithError("the drawer did not open");
        w.closeDrawer();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenCommentsOfAStatus)->Unit(benchmark::kMillisecond);

void BM_OpenConversationOf100Messages(benchmark::State& state)
{
    MyWindowController& w = *fixture->window;
    PXListViewController* list = w.messageListViewController();
    w.leftTabClicked(w.leftTabs().at(3));
    list->setDataOfCells(CellArray{fixture->conversation});
    list->reloadData();
    for (auto _ : state) {
        w.displayMessageFromDataCell(fixture->conversation, false, true, PXListViewController::kModeNewer);
        QApplication::processEvents();
        state.PauseTiming();
        if (!w.isDrawerOpenOrOpening())
            state.SkipWithError("the drawer did not open");
        w.closeDrawer();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenConversationOf100Messages)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    fixture = new Fixture;
    benchmark::RunSpecifiedBenchmarks();
    delete fixture;
    benchmark::Shutdown();
    return 0;
}
