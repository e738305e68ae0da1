// The main window without a service: the tab model, tab clicks during and after start-up, the badges under the
// settings, and the busy line.
#include "MainWindowTestSupport.h"
#include "WindowParts.h"

#include "cells/AttributedString.h"
#include "cells/TimelineCellStatus.h"
#include "mainwindow/LeftTab.h"
#include "platform/UnreadBadge.h"
#include "timeline/PXListViewController.h"
#include "timeline/TimelineRowView.h"
#include "timeline/WBTextView.h"
#include "widgets/PXListView.h"
#include "widgets/PopUpButton.h"
#include "widgets/ProgressIndicator.h"
#include "widgets/TabView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QLabel>
#include <QMenu>
#include <QTextDocument>

#include <boost/make_shared.hpp>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

class MainWindowGuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        useFreshSettingsAndData();
        // Nothing listens here: a fetch that a tab starts fails at once.
        const QString dead = QStringLiteral("http://127.0.0.1:%1").arg(closedLoopbackPort());
        configureAddresses(dead);
        window_ = std::make_unique<MyWindowController>(QStringLiteral("MainWindow"), makeClient(dead));
    }
    void TearDown() override { window_.reset(); }

    // Ends the start-up by hand (no downloads, no service): the one step of the background block reports.
    void finishStartup()
    {
        ASSERT_EQ(window_->initCount(), 1);
        window_->initComplete();
        ASSERT_TRUE(waitUntil([&] { return window_->busyHints().isEmpty() && !window_->isStarting(); }));
    }

    std::unique_ptr<MyWindowController> window_;
};

