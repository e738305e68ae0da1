// The refresh, the older-items load and the poll of the main window against the development service, seen
// through a counting proxy: which lists the poll asks for and how, what it announces on a private session bus,
// the reading position it keeps, overlapping loads, and a service that fails, hangs, goes away and comes back.
#include "RefreshTestSupport.h"
#include "WindowParts.h"

#include "../support/DevServiceTest.h"
#include "../support/PrivateSessionBus.h"
#include "../support/ScriptedAlertResponder.h"
#include "cells/TimelineCellBase.h"
#include "compose/ComposeEditor.h"
#include "compose/ComposeEnvironment.h"
#include "compose/ComposeWindows.h"
#include "compose/PostWindowController.h"
#include "mainwindow/LeftTab.h"
#include "model/WeiboParser.h"
#include "platform/Notifications.h"
#include "platform/UnreadBadge.h"
#include "platform/UserDefaults.h"
#include "timeline/PXListViewController.h"
#include "timeline/SeamCell.h"
#include "widgets/PXListView.h"
#include "widgets/PopUpButton.h"
#include "widgets/TabView.h"

#include <gtest/gtest.h>

#include <httplib.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QSignalSpy>

#include <algorithm>
#include <atomic>
#include <set>

using namespace refreshtest;

namespace {

class RefreshEnvironment : public ::testing::Environment {
public:
    void SetUp() override { setUpApplication("plumet-refresh-tests"); }
    void TearDown() override { tearDownApplication(); }
};
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new RefreshEnvironment);

const QString kChecking = QStringLiteral("正在检查是否有新微博...");
const QString kOlder = QStringLiteral("正在获取更多微博...");

std::string param(const CountingProxy::Request& r, const std::string& key)
{
    auto it = r.params.find(key);
    return it == r.params.end() ? std::string("<none>") : it->second;
}

std::vector<std::uint64_t> ids(const CellArray& cells)
{
    std::vector<std::uint64_t> out;
    for (const CellPtr& cell : cells)
        out.push_back(cell->entityId());
    return out;
}

bool allDifferent(const std::vector<std::uint64_t>& v)
{
    return std::set<std::uint64_t>(v.begin(), v.end()).size() == v.size();
}

class RefreshE2ETest : public testsupport::DevServiceTest {
protected:
    static void SetUpTestSuite()
    {
        DevServiceTest::SetUpTestSuite();
        if (service_->isRunning())
            person_ = service_->personClient("zhangsan@plumet.local");
    }
    static void TearDownTestSuite()
    {
        person_.reset();
        DevServiceTest::TearDownTestSuite();
    }

    void SetUp() override
    {
        DevServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(person_) << "xAuth of a seeded person failed";
        useFreshSettingsAndData();
        proxy_ = std::make_unique<CountingProxy>(service_->port());
        ASSERT_TRUE(proxy_->start());
        // Every test starts from the counters its own items raise.
        auto demo = service_->demoClient();
        for (int type : {1, 2, 3})
            demo->statusResetCount(type);
    }
    void TearDown() override
    {
        if (proxy_)
            proxy_->release();
        window_.reset();
        proxy_.reset();
    }

    // The window of the demo account, its client going through the proxy. The start-up is ended by hand (no
    // picture downloads): the home timeline is shown, and a second later the first poll runs.
    MyWindowController& startWindow()
    {
        auto client = makeClient(proxy_->base(), service_->value(QStringLiteral("DemoAccessToken")),
                                 service_->value(QStringLiteral("DemoAccessTokenSecret")));
        window_ = std::make_unique<MyWindowController>(QStringLiteral("MainWindow"), client);
        window_->resize(540, 760);
        window_->show();
        return *window_;
    }
    void finishStartup()
    {
        // What the start-up's catch-up would have shown.
        weibo::SinaWeiboOptions options;
        options.count_ = 20;
        window_->weiboListViewController()->fetchDataWithOptions(options, PXListViewController::kModeInitial, false);
        startupRequests_ = proxy_->size();
        window_->initComplete();
        ASSERT_TRUE(waitUntil([&] { return window_->pollsCompleted() == 1; }));
        // The 90-second timer is started by the start-up; the tests fire their polls themselves.
        window_->timer()->stop();
    }
    void poll(bool timer = true)
    {
        const auto before = window_->pollsCompleted();
        window_->scheduledTask(timer ? window_->timer() : nullptr);
        ASSERT_TRUE(waitUntil([&] { return window_->pollsCompleted() == before + 1; }));
    }
    void refresh()
    {
        const auto before = window_->refreshesCompleted();
        window_->refreshWeibo();
        ASSERT_TRUE(waitUntil([&] { return window_->refreshesCompleted() == before + 1; }));
    }

