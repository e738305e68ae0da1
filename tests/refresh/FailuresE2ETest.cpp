// Life off the happy path, in the real window behind the counting proxy: every action the user starts says why it
// failed in plain Chinese under its own headline, keeps what was typed and leaves no busy text behind; a silent
// service is reported in time; rare and hostile answers are read as what they are.
#include "RefreshTestSupport.h"
#include "WindowParts.h"

#include "../support/DevServiceTest.h"
#include "../support/ScriptedAlertResponder.h"
#include "cells/AttachmentTypes.h"
#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "compose/CommentViewController.h"
#include "compose/ComposeEditor.h"
#include "compose/ComposeEnvironment.h"
#include "compose/ComposeWindows.h"
#include "compose/MessageViewController.h"
#include "compose/PostWindowController.h"
#include "compose/RepostViewController.h"
#include "mainwindow/Drawer.h"
#include "mainwindow/ItemActions.h"
#include "mainwindow/LeftTab.h"
#include "mainwindow/UserCard.h"
#include "model/Replies.h"
#include "timeline/PXListViewController.h"
#include "timeline/WBTextView.h"

#include <httplib.h>
#include <json/json.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <algorithm>

using namespace refreshtest;

namespace {

class FailuresE2ETest : public testsupport::DevServiceTest {
protected:
    void SetUp() override
    {
        DevServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        useFreshSettingsAndData();
        proxy_ = std::make_unique<CountingProxy>(service_->port());
        ASSERT_TRUE(proxy_->start());
        client_ = makeClient(proxy_->base(), service_->value(QStringLiteral("DemoAccessToken")),
                             service_->value(QStringLiteral("DemoAccessTokenSecret")));
        alerts_ = std::make_unique<platform::ScriptedAlertResponder>();
        ComposeEnvironment::setClientProvider([this] { return client_; });
        window_ = std::make_unique<MyWindowController>(QStringLiteral("MainWindow"), client_);
        window_->resize(540, 760);
        window_->show();
        // The start-up is ended by hand: the lists the tests use are fetched directly, the account is known.
        window_->cellContext().setSelfUserId(service_->demoUserId());
        home()->fetchDataWithOptions(weibo::SinaWeiboOptions(), PXListViewController::kModeInitial, false);
        window_->initComplete();
        // The start-up's first poll and the lists' chooser run once the list is shown; the tests start after them.
        ASSERT_TRUE(waitUntil([&] { return window_->pollsCompleted() == 1; }));
        window_->timer()->stop();
        ASSERT_TRUE(waitUntil([&] { return window_->busyHints().isEmpty() && window_->backgroundIdle(); }));
        ASSERT_FALSE(home()->dataOfCells()->empty());
    }
    void TearDown() override
    {
        if (proxy_)
            proxy_->release();
        window_.reset();
        alerts_.reset();
        proxy_.reset();
        ComposeEnvironment::setClientProvider(nullptr);
    }

    PXListViewController* home() { return window_->weiboListViewController(); }
    Drawer* drawer() { return window_->drawer(); }
    void click(const CellPtr& cell, int type)
    {
        WBTextView view;
        view.setCellData(cell);
        window_->textViewClickedOnCell(&view, MyTextAttachmentCell(type, QImage()), QRectF(), 0);
    }
    StatusCellPtr statusWhere(PXListViewController* c, const std::function<bool(const weibo::WBStatus&)>& pred)
    {
        for (const CellPtr& cell : *c->dataOfCells())
            if (auto s = std::dynamic_pointer_cast<TimelineCellStatus>(cell); s && s->status() && pred(*s->status()))
                return s;
        return nullptr;
    }
    // Waits for the next alert; answers its headline and its reason.
    std::pair<QString, QString> nextAlert()
    {
        const std::size_t before = seen_;
        if (!waitUntil([&] { return alerts_->alerts().size() > before; }, 30000))
            return {};
        const platform::AlertRequest alert = alerts_->alerts()[seen_++];
        return {alert.messageText, alert.informativeText};
    }
    bool busyLineEmpty()
    {
        return waitUntil([&] { return window_->busyHints().isEmpty() && window_->backgroundIdle(); });
    }

