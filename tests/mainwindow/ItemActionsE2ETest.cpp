// Acting on items in the real window against the development service: the drawer and its placement, the
// comment, repost and reply editors, favourite and delete over every list, conversations and the user card.
#include "MainWindowTestSupport.h"
#include "WindowParts.h"

#include "../support/ScriptedAlertResponder.h"
#include "cells/AttachmentTypes.h"
#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "compose/CommentViewController.h"
#include "compose/ComposeEditor.h"
#include "compose/MessageViewController.h"
#include "compose/RepostViewController.h"
#include "mainwindow/Drawer.h"
#include "mainwindow/ItemActions.h"
#include "mainwindow/LeftTab.h"
#include "mainwindow/UserCard.h"
#include "model/WeiboParser.h"
#include "timeline/AvatarButton.h"
#include "timeline/PXListViewController.h"
#include "timeline/TimelineRowView.h"
#include "timeline/WBTextView.h"
#include "widgets/PXListView.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <thread>

namespace {

class ItemActionsE2ETest : public testsupport::DevServiceTest {
protected:
    void SetUp() override
    {
        DevServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        useFreshSettingsAndData();
        configureAddresses(service_->base());
        alerts_ = std::make_unique<platform::ScriptedAlertResponder>();
        window_ = std::make_unique<MyWindowController>(QStringLiteral("MainWindow"), service_->demoClient());
        window_->resize(540, 760);
        window_->show();
        // The start-up is ended by hand: the lists the tests use are fetched directly, and the account is set.
        window_->cellContext().setSelfUserId(service_->demoUserId());
        home()->fetchDataWithOptions(weibo::SinaWeiboOptions(), PXListViewController::kModeInitial, false);
        window_->initComplete();
        window_->timer()->stop();
        ASSERT_FALSE(home()->dataOfCells()->empty());
    }
    void TearDown() override
    {
        window_.reset();
        alerts_.reset();
    }

    PXListViewController* home() { return window_->weiboListViewController(); }
    Drawer* drawer() { return window_->drawer(); }
    qint64 tag() { return drawer()->panel()->contentView() ? drawer()->panel()->contentView()->tag() : 0; }

    // A click on a control of an item's text.
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
    static bool holds(PXListViewController* c, std::uint64_t id)
    {
        const auto cells = c->dataOfCells();
        return std::any_of(cells->begin(), cells->end(), [id](const CellPtr& x) { return x->entityId() == id; });
    }
    void deadService() { window_->weiboInstance()->setBaseUrls(dead_.toStdString(), (dead_ + "/2").toStdString()); }
    void liveService()
    {
        window_->weiboInstance()->setBaseUrls(service_->base().toStdString(),
                                               (service_->base() + QStringLiteral("/2")).toStdString());
    }
    // Runs a background-only operation of a list off the main thread and waits for it.
    void inBackground(const std::function<void()>& fn)
    {
        std::atomic<bool> done{false};
        window_->runItemRequest([&] {
            fn();
            done = true;
        });
        ASSERT_TRUE(waitUntil([&] { return done.load(); }));
    }
    QStringList headlines() const
    {
        QStringList out;
        for (const auto& a : alerts_->alerts())
            out << a.messageText;
        return out;
    }