    // Items other people make for the demo account.
    std::uint64_t post(const std::string& text)
    {
        const auto statuses = weibo::parseString<weibo::WBStatus>(person_->statusUpdate(text));
        return statuses.empty() ? 0 : statuses.front()->id;
    }
    std::uint64_t commentOnDemo(const std::string& text)
    {
        weibo::SinaWeiboOptions options;
        options.count_ = 1;
        const auto mine = weibo::parseString<weibo::WBStatus>(service_->demoClient()->timelineUser(options));
        if (mine.empty())
            return 0;
        const auto comments = weibo::parseString<weibo::WBComment>(person_->statusComment(mine.front()->id, text));
        return comments.empty() ? 0 : comments.front()->id;
    }
    std::uint64_t messageDemo(const std::string& text)
    {
        weibo::SinaWeiboOptions options;
        options.user_id_ = service_->demoUserId();
        const auto messages = weibo::parseString<weibo::WBMessage>(person_->directMessagesNew("", text, options));
        return messages.empty() ? 0 : messages.front()->id;
    }
    static std::string unique(const char* text)
    {
        static int serial = 0;
        return std::string(text) + " #" + std::to_string(++serial);
    }

    static inline boost::shared_ptr<weibo::SinaWeibo> person_;
    std::unique_ptr<CountingProxy> proxy_;
    std::unique_ptr<MyWindowController> window_;
    std::size_t startupRequests_ = 0;
};

TEST_F(RefreshE2ETest, StartupIgnoresAllThreeAndTheFirstPollNeverAsksForTheHomeTimelineButEveryTimerPollDoes)
{
    MyWindowController& w = startWindow();
    w.refreshWeibo();
    w.moreWeibo();
    w.scheduledTask(w.timer());
    EXPECT_TRUE(w.busyHints().isEmpty());
    EXPECT_FALSE(w.isPolling());
    EXPECT_EQ(proxy_->size(), 0u);

    ASSERT_NO_FATAL_FAILURE(finishStartup());
    const std::size_t from = startupRequests_;
    EXPECT_EQ(proxy_->count("/statuses/unread", from), 1);
    EXPECT_EQ(proxy_->count("/statuses/friends_timeline", from), 0);
    EXPECT_EQ(proxy_->count("/statuses/comments_to_me", from), 1);
    EXPECT_EQ(proxy_->count("/statuses/mentions", from), 1);
    EXPECT_EQ(proxy_->count("/direct_messages", from), 1);
    EXPECT_TRUE(w.busyHints().isEmpty());

    // Every timer poll asks for the home timeline, whether or not anything is new: for what is newer than
    // its newest status.
    for (int i = 0; i < 2; ++i) {
        const std::uint64_t newest = w.weiboListViewController()->latestEntityId();
        ASSERT_NE(newest, 0u);
        const std::size_t before = proxy_->size();
        ASSERT_NO_FATAL_FAILURE(poll());
        const auto asked = proxy_->requestsTo("/statuses/friends_timeline", before);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(param(asked[0], "since_id"), std::to_string(newest));
        EXPECT_EQ(param(asked[0], "count"), "100");
        if (i == 0)
            post(unique("第二次轮询带来的"));
    }
    EXPECT_EQ(w.weiboListViewController()->unreadCount(), 1u);
}

TEST_F(RefreshE2ETest, PollWhoseUnreadRequestFailsAsksForNoListAndStillPopsItsBusyText)
{
    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    commentOnDemo(unique("没人看见的评论"));
    // No body, then the service's error object.
    for (const std::string& body : {std::string(), std::string(R"({"error":"expired_token","error_code":21327,)"
                                                               R"("request":"/statuses/unread.json"})")}) {
        proxy_->failPath("/statuses/unread", body);
        const std::size_t from = proxy_->size();
        ASSERT_NO_FATAL_FAILURE(poll());
        EXPECT_EQ(proxy_->count("/statuses/unread", from), 1);
        for (const char* list : {"/statuses/friends_timeline", "/statuses/comments_to_me", "/statuses/mentions",
                                 "/direct_messages", "/direct_messages/sent"})
            EXPECT_EQ(proxy_->count(list, from), 0) << list;
        EXPECT_TRUE(w.busyHints().isEmpty());
        // The failure is said where the busy line was.
        EXPECT_EQ(w.failureText(), QStringLiteral("更新失败：服务器出错 (500)"));
        EXPECT_FALSE(testsupport::part<QWidget>(&w, "hintView")->isHidden());
    }
}

TEST_F(RefreshE2ETest, EmptyCommentsAreFilledWithUnreadPlusTenAndAFilledListAsksOnlyForNewerOnes)
{
    std::vector<std::uint64_t> made;
    for (int i = 0; i < 3; ++i)
        made.insert(made.begin(), commentOnDemo(unique("新评论")));
    ASSERT_NE(made.back(), 0u);

    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    PXListViewController* comments = w.comments2meListViewController();
    auto asked = proxy_->requestsTo("/statuses/comments_to_me");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(param(asked[0], "count"), "13");
    EXPECT_EQ(param(asked[0], "since_id"), "<none>");
    EXPECT_EQ(comments->unreadCount(), 3u);
    // The tab and the launcher count follow the service's counter.
    EXPECT_EQ(testsupport::part<LeftTab>(&w, "timelineComment")->unreadCount(), 3u);
    EXPECT_EQ(platform::UnreadBadge::shared().unreadCount(), 3u);
    const auto first = ids(*comments->dataOfCells());
    ASSERT_GE(first.size(), 3u);
    EXPECT_EQ(std::vector<std::uint64_t>(first.begin(), first.begin() + 3), made);

    // One more comment: asked for everything newer than the newest shown, put on top of the rest, and the
    // unread count is the service's counter, not the number that came.
    const std::uint64_t fourth = commentOnDemo(unique("又一条评论"));
    const std::size_t from = proxy_->size();
    ASSERT_NO_FATAL_FAILURE(poll());
    asked = proxy_->requestsTo("/statuses/comments_to_me", from);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(param(asked[0], "since_id"), std::to_string(made.front()));
    const auto second = ids(*comments->dataOfCells());
    ASSERT_EQ(second.size(), first.size() + 1);
    EXPECT_EQ(second.front(), fourth);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), second.begin() + 1));
    EXPECT_EQ(comments->unreadCount(), 4u);
    EXPECT_EQ(platform::UnreadBadge::shared().unreadCount(), 4u);
}