    std::unique_ptr<CountingProxy> proxy_;
    boost::shared_ptr<weibo::SinaWeibo> client_;
    std::unique_ptr<platform::ScriptedAlertResponder> alerts_;
    std::unique_ptr<MyWindowController> window_;
    std::size_t seen_ = 0;
};

using Alert = std::pair<QString, QString>;
const QString kUnreachable = QStringLiteral("无法连接到服务器");

TEST_F(FailuresE2ETest, EveryWriteOnAServiceThatIsGoneSaysWhyKeepsTheTextAndLeavesNoBusyText)
{
    const StatusCellPtr status = statusWhere(home(), [](const weibo::WBStatus& s) { return !s.retweeted_status; });
    ASSERT_TRUE(status);
    PXListViewController* received = window_->comments2meListViewController();
    received->fetchDataWithOptions(weibo::SinaWeiboOptions(), PXListViewController::kModeInitial, false);
    ASSERT_FALSE(received->dataOfCells()->empty());
    const CellPtr comment = received->dataOfCells()->front();
    PXListViewController* messages = window_->messageListViewController();
    std::atomic<bool> fetched{false};
    window_->runItemRequest([&] {
        messages->fetchMessagesWithMode(PXListViewController::kModeInitial);
        fetched = true;
    });
    ASSERT_TRUE(waitUntil([&] { return fetched.load(); }));
    messages->reloadData();
    auto group = std::dynamic_pointer_cast<TimelineCellMessageGroup>(messages->dataOfCells()->front());
    ASSERT_TRUE(group);
    // The drawer's editors are opened while the service is there; then it goes away.
    click(status, AttachmentStatusComments);
    ASSERT_TRUE(busyLineEmpty());
    proxy_->stop();

    // Comment.
    CommentViewController* commenting = drawer()->commentViewController();
    commenting->editor()->setPlainString(QStringLiteral("说得好"));
    commenting->comment();
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("发表评论失败！"), kUnreachable));
    EXPECT_EQ(commenting->editor()->plainString(), QStringLiteral("说得好"));
    EXPECT_TRUE(busyLineEmpty());

    // Repost.
    click(status, AttachmentStatusRepost);
    RepostViewController* reposting = drawer()->repostViewController();
    reposting->editor()->setPlainString(QStringLiteral("转一下"));
    reposting->repost();
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("转发微博失败！"), kUnreachable));
    EXPECT_EQ(reposting->editor()->plainString(), QStringLiteral("转一下"));
    EXPECT_TRUE(reposting->doit()->isEnabled());
    EXPECT_TRUE(busyLineEmpty());

    // Reply to a comment received.
    window_->leftTabClicked(testsupport::part<LeftTab>(window_, "timelineComment"));
    click(comment, AttachmentStatusComments);
    commenting->editor()->setPlainString(QStringLiteral("谢谢"));
    commenting->comment();
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("回复评论失败！"), kUnreachable));
    EXPECT_EQ(commenting->editor()->plainString(), QStringLiteral("谢谢"));
    EXPECT_TRUE(busyLineEmpty());

    // A message in a conversation.
    window_->leftTabClicked(testsupport::part<LeftTab>(window_, "directMessage"));
    window_->displayMessageFromDataCell(group, true, true, PXListViewController::kModeNewer);
    MessageViewController* box = drawer()->chatViewController();
    box->editor()->setPlainString(QStringLiteral("在吗"));
    box->sendDirectMessage();
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("发送私信失败！"), kUnreachable));
    EXPECT_EQ(box->editor()->plainString(), QStringLiteral("在吗"));
    EXPECT_TRUE(busyLineEmpty());
    window_->closeDrawer();

    // A new status.
    PostWindowController* post = window_->composeWindows()->postWindowController();
    post->editor()->setPlainString(QStringLiteral("新微博"));
    post->postStatus();
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("发布新微博失败！"), kUnreachable));
    EXPECT_EQ(post->editor()->plainString(), QStringLiteral("新微博"));
    EXPECT_TRUE(busyLineEmpty());
    post->close();

    // Favourite and delete.
    window_->leftTabClicked(testsupport::part<LeftTab>(window_, "timelineHome"));
    click(status, AttachmentFavorite);
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("添加收藏失败！"), kUnreachable));
    alerts_->queueAlertAnswer(platform::AlertResponder::kSecondButton);
    click(status, AttachmentRemoveStatus);
    ++seen_;  // the confirmation
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("删除微博失败！"), kUnreachable));
    EXPECT_TRUE(std::any_of(home()->dataOfCells()->begin(), home()->dataOfCells()->end(),
                            [&](const CellPtr& c) { return c == status; }));

    // The user card: a lookup that cannot be made says so instead of never showing.
    window_->userCard()->requestCard(QStringLiteral("吴昊"), nullptr, QPoint(10, 10));
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("获取用户资料失败！"), kUnreachable));
    EXPECT_TRUE(busyLineEmpty());
    // No English of the transport anywhere on screen.
    for (const auto& alert : alerts_->alerts())
        EXPECT_FALSE(alert.informativeText.contains(QStringLiteral("Couldn't"))) << alert.informativeText.toStdString();
}