    std::unique_ptr<platform::ScriptedAlertResponder> alerts_;
    std::unique_ptr<MyWindowController> window_;
    const QString dead_ = QStringLiteral("http://127.0.0.1:%1").arg(closedLoopbackPort());
};

TEST(DrawerPlacement, CentresOnTheRowButStaysInsideTheVisibleArea)
{
    // Window content 700 high, list visible area 600 (the other 100 are chrome), drawer 200 high.
    const DrawerOffsets middle = drawerOffsetsForRow(200, 280, 40, 0, 600, 700);
    EXPECT_DOUBLE_EQ(middle.leading, 300 - 100 + 70);
    EXPECT_DOUBLE_EQ(middle.leading + middle.trailing, 700 - 200);
    // A row near the top: the centre goes down to half the drawer's height, not above it.
    const DrawerOffsets top = drawerOffsetsForRow(200, 10, 40, 0, 600, 700);
    EXPECT_DOUBLE_EQ(top.leading, 70);
    // A row at the bottom of a scrolled list: the drawer ends with the visible area.
    const DrawerOffsets bottom = drawerOffsetsForRow(200, 1580, 40, 1000, 600, 700);
    EXPECT_DOUBLE_EQ(bottom.trailing, 30);
    EXPECT_DOUBLE_EQ(bottom.leading + bottom.trailing, 500);
}

TEST_F(ItemActionsE2ETest, CommentAndRepostControlsToggleMoveAndReplaceTheDrawer)
{
    const CellArray cells = *home()->dataOfCells();
    ASSERT_GE(cells.size(), 2u);
    const CellPtr a = cells[0], b = cells[1];
    click(a, AttachmentStatusComments);
    EXPECT_TRUE(window_->isDrawerOpenOrOpening());
    EXPECT_EQ(tag(), DrawerContentView::kComments);
    EXPECT_EQ(window_->activeDataCell(), a);
    ASSERT_TRUE(waitUntil([&] { return window_->busyHints().isEmpty(); }));
    // However many comments, the drawer is no taller than the list's visible area plus 2.
    const double visible = home()->listView()->visibleRect().height();
    EXPECT_LE(drawer()->panel()->contentView()->drawerHeight(), visible + 2);
    EXPECT_GE(drawer()->panel()->contentView()->drawerHeight(),
              window_->drawer()->commentViewController()->height());

    // Another item: the drawer moves to it and shows its comments.
    click(b, AttachmentStatusComments);
    EXPECT_TRUE(window_->isDrawerOpenOrOpening());
    EXPECT_EQ(window_->activeDataCell(), b);
    ASSERT_TRUE(waitUntil([&] { return window_->busyHints().isEmpty(); }));
    for (const CellPtr& c : *window_->commentListViewController()->dataOfCells())
        EXPECT_EQ(std::dynamic_pointer_cast<TimelineCellComment>(c)->comment()->status->id, b->entityId());

    // The repost control of the same item replaces the comments in one click; clicking it again closes.
    click(b, AttachmentStatusRepost);
    EXPECT_TRUE(window_->isDrawerOpenOrOpening());
    EXPECT_EQ(tag(), DrawerContentView::kRepost);
    click(b, AttachmentStatusRepost);
    EXPECT_FALSE(window_->isDrawerOpenOrOpening());
    EXPECT_EQ(window_->activeDataCell(), nullptr);
    EXPECT_EQ(window_->activeEntityId(), 0u);

    // Escape closes it as well.
    click(a, AttachmentStatusComments);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &escape);
    EXPECT_FALSE(window_->isDrawerOpenOrOpening());
    ASSERT_TRUE(waitUntil([&] { return window_->busyHints().isEmpty(); }));
}

TEST_F(ItemActionsE2ETest, RepostOfARepostPrefillsAndSendsTheCommentFlags)
{
    const StatusCellPtr repost = statusWhere(home(), [](const weibo::WBStatus& s) { return bool(s.retweeted_status); });
    ASSERT_TRUE(repost);
    click(repost, AttachmentStatusRepost);
    RepostViewController* editor = drawer()->repostViewController();
    const QString author = QString::fromStdString(repost->status()->user->screen_name);
    EXPECT_TRUE(editor->editor()->plainString().startsWith(QStringLiteral("//@%1:").arg(author)));
    EXPECT_EQ(editor->editTextView()->textCursor().position(), 0);
    EXPECT_FALSE(editor->toOriginalAuthor()->isHidden());
    EXPECT_EQ(editor->toCurrentAuthor()->text(), QStringLiteral("评论给 %1").arg(author));
    EXPECT_EQ(RepostViewController::isCommentValue(true, true), 3);
    EXPECT_EQ(RepostViewController::isCommentValue(false, true), 2);
    EXPECT_EQ(RepostViewController::isCommentValue(false, false), 0);

    // The original's repost control: empty text, only the current author's box, titled with the original's author.
    click(repost, AttachmentRetweetRepost);
    ASSERT_EQ(window_->activeEntityId(), repost->status()->retweeted_status->id);
    EXPECT_TRUE(editor->editor()->plainString().isEmpty());
    EXPECT_TRUE(editor->toOriginalAuthor()->isHidden());
    EXPECT_EQ(editor->toCurrentAuthor()->text(),
              QStringLiteral("评论给 %1")
                  .arg(QString::fromStdString(repost->status()->retweeted_status->user->screen_name)));

    // Sending puts the new status on top of the home timeline and closes the drawer.
    editor->editor()->setPlainString(QStringLiteral("转一下"));
    QSignalSpy done(editor, &RepostViewController::repostFinished);
    editor->repost();
    ASSERT_TRUE(waitUntil([&] { return done.count() == 1; }));
    EXPECT_TRUE(done.at(0).at(0).toBool());
    EXPECT_FALSE(window_->isDrawerOpenOrOpening());
    auto top = std::dynamic_pointer_cast<TimelineCellStatus>(home()->dataOfCells()->front());
    ASSERT_TRUE(top);
    EXPECT_EQ(QString::fromStdString(top->status()->text), QStringLiteral("转一下"));
}