TEST_F(MainWindowGuiTest, TabModelHasItsIdentifiersLabelsOrderAndControllers)
{
    MyWindowController& w = *window_;
    const QStringList firstIds{"status", "comment", "mention", "message", "favorites"};
    const QStringList firstLabels{"状态", "评论", "提及", "私信", "收藏"};
    const QList<QStringList> secondIds{
        {"/statuses/friends_timeline", "/statuses/user_timeline", "/lists"},
        {"/statuses/comments_to_me", "/statuses/comments_by_me"},
        {"/statuses/mentions"},
        {"/direct_messages"},
        {"/favorites"}};
    const QList<QStringList> secondLabels{
        {"我的好友", "我的微博", "分组"}, {"收到的评论", "发出的评论"}, {"提及我的"}, {"私信"}, {"收藏"}};
    ASSERT_EQ(testsupport::part<TabView>(&w, "tabView")->numberOfTabViewItems(), 5);
    for (int i = 0; i < 5; ++i) {
        TabViewItem* first = testsupport::part<TabView>(&w, "tabView")->tabViewItemAtIndex(i);
        EXPECT_EQ(first->identifier(), firstIds[i]);
        EXPECT_EQ(first->label(), firstLabels[i]);
        auto* inner = qobject_cast<TabView*>(first->view());
        ASSERT_NE(inner, nullptr);
        ASSERT_EQ(inner->numberOfTabViewItems(), secondIds[i].size());
        for (int j = 0; j < secondIds[i].size(); ++j) {
            EXPECT_EQ(inner->tabViewItemAtIndex(j)->identifier(), secondIds[i][j]);
            EXPECT_EQ(inner->tabViewItemAtIndex(j)->label(), secondLabels[i][j]);
            PXListViewController* c = w.listViewControllerAtFirstLayerIndex(i, j);
            ASSERT_NE(c, nullptr);
            EXPECT_EQ(c->identifier(), secondIds[i][j]);
            // One controller per item, kept.
            EXPECT_EQ(w.listViewControllerForTabViewItem(inner->tabViewItemAtIndex(j)), c);
            EXPECT_EQ(inner->tabViewItemAtIndex(j)->view(), c->listView());
        }
    }
    EXPECT_EQ(w.weiboListViewController(), w.listViewControllerAtFirstLayerIndex(0, 0));
    EXPECT_EQ(w.listsListViewController()->identifier(), "/lists");
    EXPECT_EQ(w.comments2meListViewController()->identifier(), "/statuses/comments_to_me");
    EXPECT_EQ(w.atmeListViewController()->identifier(), "/statuses/mentions");
    EXPECT_EQ(w.messageListViewController()->identifier(), "/direct_messages");
    EXPECT_EQ(w.favoriteListViewController()->identifier(), "/favorites");
    EXPECT_EQ(w.chatListViewController()->identifier(), "/direct_messages/chat");
    EXPECT_EQ(w.selectedListViewController(), w.weiboListViewController());
    EXPECT_EQ(w.listViewControllerForTabViewItem(nullptr), nullptr);

    // Left tabs in their order with their tags; top tabs with their menu titles and one entry per item.
    ASSERT_EQ(w.leftTabs().size(), 5);
    const QList<LeftTab*> expectedTabs{testsupport::part<LeftTab>(&w, "timelineHome"), testsupport::part<LeftTab>(&w, "timelineComment"), testsupport::part<LeftTab>(&w, "timelineMention"),
                                       testsupport::part<LeftTab>(&w, "directMessage"), testsupport::part<LeftTab>(&w, "favorites")};
    EXPECT_EQ(w.leftTabs(), expectedTabs);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(w.leftTabs()[i]->tag(), i);
    const QList<PopUpButton*> topTabs{testsupport::part<PopUpButton>(&w, "subHome"),
                                      testsupport::part<PopUpButton>(&w, "subComment"),
                                      testsupport::part<PopUpButton>(&w, "subMention")};
    const QStringList titles{"status", "comment", "mention"};
    for (int i = 0; i < 3; ++i) {
        PopUpButton* p = topTabs[i];
        EXPECT_EQ(p->menuTitle(), titles[i]);
        ASSERT_EQ(p->count(), secondLabels[i].size());
        for (int j = 0; j < p->count(); ++j)
            EXPECT_EQ(p->itemText(j), secondLabels[i][j]);
    }
    EXPECT_TRUE(testsupport::part<PopUpButton>(&w, "subComment")->isHidden());
    EXPECT_TRUE(testsupport::part<PopUpButton>(&w, "subMention")->isHidden());
    ASSERT_GE(testsupport::part<PopUpButton>(&w, "listsButton")->count(), 1);
    EXPECT_EQ(testsupport::part<PopUpButton>(&w, "listsButton")->itemText(0), QStringLiteral("所有"));
    EXPECT_EQ(testsupport::part<PopUpButton>(&w, "listsButton")->representedObjectAt(0).toULongLong(), 0u);

    // The window has a title, and typing starts in the home timeline.
    EXPECT_FALSE(w.windowTitle().isEmpty());
    EXPECT_EQ(w.focusProxy(), w.weiboListViewController()->listView());
}