TEST_F(FailuresE2ETest, FollowShowsItsResultAndTheCardNeverOffersItToOneself)
{
    UserCard* card = window_->userCard();
    QSignalSpy shown(card, &UserCard::cardShown);
    QSignalSpy followed(card, &UserCard::followFinished);
    // Someone the demo account does not follow yet.
    card->requestCard(QStringLiteral("吴昊"), nullptr, QPoint(10, 10));
    ASSERT_TRUE(waitUntil([&] { return shown.count() == 1; }));
    ASSERT_EQ(card->userContextFollow()->text(), QStringLiteral("加关注"));
    const int followersBefore = card->contextUser()->followers_count;

    card->follow();
    ASSERT_TRUE(waitUntil([&] { return followed.count() == 1; }));
    // The card comes back with the new relation and the service's new count.
    EXPECT_EQ(card->userContextFollow()->text(), QStringLiteral("取消关注"));
    EXPECT_FALSE(card->userContextFriendship()->text().isEmpty());
    EXPECT_EQ(card->contextUser()->followers_count, followersBefore + 1);

    // The service's refusal is said, with its own words and code.
    proxy_->rewritePath("/friendships/destroy", [](const std::string&, httplib::Response& res) {
        res.status = 403;
        res.set_content(R"({"error":"not followed","error_code":"20522"})", "application/json");
    });
    card->follow();
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("取消关注失败！ 错误代码: 20522"), QStringLiteral("not followed")));
    proxy_->clearFailures();

    // One's own card offers neither following nor a message.
    card->requestCard(service_->value(QStringLiteral("DemoScreenName")), nullptr, QPoint(10, 10));
    ASSERT_TRUE(waitUntil([&] { return shown.count() == 2; }));
    EXPECT_FALSE(card->userContextFollow()->isVisibleTo(card->userContextView()));
    EXPECT_FALSE(card->userContextMessage()->isVisibleTo(card->userContextView()));
}

TEST_F(FailuresE2ETest, ASilentServiceIsReportedWithinTheDeadlineAndTheRefreshFailureStaysOnTheLine)
{
    // The limits shortened (20 s for an action, 8 s before a read gives way) so that the test takes seconds.
    client_->setActionLimits(3000, 1000);
    client_->setTransferTimeouts(4, 600);
    proxy_->hold();
    window_->refreshWeibo();  // a read that the frozen service never answers
    ASSERT_TRUE(waitUntil([&] { return proxy_->waiting() == 1; }));
    PostWindowController* post = window_->composeWindows()->postWindowController();
    post->editor()->setPlainString(QStringLiteral("没人回答"));
    QElapsedTimer clock;
    clock.start();
    post->postStatus();
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("发布新微博失败！"), QStringLiteral("服务器响应超时")));
    EXPECT_LT(clock.elapsed(), 6000);
    EXPECT_EQ(post->editor()->plainString(), QStringLiteral("没人回答"));
    // The refresh gave way and says so; its failure stays once every busy text is gone.
    EXPECT_TRUE(busyLineEmpty());
    EXPECT_EQ(window_->failureText(), QStringLiteral("更新失败：服务器响应超时"));
    EXPECT_EQ(testsupport::part<QLabel>(window_, "busyHint")->text(), QStringLiteral("更新失败：服务器响应超时"));
    proxy_->release();
    post->close();
}

TEST_F(FailuresE2ETest, RareAnswersAreToldApart)
{
    const StatusCellPtr status = statusWhere(home(), [](const weibo::WBStatus& s) { return !s.favorited; });
    ASSERT_TRUE(status);
    auto answer = [this](const std::string& path, int code, const std::string& body) {
        proxy_->rewritePath(path, [code, body](const std::string&, httplib::Response& res) {
            res.status = code;
            res.set_content(body, "application/json");
        });
    };
    // The service's error object with a success status.
    answer("/favorites/create", 200, R"({"error":"repeated favourite","error_code":"20704"})");
    click(status, AttachmentFavorite);
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("添加收藏失败！ 错误代码: 20704"), QStringLiteral("repeated favourite")));
    // A server error, and an answer nobody can read.
    answer("/favorites/create", 502, "<html>Bad Gateway</html>");
    click(status, AttachmentFavorite);
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("添加收藏失败！"), QStringLiteral("服务器出错 (502)")));
    answer("/favorites/create", 200, "<html>portal</html>");
    click(status, AttachmentFavorite);
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("添加收藏失败！"), QStringLiteral("服务器返回的数据无法读取")));
    // An answer cut short: the service was reached, the connection broke.
    proxy_->rewritePath("/favorites/create", [](const std::string& body, httplib::Response& res) {
        const std::string half = body.substr(0, body.size() / 2);
        res.set_content_provider(body.size(), "application/json", [half](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset == 0)
                sink.write(half.data(), half.size());
            return false;
        });
    });
    click(status, AttachmentFavorite);
    EXPECT_EQ(nextAlert(), Alert(QStringLiteral("添加收藏失败！"), QStringLiteral("与服务器的连接中断")));
    EXPECT_TRUE(busyLineEmpty());
}