class NotificationTest : public RefreshE2ETest {
protected:
    void SetUp() override
    {
        RefreshE2ETest::SetUp();
        if (HasFatalFailure())
            return;
        if (!bus() || !bus()->isRunning())
            GTEST_SKIP() << "dbus-daemon could not be started";
        peer_ = std::make_unique<QDBusConnection>(bus()->connect(QStringLiteral("notification-service")));
        listener_ = std::make_unique<NotificationListener>(*peer_);
        ASSERT_TRUE(listener_->isRegistered());
    }
    void TearDown() override
    {
        listener_.reset();
        if (peer_)
            QDBusConnection::disconnectFromBus(QStringLiteral("notification-service"));
        RefreshE2ETest::TearDown();
    }
    // Everything posted before this call has arrived once the marker has (one connection keeps its order).
    QVector<NotificationListener::Call> settled()
    {
        platform::Notifications::shared().notify(QStringLiteral("marker"), QString());
        EXPECT_TRUE(waitUntil([&] {
            return !listener_->calls.isEmpty() && listener_->calls.back().summary == QLatin1String("marker");
        }));
        QVector<NotificationListener::Call> calls = listener_->calls;
        calls.removeLast();
        listener_->calls.clear();
        return calls;
    }
    static void expectAnnounced(const NotificationListener::Call& call, const CellPtr& cell)
    {
        EXPECT_EQ(call.summary, cell->entityName());
        EXPECT_EQ(call.body, cell->entityText());
    }

    std::unique_ptr<QDBusConnection> peer_;
    std::unique_ptr<NotificationListener> listener_;
};

TEST_F(NotificationTest, FirstPollAnnouncesTheCountersTimerPollsWhatTheyBroughtAndNothingTwiceOrWhenSwitchedOff)
{
    commentOnDemo(unique("评论一"));
    commentOnDemo(unique("评论二"));
    post(unique("@演示账号 提到你"));
    messageDemo(unique("私信一"));

    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    auto calls = settled();
    // Comments (2), the mention, the message; newest first within each list; the home timeline not at all.
    ASSERT_EQ(calls.size(), 4);
    const CellArray comments = *w.comments2meListViewController()->dataOfCells();
    expectAnnounced(calls[0], comments[0]);
    expectAnnounced(calls[1], comments[1]);
    expectAnnounced(calls[2], w.atmeListViewController()->dataOfCells()->front());
    expectAnnounced(calls[3], w.messageListViewController()->receivedMessageCells()->front());
    EXPECT_EQ(calls[0].summary, QStringLiteral("张三"));

    // A timer poll announces what it fetched: two statuses, newest first.
    post(unique("新微博一"));
    post(unique("新微博二"));
    ASSERT_NO_FATAL_FAILURE(poll());
    calls = settled();
    const CellArray home = *w.weiboListViewController()->dataOfCells();
    ASSERT_EQ(calls.size(), 2);
    expectAnnounced(calls[0], home[0]);
    expectAnnounced(calls[1], home[1]);

    // Nothing new: nothing announced again.
    ASSERT_NO_FATAL_FAILURE(poll());
    EXPECT_TRUE(settled().isEmpty());

    // A list switched off is not announced; with "UseGrowl" off nothing is, though the items arrive.
    auto& defaults = platform::UserDefaults::standard();
    defaults.setBool(false, QStringLiteral("NewStatus"));
    post(unique("不提醒的微博"));
    commentOnDemo(unique("提醒的评论"));
    ASSERT_NO_FATAL_FAILURE(poll());
    calls = settled();
    ASSERT_EQ(calls.size(), 1);
    expectAnnounced(calls[0], w.comments2meListViewController()->dataOfCells()->front());

    defaults.setBool(true, QStringLiteral("NewStatus"));
    defaults.setBool(false, QStringLiteral("UseGrowl"));
    const std::uint64_t quiet = post(unique("@演示账号 安静的提及"));
    commentOnDemo(unique("安静的评论"));
    messageDemo(unique("安静的私信"));
    ASSERT_NO_FATAL_FAILURE(poll());
    EXPECT_TRUE(settled().isEmpty());
    EXPECT_EQ(w.weiboListViewController()->latestEntityId(), quiet);
    EXPECT_EQ(w.atmeListViewController()->latestEntityId(), quiet);
}