TEST_F(MainWindowGuiTest, TabClicksAreIgnoredDuringStartupAndWorkAfterIt)
{
    MyWindowController& w = *window_;
    ASSERT_TRUE(w.isStarting());
    QTest::mouseClick(testsupport::part<LeftTab>(&w, "timelineComment"), Qt::LeftButton);
    w.leftTabClicked(testsupport::part<LeftTab>(&w, "favorites"));
    EXPECT_EQ(testsupport::part<TabView>(&w, "tabView")->indexOfSelectedTabViewItem(), 0);
    EXPECT_TRUE(testsupport::part<LeftTab>(&w, "timelineHome")->isChecked());
    EXPECT_FALSE(testsupport::part<LeftTab>(&w, "timelineComment")->isChecked());
    // A top-tab choice does nothing either, and the pop-up goes back to the shown entry.
    testsupport::part<PopUpButton>(&w, "subHome")->selectItemAtIndex(1);
    w.topTabClicked(testsupport::part<PopUpButton>(&w, "subHome"));
    EXPECT_EQ(qobject_cast<TabView*>(testsupport::part<TabView>(&w, "tabView")->selectedTabViewItem()->view())->indexOfSelectedTabViewItem(), 0);
    EXPECT_EQ(testsupport::part<PopUpButton>(&w, "subHome")->indexOfSelectedItem(), 0);
    // Nor do the refresh and the avatar.
    w.profileButtonClicked(QString());
    EXPECT_TRUE(w.busyHints().isEmpty());
    // And they look it: disabled until the start-up ends.
    EXPECT_FALSE(testsupport::part<QPushButton>(&w, "refreshButton")->isEnabled());
    EXPECT_FALSE(testsupport::part<LeftTab>(&w, "timelineComment")->isEnabled());

    finishStartup();
    EXPECT_TRUE(testsupport::part<QPushButton>(&w, "refreshButton")->isEnabled());
    EXPECT_TRUE(testsupport::part<QPushButton>(&w, "postButton")->isEnabled());
    QTest::mouseClick(testsupport::part<LeftTab>(&w, "timelineComment"), Qt::LeftButton);
    EXPECT_EQ(testsupport::part<TabView>(&w, "tabView")->indexOfSelectedTabViewItem(), 1);
    EXPECT_TRUE(testsupport::part<LeftTab>(&w, "timelineComment")->isChecked());
    EXPECT_FALSE(testsupport::part<LeftTab>(&w, "timelineHome")->isChecked());
    EXPECT_FALSE(testsupport::part<PopUpButton>(&w, "subComment")->isHidden());
    EXPECT_TRUE(testsupport::part<PopUpButton>(&w, "subHome")->isHidden());
    EXPECT_TRUE(testsupport::part<PopUpButton>(&w, "listsButton")->isHidden());
    EXPECT_EQ(w.selectedListViewController(), w.comments2meListViewController());
    // The empty list's first fetch fails (nothing listens) and leaves its busy text popped.
    EXPECT_TRUE(waitUntil([&] { return w.busyHints().isEmpty(); }));

    testsupport::part<PopUpButton>(&w, "subComment")->selectItemAtIndex(1);
    w.topTabClicked(testsupport::part<PopUpButton>(&w, "subComment"));
    EXPECT_EQ(w.selectedListViewController(), w.commentsByMeListViewController());
    // Clicking the left tab again goes back to its first item and its top tab's first entry.
    w.leftTabClicked(testsupport::part<LeftTab>(&w, "timelineComment"));
    EXPECT_EQ(w.selectedListViewController(), w.comments2meListViewController());
    EXPECT_EQ(testsupport::part<PopUpButton>(&w, "subComment")->indexOfSelectedItem(), 0);

    // Clicking a tab with unread items clears them; on the conversations tab only the scroll happens.
    w.atmeListViewController()->setUnreadCount(4);
    w.leftTabClicked(testsupport::part<LeftTab>(&w, "timelineMention"));
    EXPECT_EQ(w.atmeListViewController()->unreadCount(), 0u);
    EXPECT_TRUE(waitUntil([&] { return w.busyHints().isEmpty(); }));
    w.leftTabClicked(testsupport::part<LeftTab>(&w, "directMessage"));
    EXPECT_TRUE(waitUntil([&] { return w.busyHints().isEmpty(); }));
    EXPECT_FALSE(testsupport::part<QPushButton>(&w, "newMessageButton")->isHidden());  // the conversations' "新私信"
    w.messageListViewController()->setUnreadCount(2);
    w.leftTabClicked(testsupport::part<LeftTab>(&w, "directMessage"));
    EXPECT_EQ(w.messageListViewController()->unreadCount(), 2u);

    // "所有" in the lists chooser goes back to the home timeline.
    w.leftTabClicked(testsupport::part<LeftTab>(&w, "favorites"));
    EXPECT_TRUE(waitUntil([&] { return w.busyHints().isEmpty(); }));
    EXPECT_TRUE(testsupport::part<QPushButton>(&w, "newMessageButton")->isHidden());
    w.weiboListClicked(0);
    EXPECT_EQ(w.selectedListViewController(), w.weiboListViewController());
    EXPECT_TRUE(testsupport::part<LeftTab>(&w, "timelineHome")->isChecked());
    EXPECT_FALSE(testsupport::part<PopUpButton>(&w, "listsButton")->isHidden());
    EXPECT_TRUE(waitUntil([&] { return w.busyHints().isEmpty(); }));
}