TEST_F(ItemActionsE2ETest, ACommentKeepsItsTextUntilTheServiceReturnsTheComment)
{
    const StatusCellPtr s = statusWhere(home(), [](const weibo::WBStatus& st) { return !st.retweeted_status; });
    ASSERT_TRUE(s);
    click(s, AttachmentStatusComments);
    ASSERT_TRUE(waitUntil([&] { return window_->busyHints().isEmpty(); }));
    CommentViewController* editor = drawer()->commentViewController();
    editor->editor()->setPlainString(QStringLiteral("说得好"));
    QSignalSpy done(editor, &CommentViewController::commentFinished);

    deadService();
    editor->comment();
    ASSERT_TRUE(waitUntil([&] { return done.count() == 1; }));
    EXPECT_FALSE(done.at(0).at(0).toBool());
    EXPECT_EQ(editor->editor()->plainString(), QStringLiteral("说得好"));
    EXPECT_TRUE(editor->doit()->isEnabled());
    ASSERT_FALSE(headlines().isEmpty());
    EXPECT_TRUE(headlines().back().startsWith(QStringLiteral("发表评论失败！")));

    liveService();
    const std::uint64_t before = s->commentCount();
    editor->comment();
    ASSERT_TRUE(waitUntil([&] { return done.count() == 2; }));
    EXPECT_TRUE(done.at(1).at(0).toBool());
    EXPECT_TRUE(editor->editor()->plainString().isEmpty());
    EXPECT_EQ(s->commentCount(), before + 1);
    auto first = std::dynamic_pointer_cast<TimelineCellComment>(
        window_->commentListViewController()->dataOfCells()->front());
    ASSERT_TRUE(first);
    EXPECT_EQ(QString::fromStdString(first->comment()->text), QStringLiteral("说得好"));
    EXPECT_TRUE(window_->isDrawerOpenOrOpening());

    // A reply prefix goes in only while the text names nobody.
    editor->preappendString(QStringLiteral("回复@甲:"));
    EXPECT_EQ(editor->editor()->plainString(), QStringLiteral("回复@甲:"));
    editor->preappendString(QStringLiteral("回复@乙:"));
    EXPECT_EQ(editor->editor()->plainString(), QStringLiteral("回复@甲:"));
}

TEST_F(ItemActionsE2ETest, FavouriteIsMarkedEverywhereOnlyWhenTheServiceDidIt)
{
    PXListViewController* favorites = window_->favoriteListViewController();
    favorites->fetchDataWithOptions(weibo::SinaWeiboOptions(), PXListViewController::kModeInitial, false);
    const StatusCellPtr s = statusWhere(home(), [](const weibo::WBStatus& st) { return !st.favorited; });
    ASSERT_TRUE(s);
    const std::uint64_t id = s->entityId();
    QSignalSpy done(window_->itemActions(), &ItemActions::actionFinished);

    // A dead service changes nothing and says so.
    deadService();
    click(s, AttachmentFavorite);
    EXPECT_TRUE(window_->itemActions()->isBusy(id));
    ASSERT_TRUE(waitUntil([&] { return done.count() == 1; }));
    EXPECT_FALSE(s->status()->favorited);
    EXPECT_FALSE(holds(favorites, id));
    ASSERT_FALSE(headlines().isEmpty());
    EXPECT_TRUE(headlines().back().startsWith(QStringLiteral("添加收藏失败！")));

    liveService();
    click(s, AttachmentFavorite);
    ASSERT_TRUE(waitUntil([&] { return done.count() == 2; }));
    EXPECT_TRUE(s->status()->favorited);
    ASSERT_FALSE(favorites->dataOfCells()->empty());
    EXPECT_EQ(favorites->dataOfCells()->front()->entityId(), id);

    click(s, AttachmentFavorite);
    ASSERT_TRUE(waitUntil([&] { return done.count() == 3; }));
    EXPECT_FALSE(s->status()->favorited);
    EXPECT_FALSE(holds(favorites, id));
}