TEST_F(NotificationTest, OverlappingPollRefreshAndOlderLoadsShowAndAnnounceEveryItemOnce)
{
    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    PXListViewController* home = w.weiboListViewController();
    settled();
    std::set<std::uint64_t> made;
    for (int i = 0; i < 5; ++i)
        made.insert(post(unique("同时到来的微博")));

    // Everything waits on the service at once, then goes on together.
    proxy_->hold();
    w.scheduledTask(w.timer());
    w.scheduledTask(w.timer()); // skipped: one poll at a time
    w.refreshWeibo();
    w.moreWeibo();
    w.moreWeibo(); // skipped: that list's older items are on the way
    w.refreshWeibo(); // skipped: that list's refresh still waits
    EXPECT_EQ(w.pollsSkipped(), 1u);
    // The program makes one transfer at a time: the first waits, the other loads queue behind it.
    ASSERT_TRUE(waitUntil([&] { return proxy_->waiting() == 1; }));
    proxy_->release();
    ASSERT_TRUE(waitUntil([&] {
        return w.pollsCompleted() == 2 && w.refreshesCompleted() == 1 && w.moreCompleted() == 1;
    }));
    EXPECT_TRUE(w.busyHints().isEmpty());

    const auto shown = ids(*home->dataOfCells());
    EXPECT_TRUE(allDifferent(shown));
    EXPECT_EQ(std::set<std::uint64_t>(shown.begin(), shown.begin() + 5), made);
    std::multiset<QString> bodies;
    for (const auto& call : settled())
        bodies.insert(call.body);
    for (const QString& body : bodies)
        EXPECT_EQ(bodies.count(body), 1u) << body.toStdString();
}

TEST_F(NotificationTest, APollOfManyAnnouncesAFewOfAKindARestartNothingOldAndAClickShowsTheItem)
{
    MyWindowController* w = &startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    settled();
    // 22 new items: 8 statuses that mention the demo account (new on the home timeline and as mentions), 8
    // comments and 6 messages. The newest status carries an emoji of the service's old code points.
    for (int i = 0; i < 7; ++i)
        post(unique("@演示账号 一起看"));
    post(unique("@演示账号 笑 \xee\x90\x95"));
    for (int i = 0; i < 8; ++i)
        commentOnDemo(unique("评论"));
    for (int i = 0; i < 6; ++i)
        messageDemo(unique("私信"));
    ASSERT_NO_FATAL_FAILURE(poll());
    auto calls = settled();
    // Three of each kind one by one and a summary; the statuses are not announced again as mentions.
    ASSERT_EQ(calls.size(), 12);
    const CellArray home = *w->weiboListViewController()->dataOfCells();
    const CellArray comments = *w->comments2meListViewController()->dataOfCells();
    EXPECT_EQ(calls[0].summary, home[0]->entityName());
    EXPECT_TRUE(calls[0].body.contains(QStringLiteral("笑 \U0001F604"))) << calls[0].body.toStdString();
    expectAnnounced(calls[1], home[1]);
    expectAnnounced(calls[2], home[2]);
    EXPECT_EQ(calls[3].summary, QStringLiteral("新微博"));
    EXPECT_EQ(calls[3].body, QStringLiteral("还有 5 条新微博"));
    for (int i = 0; i < 3; ++i)
        expectAnnounced(calls[4 + i], comments[i]);
    EXPECT_EQ(calls[7].body, QStringLiteral("还有 5 条新评论"));
    expectAnnounced(calls[8], w->messageListViewController()->receivedMessageCells()->front());
    EXPECT_EQ(calls[11].body, QStringLiteral("还有 3 条新私信"));
    for (const auto& call : calls)
        EXPECT_TRUE(call.actions.contains(QStringLiteral("default")));

    // A click on the second comment's notification: the comments tab, that comment in view and selected.
    listener_->answerAll();
    ASSERT_TRUE(waitUntil([&] { return platform::Notifications::shared().isClickable(calls[8].id); }));
    w->leftTabClicked(testsupport::part<LeftTab>(w, "favorites"));
    listener_->click(calls[5].id);
    PXListViewController* commentList = w->comments2meListViewController();
    EXPECT_TRUE(waitUntil([&] {
        return w->selectedListViewController() == commentList && commentList->listView()->isRowSelected(1);
    }));
    // A message's: its conversation.
    listener_->click(calls[8].id);
    PXListViewController* messages = w->messageListViewController();
    EXPECT_TRUE(waitUntil([&] {
        return w->selectedListViewController() == messages && messages->listView()->selectedRow() >= 0;
    }));

    // A restart: the service still counts the mentions as unread, yet nothing is announced again.
    window_.reset();
    w = &startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    EXPECT_GT(w->atmeListViewController()->unreadCount(), 0u);
    EXPECT_TRUE(settled().isEmpty());
    // What comes next is announced as usual.
    commentOnDemo(unique("重启后的评论"));
    ASSERT_NO_FATAL_FAILURE(poll());
    calls = settled();
    ASSERT_EQ(calls.size(), 1);
    expectAnnounced(calls[0], w->comments2meListViewController()->dataOfCells()->front());
}