TEST_F(MainWindowGuiTest, BadgesSumTheListsTheSettingsChoose)
{
    MyWindowController& w = *window_;
    finishStartup();
    auto& defaults = platform::UserDefaults::standard();
    auto& badge = platform::UnreadBadge::shared();
    w.weiboListViewController()->setUnreadCount(3);
    w.comments2meListViewController()->setUnreadCount(4);
    w.atmeListViewController()->setUnreadCount(2);
    w.messageListViewController()->setUnreadCount(1);
    w.favoriteListViewController()->setUnreadCount(7);

    defaults.setBool(false, QStringLiteral("NewStatus"));
    defaults.setBool(false, QStringLiteral("NewComment"));
    defaults.setBool(true, QStringLiteral("NewAtme"));
    defaults.setBool(false, QStringLiteral("NewMessage"));
    w.updateLeftTabs();
    EXPECT_EQ(badge.unreadCount(), 2u);
    EXPECT_EQ(badge.badgeLabel(), QStringLiteral("2"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("(2) Plumet"));
    // Each tab shows its own list's count whatever the settings say.
    const std::vector<std::uint64_t> tabCounts{3, 4, 2, 1, 7};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(w.leftTabs()[i]->unreadCount(), tabCounts[std::size_t(i)]) << i;

    // Every switch on: favourites still never count.
    for (const char* key : {"NewStatus", "NewComment", "NewAtme", "NewMessage"})
        defaults.setBool(true, QString::fromLatin1(key));
    w.updateLeftTabs();
    EXPECT_EQ(badge.unreadCount(), 10u);
    EXPECT_EQ(badge.badgeLabel(), QStringLiteral("10"));
    EXPECT_EQ(badge.launcherProperties().value(QStringLiteral("count")).toLongLong(), 10);

    for (PXListViewController* c : w.listViewControllers())
        c->setUnreadCount(0);
    w.updateLeftTabs();
    EXPECT_EQ(badge.unreadCount(), 0u);
    EXPECT_TRUE(badge.badgeLabel().isEmpty());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Plumet"));
}

TEST_F(MainWindowGuiTest, EachOperationTakesAwayItsOwnBusyTextAndNoOther)
{
    MyWindowController& w = *window_;
    w.resize(500, 600);
    w.show();
    EXPECT_TRUE(testsupport::part<QWidget>(&w, "hintView")->isHidden());
    EXPECT_FALSE(w.displayBusy(QString()).active()); // nothing to show
    EXPECT_TRUE(w.busyHints().isEmpty());

    BusyText loading = w.displayBusy(QStringLiteral("正在载入微博..."));
    BusyText refreshing = w.displayBusy(QStringLiteral("正在获取新微博..."));
    EXPECT_EQ(testsupport::part<QLabel>(&w, "busyHint")->text(), QStringLiteral("正在获取新微博..."));
    EXPECT_TRUE(testsupport::part<ProgressIndicator>(&w, "progressIndicator")->isAnimating());
    EXPECT_TRUE(testsupport::part<QWidget>(&w, "hintView")->isVisible());
    // The line sits at the bottom of the window, right of the left tabs, as wide as the lists.
    const QRect line = testsupport::part<QWidget>(&w, "hintView")->geometry();
    EXPECT_EQ(line.x(), MyWindowController::kLeftColumnWidth);
    EXPECT_EQ(line.height(), MyWindowController::kBusyLineHeight);
    EXPECT_EQ(line.bottom(), w.centralWidget()->height() - 1);
    EXPECT_EQ(line.width(), testsupport::part<TabView>(&w, "tabView")->width());

    // The first operation ends while the second still runs: the second's text stays.
    loading.done();
    loading.done();
    EXPECT_EQ(w.busyHints(), QStringList{QStringLiteral("正在获取新微博...")});

    // From another thread (which waits for the main thread to put its text up), and by the last copy going away.
    std::atomic<bool> ended{false};
    std::thread worker([&w, &ended] {
        BusyText polling = w.displayBusy(QStringLiteral("正在检查是否有新微博..."));
        BusyText copy = polling;
        ended = true;
    });
    EXPECT_TRUE(waitUntil([&] { return ended.load(); }));
    worker.join();
    refreshing = BusyText();
    EXPECT_TRUE(waitUntil([&] { return w.busyHints().isEmpty(); }));
    EXPECT_TRUE(testsupport::part<QLabel>(&w, "busyHint")->text().isEmpty());
    EXPECT_FALSE(testsupport::part<ProgressIndicator>(&w, "progressIndicator")->isAnimating());
    EXPECT_TRUE(testsupport::part<QWidget>(&w, "hintView")->isHidden());

    // A failure stays on the line beside the next operation's text, until a success takes it away.
    weibo::TransferOutcome slow;
    slow.failure = weibo::TransferFailure::TimedOut;
    w.showTransferOutcome(slow);
    BusyText next = w.displayBusy(QStringLiteral("正在检查是否有新微博..."));
    EXPECT_TRUE(testsupport::part<QLabel>(&w, "busyHint")->text().contains(QStringLiteral("更新失败：服务器响应超时")));
    next.done();
    EXPECT_EQ(testsupport::part<QLabel>(&w, "busyHint")->text(), QStringLiteral("更新失败：服务器响应超时"));
    w.showTransferOutcome(weibo::TransferOutcome());
    EXPECT_TRUE(testsupport::part<QWidget>(&w, "hintView")->isHidden());
}

} // namespace