TEST_F(ItemActionsE2ETest, DeleteAsksFirstAndRemovesTheStatusFromEveryList)
{
    auto demo = service_->demoClient();
    const auto posted = weibo::parseString<weibo::WBStatus>(demo->statusUpdate("要删掉的一条"));
    ASSERT_FALSE(posted.empty());
    const std::uint64_t id = posted.front()->id;
    demo->favoritesCreate(id);
    home()->fetchDataWithOptions(weibo::SinaWeiboOptions(), PXListViewController::kModeInitial, false);
    PXListViewController* favorites = window_->favoriteListViewController();
    favorites->fetchDataWithOptions(weibo::SinaWeiboOptions(), PXListViewController::kModeInitial, false);
    ASSERT_TRUE(holds(home(), id));
    ASSERT_TRUE(holds(favorites, id));
    const StatusCellPtr s = statusWhere(home(), [id](const weibo::WBStatus& st) { return st.id == id; });
    QSignalSpy done(window_->itemActions(), &ItemActions::actionFinished);

    alerts_->queueAlertAnswer(platform::AlertResponder::kFirstButton);
    click(s, AttachmentRemoveStatus);
    ASSERT_EQ(alerts_->alerts().size(), 1u);
    EXPECT_EQ(alerts_->alerts()[0].messageText, QStringLiteral("您确定要删除这条微博吗？"));
    EXPECT_EQ(alerts_->alerts()[0].informativeText, QStringLiteral("此操作不可恢复!"));
    EXPECT_EQ(alerts_->alerts()[0].buttons, (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));
    EXPECT_FALSE(window_->itemActions()->isBusy(id));
    const auto ids = service_->homeTimelineIds();
    EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end());

    click(s, AttachmentRemoveStatus);
    ASSERT_TRUE(waitUntil([&] { return done.count() == 1; }));
    EXPECT_TRUE(done.at(0).at(1).toBool());
    EXPECT_FALSE(holds(home(), id));
    EXPECT_FALSE(holds(favorites, id));
    const auto after = service_->homeTimelineIds();
    EXPECT_EQ(std::find(after.begin(), after.end(), id), after.end());
}

TEST_F(ItemActionsE2ETest, AConversationClearsItsUnreadMarkAndYourReplyRaisesNoBadge)
{
    PXListViewController* messages = window_->messageListViewController();
    // Conversations are opened from their own tab: the drawer closes when its item's list is not the one shown.
    window_->leftTabClicked(testsupport::part<LeftTab>(window_, "directMessage"));
    // The tab's own refresh sets the unread count when it ends: the counts below are read after it.
    ASSERT_TRUE(waitUntil([&] { return window_->backgroundIdle() && window_->busyHints().isEmpty(); }));
    // Someone writes: the newest message of that conversation is unread.
    weibo::SinaWeiboOptions to;
    to.user_id_ = service_->demoUserId();
    ASSERT_FALSE(weibo::parseString<weibo::WBMessage>(
                     service_->personClient("zhangsan@plumet.local")->directMessagesNew("", "在吗？", to))
                     .empty());
    inBackground([&] { messages->fetchMessagesWithMode(PXListViewController::kModeInitial); });
    messages->reloadData();
    MessageGroupCellPtr group;
    for (const CellPtr& c : *messages->dataOfCells())
        if (auto g = std::dynamic_pointer_cast<TimelineCellMessageGroup>(c);
            !group && g && !g->messages().empty() && g->messages().front()->unread())
            group = g;
    ASSERT_TRUE(group) << "the demo world has an unread conversation";
    const std::uint64_t unreadBefore = messages->unreadCount();
    const int u = group->unreadMessages();

    window_->displayMessageFromDataCell(group, true, true, PXListViewController::kModeNewer);
    EXPECT_TRUE(window_->isDrawerOpenOrOpening());
    EXPECT_EQ(tag(), DrawerContentView::kMessages);
    // The unread run at the top of the conversation is read now (an older one behind a read message stays).
    EXPECT_FALSE(group->messages().front()->unread());
    EXPECT_LT(group->unreadMessages(), u);
    EXPECT_EQ(messages->unreadCount(), unreadBefore >= std::uint64_t(u) ? unreadBefore - u : unreadBefore);
    EXPECT_EQ(window_->chatListViewController()->dataOfCells()->size(), group->messages().size());
    // The service's counter is reset too.
    ASSERT_TRUE(waitUntil([&] {
        const auto unread = weibo::parseUnread(service_->demoClient()->statusUnread());
        return unread && unread->dm == 0;
    }));

    MessageViewController* box = drawer()->chatViewController();
    QSignalSpy sent(box, &MessageViewController::sendFinished);
    box->editor()->setPlainString(QStringLiteral("收到，谢谢"));
    deadService();
    box->sendDirectMessage();
    ASSERT_TRUE(waitUntil([&] { return sent.count() == 1; }));
    EXPECT_FALSE(sent.at(0).at(0).toBool());
    EXPECT_EQ(box->editor()->plainString(), QStringLiteral("收到，谢谢"));
    EXPECT_TRUE(headlines().back().startsWith(QStringLiteral("发送私信失败！")));

    liveService();
    const std::uint64_t unread = messages->unreadCount();
    box->sendDirectMessage();
    ASSERT_TRUE(waitUntil([&] { return sent.count() == 2; }));
    EXPECT_TRUE(sent.at(1).at(0).toBool());
    EXPECT_EQ(messages->unreadCount(), unread);
    EXPECT_TRUE(box->editor()->plainString().isEmpty());
    auto newest = std::dynamic_pointer_cast<TimelineCellMessage>(messages->sentMessageCells()->front());
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->entityText(), QStringLiteral("收到，谢谢"));
    const auto chat = window_->chatListViewController()->dataOfCells();
    EXPECT_TRUE(std::any_of(chat->begin(), chat->end(),
                            [](const CellPtr& c) { return c->entityText() == QStringLiteral("收到，谢谢"); }));
}