TEST_F(RefreshE2ETest, PollThatPutsStatusesOnTopKeepsTheRowsInViewWhereTheyAre)
{
    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    PXListViewController* home = w.weiboListViewController();
    PXListView* list = home->listView();
    ASSERT_TRUE(waitUntil([&] { return list->numberOfRows() == int(home->dataOfCells()->size()); }));
    ASSERT_GT(list->numberOfRows(), 15);
    home->setUnreadCount(0);
    list->scrollToRow(10);
    ASSERT_TRUE(waitUntil([&] { return list->visibleRange().location == 10; }));
    const CellPtr reading = (*home->dataOfCells())[10];
    const int onScreen = list->rectOfRow(10).top() - list->contentOffset();

    for (int i = 0; i < 3; ++i)
        post(unique("在上面出现的微博"));
    ASSERT_NO_FATAL_FAILURE(poll());
    ASSERT_TRUE(waitUntil([&] {
        return list->numberOfRows() == int(home->dataOfCells()->size()) &&
               home->scrollMode() == PXListViewController::kScrollIdle;
    }));
    const int row = home->rowForCell(reading.get());
    ASSERT_EQ(row, 13);
    EXPECT_EQ(list->rectOfRow(row).top() - list->contentOffset(), onScreen);
    // The new rows are above the view: they stay unread, and the badge counts them.
    EXPECT_EQ(home->unreadCount(), 3u);
    EXPECT_EQ(testsupport::part<LeftTab>(&w, "timelineHome")->unreadCount(), 3u);
}

TEST_F(RefreshE2ETest, OnesOwnNewStatusComesIntoViewAndIsNeverCountedUnread)
{
    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    w.cellContext().setSelfUserId(service_->demoUserId());
    PXListViewController* home = w.weiboListViewController();
    PXListView* list = home->listView();
    ASSERT_TRUE(waitUntil([&] { return list->numberOfRows() == int(home->dataOfCells()->size()); }));
    home->setUnreadCount(0);
    list->scrollToRow(10);
    ASSERT_TRUE(waitUntil([&] { return list->visibleRange().location == 10; }));

    // Posted from the new-status window while reading further down: on top, in view, no badge.
    ComposeEnvironment::setClientProvider([&w] { return w.weiboInstance(); });
    PostWindowController* editor = w.composeWindows()->postWindowController();
    QSignalSpy posted(editor, &PostWindowController::postFinished);
    w.postWeibo();
    editor->editor()->setPlainString(QString::fromStdString(unique("我自己发的")));
    editor->postStatus();
    ASSERT_TRUE(waitUntil([&] { return posted.count() == 1; }));
    ASSERT_TRUE(posted.front().front().toBool());
    EXPECT_TRUE(home->dataOfCells()->front()->isWrittenBySelf());
    EXPECT_EQ(list->visibleRange().location, 0);
    EXPECT_EQ(home->unreadCount(), 0u);
    EXPECT_EQ(testsupport::part<LeftTab>(&w, "timelineHome")->unreadCount(), 0u);

    // A post that reached the service though its answer was lost (the user then posted again), and someone
    // else's: the poll brings both and the confirmation of the first, and only the other person's counts.
    ASSERT_FALSE(service_->demoClient()->statusUpdate(unique("回答丢了的那条")).value.empty());
    ASSERT_NE(post(unique("别人的新微博")), 0u);
    list->scrollToRow(10);
    ASSERT_NO_FATAL_FAILURE(poll());
    EXPECT_TRUE(home->fakeCells().empty());
    EXPECT_EQ(home->unreadCount(), 1u);
    EXPECT_EQ(testsupport::part<LeftTab>(&w, "timelineHome")->unreadCount(), 1u);
    ComposeEnvironment::setClientProvider(nullptr);
}