TEST_F(MainWindowGuiTest, AnItemsTextAndALinksAddressCanBeCopied)
{
    MyWindowController& w = *window_;
    finishStartup();
    auto original = boost::make_shared<weibo::WBStatus>();
    original->id = 40;
    original->text = "原文";
    original->user = boost::make_shared<weibo::WBUser>();
    original->user->screen_name = "李四";
    auto status = boost::make_shared<weibo::WBStatus>();
    status->id = 41;
    status->text = "看 http://127.0.0.1:1/a-b [哈哈] \xee\x90\x95"; // an emotion code and an old emoji
    status->user = boost::make_shared<weibo::WBUser>();
    status->user->screen_name = "张三";
    status->retweeted_status = original;
    PXListViewController* home = w.weiboListViewController();
    home->addFakeCell(std::make_shared<TimelineCellStatus>(status));
    w.resize(540, 700);
    w.show();
    home->reloadData();
    TimelineRowView* row = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        row = qobject_cast<TimelineRowView*>(home->listView()->cellForRowAtIndex(0));
        return row && row->textView()->document();
    }));
    WBTextView* text = row->textView();
    int linkAt = -1;
    for (int i = 0; i < text->document()->characterCount() && linkAt < 0; ++i)
        if (linkAtDocumentPosition(*text->document(), i).kind == LinkValue::Url)
            linkAt = i;
    ASSERT_GE(linkAt, 0);
    const QString expected = QStringLiteral("看 http://127.0.0.1:1/a-b [哈哈] \U0001F604\n@李四: 原文");
    QClipboard* clipboard = QGuiApplication::clipboard();

    // Over the text: "复制" only; over the link: its address too.
    const int plainAt = int(text->document()->toPlainText().indexOf(u'看'));
    ASSERT_GE(plainAt, 0);
    // (Over the author's name the user card comes instead.)
    EXPECT_EQ(w.textViewMenuForEvent(text, nullptr, 0), nullptr);
    QMenu* menu = w.textViewMenuForEvent(text, nullptr, plainAt);
    ASSERT_NE(menu, nullptr);
    QStringList shown;
    for (QAction* a : menu->actions())
        if (a->isVisible())
            shown << a->text();
    EXPECT_EQ(shown, QStringList{QStringLiteral("复制")});
    menu->actions().front()->trigger();
    EXPECT_EQ(clipboard->text(), expected);
    menu = w.textViewMenuForEvent(text, nullptr, linkAt);
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(menu->actions().at(1)->isVisible());
    EXPECT_EQ(menu->actions().at(1)->text(), QStringLiteral("复制链接"));
    menu->actions().at(1)->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("http://127.0.0.1:1/a-b"));

    // Ctrl+C: the selected item of the list in view.
    clipboard->clear();
    home->listView()->selectRow(0);
    QApplication::setActiveWindow(&w);
    home->listView()->setFocus();
    QTest::keyClick(home->listView(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), expected);
}