TEST_F(ItemActionsE2ETest, TheUserCardShowsOnlyTheLatestRightClickAndForgetsTheLastRelation)
{
    UserCard* card = window_->userCard();
    QSignalSpy shown(card, &UserCard::cardShown);
    const StatusCellPtr s = statusWhere(home(), [&](const weibo::WBStatus& st) {
        return st.user && st.user->id != service_->demoUserId();
    });
    ASSERT_TRUE(s);
    const QString followed = QString::fromStdString(s->status()->user->screen_name);
    card->requestCard(followed, s->status()->user, QPoint(10, 10));
    ASSERT_TRUE(waitUntil([&] { return shown.count() == 1; }));
    EXPECT_FALSE(card->userContextFriendship()->text().isEmpty());
    EXPECT_EQ(card->userContextFollow()->text(), QStringLiteral("取消关注"));
    EXPECT_TRUE(card->userContextDescription()->document()->toPlainText().contains(QStringLiteral("简介: ")));

    // Quick right clicks: only the last user ends up on the card, and the first one's relation is gone at once.
    const StatusCellPtr other = statusWhere(home(), [&](const weibo::WBStatus& st) {
        return st.user && QString::fromStdString(st.user->screen_name) != followed;
    });
    ASSERT_TRUE(other);
    const QString last = QString::fromStdString(other->status()->user->screen_name);
    card->requestCard(followed, nullptr, QPoint(10, 10));
    EXPECT_TRUE(card->userContextFriendship()->text().isEmpty());
    EXPECT_EQ(card->userContextFollow()->text(), QStringLiteral("加关注"));
    card->requestCard(QStringLiteral("没有这个人"), nullptr, QPoint(20, 20));
    card->requestCard(last, nullptr, QPoint(30, 30));
    ASSERT_TRUE(waitUntil([&] { return shown.count() >= 2; }));
    EXPECT_EQ(shown.at(1).at(0).toString(), last) << "an earlier click's answer popped up the card";
    ASSERT_TRUE(card->contextUser());
    EXPECT_EQ(QString::fromStdString(card->contextUser()->screen_name), last);
    EXPECT_EQ(card->lastPopupPosition(), QPoint(30, 30));

    // A right click on a row's avatar pops up the card of the row's author.
    ASSERT_FALSE(home()->listView()->visibleCells().isEmpty());
    auto* row = dynamic_cast<TimelineRowView*>(home()->listView()->visibleCells().front());
    ASSERT_NE(row, nullptr);
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(40, 40));
    QCoreApplication::sendEvent(row->button(), &rightClick);
    ASSERT_TRUE(waitUntil([&] { return shown.count() >= 3; }));
    EXPECT_EQ(shown.at(2).at(0).toString(), row->button()->name());
    EXPECT_EQ(card->lastPopupPosition(), QPoint(40, 40));

    // No menu for plain text.
    WBTextView plain;
    plain.setAttributedString(AttributedString(QStringLiteral("只是文字")));
    EXPECT_EQ(window_->textViewMenuForEvent(&plain, nullptr, 1), nullptr);
}

} // namespace