TEST_F(RefreshE2ETest, OlderItemsAppendWithoutRepeatsAndOnFavouritesFetchNothingButStillReload)
{
    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    PXListViewController* home = w.weiboListViewController();
    const auto before = ids(*home->dataOfCells());
    ASSERT_FALSE(before.empty());

    std::size_t from = proxy_->size();
    w.moreWeibo();
    EXPECT_EQ(w.busyHints().value(0), kOlder);
    ASSERT_TRUE(waitUntil([&] { return w.moreCompleted() == 1; }));
    auto asked = proxy_->requestsTo("/statuses/friends_timeline", from);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(param(asked[0], "max_id"), std::to_string(before.back()));
    const auto after = ids(*home->dataOfCells());
    EXPECT_GT(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
    EXPECT_TRUE(allDifferent(after));

    // Favourites page by page elsewhere: here nothing is fetched, the list is reloaded all the same.
    from = proxy_->size();
    w.leftTabClicked(testsupport::part<LeftTab>(&w, "favorites"));
    PXListViewController* favorites = w.favoriteListViewController();
    ASSERT_EQ(w.selectedListViewController(), favorites);
    ASSERT_TRUE(waitUntil([&] { return proxy_->count("/favorites", from) == 1 && w.busyHints().isEmpty(); }));
    bool reloaded = false;
    favorites->setCallbackTarget(&w);
    favorites->setCallbackSelector([&](const QVariant&) { reloaded = true; });
    from = proxy_->size();
    w.moreWeibo();
    EXPECT_EQ(w.busyHints().value(0), kOlder);
    ASSERT_TRUE(waitUntil([&] { return w.moreCompleted() == 2 && reloaded; }));
    EXPECT_EQ(proxy_->count("/favorites", from), 0);
    EXPECT_TRUE(w.busyHints().isEmpty());
}

TEST_F(RefreshE2ETest, PollingGoesOnWhileTheServiceIsAwayOrHangsAndRecoversByItself)
{
    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    w.timer()->setInterval(150);
    w.timer()->start();

    // Gone: every tick polls, fails at once, and the busy line is left clean.
    proxy_->stop();
    auto polls = w.pollsCompleted();
    ASSERT_TRUE(waitUntil([&] { return w.pollsCompleted() >= polls + 3; }));
    const std::uint64_t status = post(unique("服务回来以后"));
    ASSERT_TRUE(proxy_->start());
    ASSERT_TRUE(waitUntil([&] { return w.weiboListViewController()->latestEntityId() == status; }));

    // Hanging: the poll under way waits, the ticks meanwhile are skipped, nothing else is asked.
    const auto skipped = w.pollsSkipped();
    // (Made first: while the program's one transfer waits, no other transfer of the process can start.)
    const std::uint64_t later = post(unique("等待之后"));
    proxy_->hold();
    ASSERT_TRUE(waitUntil([&] { return proxy_->waiting() == 1 && w.pollsSkipped() >= skipped + 3; }));
    EXPECT_EQ(proxy_->waiting(), 1);
    EXPECT_TRUE(w.isPolling());
    EXPECT_EQ(w.busyHints(), QStringList{kChecking});
    proxy_->release();
    ASSERT_TRUE(waitUntil([&] { return w.weiboListViewController()->latestEntityId() == later; }));
    w.timer()->stop();
    ASSERT_TRUE(waitUntil([&] { return !w.isPolling(); }));
    const auto shown = ids(*w.weiboListViewController()->dataOfCells());
    EXPECT_TRUE(allDifferent(shown));
}

TEST_F(RefreshE2ETest, RefreshOfAnEmptyUserTabAsksForIdZeroForTheAccountAndByNameForSomeoneElse)
{
    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    PXListViewController* user = w.userListViewController();
    proxy_->failPath("/statuses/user_timeline");
    testsupport::part<PopUpButton>(&w, "subHome")->selectItemAtIndex(1);
    w.topTabClicked(testsupport::part<PopUpButton>(&w, "subHome"));
    ASSERT_EQ(w.selectedListViewController(), user);
    ASSERT_TRUE(waitUntil([&] { return proxy_->count("/statuses/user_timeline") == 1 && w.busyHints().isEmpty(); }));
    ASSERT_TRUE(user->dataOfCells()->empty());

    std::size_t from = proxy_->size();
    ASSERT_NO_FATAL_FAILURE(refresh());
    auto asked = proxy_->requestsTo("/statuses/user_timeline", from);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(param(asked[0], "user_id"), "0");

    // Someone else's statuses that cannot be had: the tab keeps its user and what it showed, and says why.
    platform::ScriptedAlertResponder responder;
    w.replaceStatusUserTabViewItemWithUser(QStringLiteral("李四"));
    ASSERT_TRUE(waitUntil([&] { return w.busyHints().isEmpty() && responder.alerts().size() == 1; }));
    EXPECT_EQ(responder.alerts().front().messageText, QStringLiteral("加载用户微博失败！"));
    EXPECT_EQ(responder.alerts().front().informativeText, QStringLiteral("服务器出错 (500)"));
    TabView* inner = qobject_cast<TabView*>(testsupport::part<TabView>(&w, "tabView")->tabViewItemAtIndex(0)->view());
    EXPECT_EQ(inner->tabViewItemAtIndex(1)->label(), QStringLiteral("我的微博"));
    EXPECT_TRUE(user->dataOfCells()->empty());

    // Once it can: the tab is that user's, and a refresh asks for that user, not for the account's own.
    proxy_->clearFailures();
    w.replaceStatusUserTabViewItemWithUser(QStringLiteral("李四"));
    ASSERT_TRUE(waitUntil([&] { return w.busyHints().isEmpty() && !user->dataOfCells()->empty(); }));
    EXPECT_EQ(inner->tabViewItemAtIndex(1)->label(), QStringLiteral("李四"));
    from = proxy_->size();
    ASSERT_NO_FATAL_FAILURE(refresh());
    asked = proxy_->requestsTo("/statuses/user_timeline", from);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(param(asked[0], "user_id"), "0");
    ASSERT_FALSE(user->dataOfCells()->empty());
    for (const CellPtr& cell : *user->dataOfCells())
        EXPECT_EQ(cell->entityName(), QStringLiteral("李四"));
    EXPECT_EQ(responder.alerts().size(), 1u);
}

} // namespace