TEST_F(FailuresE2ETest, HostilePagesKeepTheirReadableItemsAndNoMoreThanWasAsked)
{
    const std::uint64_t newest = home()->latestEntityId();
    ASSERT_NE(newest, 0u);
    // A page whose items include unreadable ones, and far more of them than asked for.
    proxy_->rewritePath("/statuses/friends_timeline", [newest](const std::string&, httplib::Response& res) {
        Json::Value page(Json::arrayValue);
        for (std::uint64_t i = 0; i < 3000; ++i) {
            Json::Value item;
            item["id"] = Json::UInt64(newest + 3000 - i);
            item["text"] = "洪水 " + std::to_string(i);
            item["user"]["id"] = 1;
            item["user"]["screen_name"] = "洪水";
            page.append(item);
        }
        page[1]["id"] = "not a number";
        page[2]["id"] = -5;
        page[3]["user"]["followers_count"] = 1e308;
        Json::Value old;  // an older item on top would move the poll's bound back
        old["id"] = Json::UInt64(newest - 1);
        old["text"] = "旧的";
        old["user"]["id"] = 1;
        page.insert(0, old);
        res.set_content(Json::FastWriter().write(page), "application/json");
    });
    const std::size_t before = home()->dataOfCells()->size();
    window_->refreshWeibo();
    ASSERT_TRUE(waitUntil([&] { return window_->refreshesCompleted() == 1; }));
    // A newer-items load asks for pages of 100: it keeps the newest of them, without the bad or the older ones.
    const auto cells = home()->dataOfCells();
    EXPECT_LE(cells->size(), before + 100);
    EXPECT_GT(cells->size(), before + 90);
    EXPECT_EQ(cells->front()->entityId(), newest + 3000);
    EXPECT_FALSE(std::any_of(cells->begin(), cells->end(), [&](const CellPtr& c) { return c->entityId() == newest - 1; }));
    EXPECT_GE(home()->latestEntityId(), newest);
    EXPECT_TRUE(window_->failureText().isEmpty());
}

TEST_F(FailuresE2ETest, FavouritesReloadOnRefreshAndAFailedCommentPageLoadsWhenTheDrawerShowsItAgain)
{
    // A favourite made elsewhere shows after 刷新 on 收藏.
    PXListViewController* favorites = window_->favoriteListViewController();
    window_->leftTabClicked(testsupport::part<LeftTab>(window_, "favorites"));
    ASSERT_TRUE(busyLineEmpty());
    const StatusCellPtr status = statusWhere(home(), [](const weibo::WBStatus& s) { return !s.favorited; });
    ASSERT_TRUE(status);
    ASSERT_TRUE(weibo::doneOf(service_->demoClient()->favoritesCreate(status->entityId())).value);
    window_->refreshWeibo();
    ASSERT_TRUE(waitUntil([&] {
        return !favorites->dataOfCells()->empty() && favorites->dataOfCells()->front()->entityId() == status->entityId();
    }));

    // The comments of a status cannot be loaded: the drawer says so, and loads them when shown again.
    window_->leftTabClicked(testsupport::part<LeftTab>(window_, "timelineHome"));
    // A status with a first page of comments that is not empty.
    weibo::Reply<weibo::Records<weibo::WBComment>> all;
    weibo::SinaWeiboOptions page;
    page.count_ = PXListViewController::kCommentPageCount;
    const StatusCellPtr commented = statusWhere(home(), [&](const weibo::WBStatus& s) {
        all = weibo::recordsOf<weibo::WBComment>(service_->demoClient()->timelineComments(s.id, page));
        return !s.retweeted_status && !all.value.empty();
    });
    ASSERT_TRUE(commented);
    proxy_->failPath("/statuses/comments");
    click(commented, AttachmentStatusComments);
    ASSERT_TRUE(busyLineEmpty());
    EXPECT_EQ(window_->failureText(), QStringLiteral("更新失败：服务器出错 (500)"));
    PXListViewController* comments = window_->commentListViewController();
    EXPECT_TRUE(comments->dataOfCells()->empty());
    proxy_->clearFailures();
    window_->displayCommentsFromDataCell(commented, commented->entityId(), false, false);
    ASSERT_TRUE(waitUntil([&] { return comments->dataOfCells()->size() == all.value.size(); }));
    EXPECT_TRUE(window_->failureText().isEmpty());
}

} // namespace