namespace {

// The development service's own controls (a token revoked, its clock set off the machine's).
bool devControl(int port, const std::string& path, const std::string& form)
{
    httplib::Client client("127.0.0.1", port);
    const auto answer = client.Post(path, form, "application/x-www-form-urlencoded");
    return answer && answer->status == 200;
}

} // namespace

TEST_F(RefreshE2ETest, FailedReadsSayWhyInTheBusyLineKeepTheBadgesAndClearOnRecovery)
{
    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    commentOnDemo(unique("评论一条"));
    ASSERT_NO_FATAL_FAILURE(poll());
    EXPECT_TRUE(w.failureText().isEmpty());
    EXPECT_TRUE(testsupport::part<QWidget>(&w, "hintView")->isHidden());
    const std::uint64_t unread = testsupport::part<LeftTab>(&w, "timelineComment")->unreadCount();
    ASSERT_GE(unread, 1u);

    // A 500 with an HTML page on a list, then a service that is gone: each says so, and no count changes.
    proxy_->failPath("/statuses/comments_to_me", "<html><body>502 Bad Gateway</body></html>");
    ASSERT_NO_FATAL_FAILURE(poll());
    EXPECT_EQ(w.failureText(), QStringLiteral("更新失败：服务器出错 (500)"));
    EXPECT_EQ(testsupport::part<LeftTab>(&w, "timelineComment")->unreadCount(), unread);
    proxy_->clearFailures();
    proxy_->stop();
    ASSERT_NO_FATAL_FAILURE(poll());
    EXPECT_EQ(w.failureText(), QStringLiteral("更新失败：无法连接到服务器"));
    EXPECT_EQ(testsupport::part<LeftTab>(&w, "timelineComment")->unreadCount(), unread);
    EXPECT_FALSE(testsupport::part<QWidget>(&w, "hintView")->isHidden());
    EXPECT_EQ(testsupport::part<QLabel>(&w, "busyHint")->text(), w.failureText());

    // A busy text goes in front of the failure while it lasts; the next success takes the failure away.
    ASSERT_TRUE(proxy_->start());
    ASSERT_NO_FATAL_FAILURE(refresh());
    EXPECT_TRUE(w.failureText().isEmpty());
    EXPECT_TRUE(testsupport::part<QWidget>(&w, "hintView")->isHidden());
}

TEST_F(RefreshE2ETest, RefreshOfAListThatStillWaitsStartsNoSecondLoad)
{
    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    proxy_->hold();
    const auto before = w.refreshesCompleted();
    for (int i = 0; i < 5; ++i) {
        w.refreshWeibo();
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(waitUntil([&] { return proxy_->waiting() == 1; }));
    EXPECT_EQ(w.busyHints().count(QStringLiteral("正在获取新微博...")), 1);
    proxy_->release();
    ASSERT_TRUE(waitUntil([&] { return w.refreshesCompleted() == before + 1; }));
    // Once it has ended, the next click loads again.
    ASSERT_NO_FATAL_FAILURE(refresh());
}

TEST_F(RefreshE2ETest, RevokedTokenAsksForAuthorisationOnceAndTheWindowGoesOnWithTheNewToken)
{
    // A token of its own, so that revoking it leaves the other tests' tokens alone.
    auto own = service_->personClient("demo@plumet.local");
    ASSERT_TRUE(own);
    auto client = makeClient(proxy_->base(), QString::fromStdString(own->oAuth().oAuthTokenKey()),
                             QString::fromStdString(own->oAuth().oAuthTokenSecret()));
    ASSERT_TRUE(devControl(service_->port(), "/dev/revoke_token", "token=" + own->oAuth().oAuthTokenKey()));

    // Revoked before the start: the start-up ends (empty), and the window asks for a new authorisation.
    service_->configureSettings();
    window_ = std::make_unique<MyWindowController>(QStringLiteral("MainWindow"), client);
    MyWindowController& w = *window_;
    QSignalSpy refused(&w, &MyWindowController::authorizationRefused);
    w.show();
    w.windowDidLoad();
    ASSERT_TRUE(waitUntil([&] { return refused.count() == 1 && !w.isStarting(); }))
        << refused.count() << " " << w.initCount() << " " << w.failureText().toStdString();
    EXPECT_EQ(w.failureText(), QStringLiteral("请重新授权"));
    EXPECT_TRUE(w.weiboListViewController()->dataOfCells()->empty());
    ASSERT_TRUE(waitUntil([&] { return w.pollsCompleted() >= 1 && w.timer()->isActive(); }));
    w.timer()->stop();
    ASSERT_TRUE(waitUntil([&] { return !w.isPolling(); }));
    // Polls meanwhile do not ask again.
    ASSERT_NO_FATAL_FAILURE(poll());
    EXPECT_EQ(refused.count(), 1);

    // Signed in again: the same window goes on, and the home timeline of the new token comes.
    ASSERT_TRUE(client->acquireOAuthAccessToken("demo@plumet.local", "plumet"));
    ASSERT_TRUE(waitUntil([&] { return !w.isPolling(); }));
    const auto polls = w.pollsCompleted();
    w.authorizationRenewed();
    ASSERT_TRUE(waitUntil([&] { return w.pollsCompleted() > polls; }));
    EXPECT_TRUE(w.failureText().isEmpty());
    EXPECT_FALSE(w.weiboListViewController()->dataOfCells()->empty());

    // Revoked while running: the next poll asks once more.
    ASSERT_TRUE(devControl(service_->port(), "/dev/revoke_token", "token=" + client->oAuth().oAuthTokenKey()));
    ASSERT_NO_FATAL_FAILURE(poll());
    EXPECT_EQ(refused.count(), 2);
}

TEST_F(RefreshE2ETest, ClockFifteenMinutesOffCostsOneRetryAndLaterRequestsNone)
{
    for (const int offset : {900, -900}) {
        SCOPED_TRACE(offset);
        ASSERT_TRUE(devControl(service_->port(), "/dev/clock", "offset=" + std::to_string(offset)));
        MyWindowController& w = startWindow();
        const std::size_t from = proxy_->size();
        ASSERT_NO_FATAL_FAILURE(finishStartup());
        // The first request was refused and repeated once; every later one went through at the first try.
        EXPECT_EQ(proxy_->count("/statuses/friends_timeline", from), 2);
        EXPECT_FALSE(w.weiboListViewController()->dataOfCells()->empty());
        const std::size_t later = proxy_->size();
        ASSERT_NO_FATAL_FAILURE(poll());
        EXPECT_EQ(proxy_->count("/statuses/unread", later), 1);
        EXPECT_TRUE(w.failureText().isEmpty());
        window_.reset();
    }
    ASSERT_TRUE(devControl(service_->port(), "/dev/clock", "offset=0"));
}

TEST_F(RefreshE2ETest, ShutdownWithAHungServiceEndsWithinASecondAndKeepsThePosition)
{
    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    const std::uint64_t latest = w.weiboListViewController()->latestEntityId();
    ASSERT_NE(latest, 0u);
    proxy_->hold();
    w.scheduledTask(w.timer());
    w.refreshWeibo();
    ASSERT_TRUE(waitUntil([&] { return proxy_->waiting() == 1; }));

    QElapsedTimer quitting;
    quitting.start();
    w.cleanup();
    weibo::cancelAllTransfers();
    EXPECT_TRUE(w.shutdown(1000));
    EXPECT_LT(quitting.elapsed(), 1000);
    weibo::allowTransfers();
    EXPECT_EQ(platform::UserDefaults::standard().objectForKey(MyWindowController::kLatestStatusId).toULongLong(),
              latest);
    // Torn down: hidden, and nothing brings it back or reacts to it.
    EXPECT_TRUE(w.isHidden());
    w.showWindow();
    EXPECT_TRUE(w.isHidden());
    w.leftTabClicked(testsupport::part<LeftTab>(&w, "timelineComment"));
    EXPECT_EQ(testsupport::part<TabView>(&w, "tabView")->indexOfSelectedTabViewItem(), 0);
}

TEST_F(RefreshE2ETest, PollThatStopsAtItsPageLimitShowsASeamThatLoadsTheRestOnce)
{
    MyWindowController& w = startWindow();
    ASSERT_NO_FATAL_FAILURE(finishStartup());
    PXListViewController* home = w.weiboListViewController();
    const auto before = ids(*home->dataOfCells());
    ASSERT_FALSE(before.empty());
    std::vector<std::uint64_t> made;
    for (int i = 0; i < 130; ++i)
        made.push_back(post(unique("一百三十条之一")));
    ASSERT_NE(made.back(), 0u);

    // The poll brings the newest 100, then the seam, then what was shown.
    ASSERT_NO_FATAL_FAILURE(poll());
    CellArray cells = *home->dataOfCells();
    ASSERT_EQ(cells.size(), 100 + 1 + before.size());
    auto* seam = dynamic_cast<SeamCell*>(cells[100].get());
    ASSERT_NE(seam, nullptr);
    EXPECT_EQ(cells[0]->entityId(), made.back());
    EXPECT_EQ(cells[99]->entityId(), made[30]);
    EXPECT_EQ(cells[101]->entityId(), before.front());
    EXPECT_EQ(home->latestEntityId(), made.back());

    // Clicking it loads the 30 in between; the seam goes, nothing is shown twice.
    const std::size_t from = proxy_->size();
    home->listView()->selectRow(100);
    ASSERT_TRUE(waitUntil([&] { return home->seamLoadsCompleted() == 1; }));
    EXPECT_EQ(proxy_->count("/statuses/friends_timeline", from), 1);
    cells = *home->dataOfCells();
    const auto shown = ids(cells);
    ASSERT_EQ(shown.size(), 130 + before.size());
    EXPECT_TRUE(allDifferent(shown));
    for (std::size_t i = 0; i < 130; ++i)
        EXPECT_EQ(shown[i], made[129 - i]) << i;
    EXPECT_TRUE(std::equal(before.begin(), before.end(), shown.begin() + 130));
    for (const CellPtr& cell : cells)
        EXPECT_EQ(dynamic_cast<SeamCell*>(cell.get()), nullptr);
}
