// The main window without a mouse, against the development service: keys on the focused list act on its current
// item, the menu bar carries the commands, Escape closes what is open and keeps what was typed; what a screen
// reader reads through the toolkit's accessibility interfaces; and the contrast of every text colour.
#include "MainWindowTestSupport.h"

#include "cells/Appearance.h"
#include "cells/TimelineCellStatus.h"
#include "cells/WBUtility.h"
#include "compose/CommentViewController.h"
#include "compose/ComposeEditor.h"
#include "compose/ComposeWindows.h"
#include "compose/HotkeyTextView.h"
#include "compose/PostWindowController.h"
#include "mainwindow/Drawer.h"
#include "mainwindow/ItemActions.h"
#include "mainwindow/LeftTab.h"
#include "mainwindow/MainMenu.h"
#include "model/Replies.h"
#include "timeline/AvatarButton.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"
#include "widgets/PopUpButton.h"
#include "widgets/TabView.h"
#include "WindowParts.h"

#include <QAccessible>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cmath>

namespace {

class KeyboardE2ETest : public testsupport::DevServiceTest {
protected:
    void SetUp() override
    {
        DevServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        useFreshSettingsAndData();
        configureAddresses(service_->base());
        window_ = std::make_unique<MyWindowController>(QStringLiteral("MainWindow"), service_->demoClient());
        window_->resize(540, 760);
        window_->show();
        window_->cellContext().setSelfUserId(service_->demoUserId());
        home()->fetchDataWithOptions(weibo::SinaWeiboOptions(), PXListViewController::kModeInitial, false);
        window_->initComplete();
        window_->timer()->stop();
        ASSERT_GE(home()->dataOfCells()->size(), 3u);
        // The rows reach the list once their pictures are in.
        home()->reloadData();
        ASSERT_TRUE(waitUntil([&] { return list()->numberOfRows() == int(home()->dataOfCells()->size()); }));
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        list()->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(waitUntil([&] { return list()->hasFocus(); }));
    }
    void TearDown() override { window_.reset(); }

    PXListViewController* home() { return window_->weiboListViewController(); }
    int selectedTab() { return testsupport::part<TabView>(window_, "tabView")->indexOfSelectedTabViewItem(); }
    PXListView* list() { return home()->listView(); }
    CellPtr row(int i) { return (*home()->dataOfCells())[std::size_t(i)]; }
    void key(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(target, key, modifiers);
    }
    // Whether the service holds the status among the demo account's favourites.
    bool favouritedOnService(std::uint64_t id)
    {
        weibo::SinaWeiboOptions options;
        options.count_ = 200;
        const auto records = weibo::recordsOf<weibo::WBStatus>(service_->demoClient()->favorites(options));
        return std::any_of(records.value.begin(), records.value.end(),
                           [id](const auto& s) { return s && s->id == id; });
    }

    std::unique_ptr<MyWindowController> window_;
};

TEST_F(KeyboardE2ETest, JJFFavouritesTheThirdStatusOnTheService)
{
    // A list given the focus starts on its first row; j moves down twice.
    EXPECT_EQ(list()->currentRow(), 0);
    key(list(), Qt::Key_J);
    key(list(), Qt::Key_J);
    ASSERT_EQ(list()->selectedRows(), QList<int>{2});
    const std::uint64_t id = row(2)->entityId();
    const bool before = favouritedOnService(id);

    QSignalSpy finished(window_->itemActions(), &ItemActions::actionFinished);
    key(list(), Qt::Key_F);
    ASSERT_TRUE(waitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(finished.at(0).at(0).toULongLong(), id);
    EXPECT_NE(favouritedOnService(id), before) << "f favourites the current status (or takes it back)";

    // k goes back up; the keys of a command with Ctrl held belong to the window, not the list.
    key(list(), Qt::Key_K);
    EXPECT_EQ(list()->selectedRows(), QList<int>{1});
    key(list(), Qt::Key_End);
    EXPECT_EQ(list()->currentRow(), list()->numberOfRows() - 1);
    key(list(), Qt::Key_Home);
    EXPECT_EQ(list()->currentRow(), 0);

    // A refresh that brings two newer statuses keeps the keys on the same status, two rows further down.
    key(list(), Qt::Key_J);
    const CellPtr current = row(1);
    for (const char* text : {"键盘之上的一条", "键盘之上的又一条"})
        ASSERT_FALSE(weibo::parseString<weibo::WBStatus>(service_->demoClient()->statusUpdate(text)).empty());
    const auto refreshed = window_->refreshesCompleted();
    window_->refreshWeibo();
    ASSERT_TRUE(waitUntil([&] { return window_->refreshesCompleted() == refreshed + 1; }));
    ASSERT_TRUE(waitUntil([&] { return list()->currentRow() == 3; }));
    EXPECT_EQ(row(3), current);
    key(list(), Qt::Key_J);
    EXPECT_EQ(list()->currentRow(), 4) << "the next key moves on from where the status went";
}

TEST_F(KeyboardE2ETest, ReturnOpensTheDrawerOnTheCurrentItemAndEscapeGoesBackToIt)
{
    key(list(), Qt::Key_J);
    const CellPtr item = row(1);
    key(list(), Qt::Key_Return);
    ASSERT_TRUE(window_->isDrawerOpenOrOpening());
    EXPECT_EQ(window_->activeDataCell(), item);
    EXPECT_EQ(window_->drawer()->panel()->contentView()->tag(), DrawerContentView::kComments);
    HotkeyTextView* editor = window_->drawer()->commentViewController()->textView();
    ASSERT_TRUE(waitUntil([&] { return editor->hasFocus(); }));
    // The editor says whom it answers.
    const auto* status = dynamic_cast<TimelineCellStatus*>(item.get());
    ASSERT_TRUE(status && status->status()->user);
    EXPECT_EQ(editor->accessibleName(),
              QStringLiteral("评论给 %1").arg(QString::fromStdString(status->status()->user->screen_name)));

    // Typing in the editor is text, never a command.
    QTest::keyClicks(editor, QStringLiteral("cfj"));
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("cfj"));
    EXPECT_EQ(window_->activeDataCell(), item);

    // Escape closes the drawer; the keyboard is back on the same row of the list.
    key(editor, Qt::Key_Escape);
    EXPECT_FALSE(window_->isDrawerOpenOrOpening());
    ASSERT_TRUE(waitUntil([&] { return list()->hasFocus(); }));
    EXPECT_EQ(list()->selectedRows(), QList<int>{1});

    // t opens the repost drawer on the current item; moving to another row closes it, the row stays current.
    key(list(), Qt::Key_T);
    ASSERT_TRUE(window_->isDrawerOpenOrOpening());
    EXPECT_EQ(window_->drawer()->panel()->contentView()->tag(), DrawerContentView::kRepost);
    list()->setFocus(Qt::OtherFocusReason);
    key(list(), Qt::Key_J);
    EXPECT_FALSE(window_->isDrawerOpenOrOpening());
    EXPECT_EQ(list()->selectedRows(), QList<int>{2});
}

TEST_F(KeyboardE2ETest, WindowKeysSwitchTabsAndEscapeInThePostWindowKeepsADraft)
{
    key(window_.get(), Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(selectedTab(), 2);
    EXPECT_TRUE(window_->atmeListViewController()->listView()->hasFocus());
    key(window_.get(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(selectedTab(), 3);
    key(window_.get(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(selectedTab(), 0);

    // Ctrl+N writes a status; Escape closes the window and what was typed is kept as a draft.
    key(window_.get(), Qt::Key_N, Qt::ControlModifier);
    PostWindowController* post = window_->composeWindows()->postWindowController();
    ASSERT_TRUE(waitUntil([&] { return post->isVisible() && post->editor()->textView()->hasFocus(); }));
    QTest::keyClicks(post->editor()->textView(), QStringLiteral("draft by keyboard"));
    key(post->editor()->textView(), Qt::Key_Escape);
    EXPECT_FALSE(post->isVisible());
    const QList<Draft> drafts = post->drafts().store().drafts();
    ASSERT_FALSE(drafts.isEmpty());
    EXPECT_EQ(drafts.front().text, QStringLiteral("draft by keyboard"));

    // The menu bar holds the commands with their keys, and the list of keys shows them all.
    QStringList menus;
    for (QAction* a : window_->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("微博(&W)"), QStringLiteral("查看(&V)"), QStringLiteral("帮助(&H)")}));
    const auto rows = window_->findChild<MainMenu*>()->shortcutRows();
    auto keysOf = [&](const QString& label) {
        for (const auto& r : rows)
            if (r.first == label)
                return r.second;
        return QString();
    };
    EXPECT_EQ(keysOf(QStringLiteral("查看图片")), QKeySequence(Qt::Key_P).toString(QKeySequence::NativeText) +
                                                 QStringLiteral(", ") +
                                                 QKeySequence(Qt::Key_Space).toString(QKeySequence::NativeText));
    EXPECT_EQ(keysOf(QStringLiteral("发微博")), QKeySequence(Qt::CTRL | Qt::Key_N).toString(QKeySequence::NativeText));
    EXPECT_EQ(keysOf(QStringLiteral("收藏")), QStringLiteral("F"));
}

TEST_F(KeyboardE2ETest, ScreenReadersSeeRowsAsItemsAndTabsWithTheirCounts)
{
    QAccessibleInterface* listIface = QAccessible::queryAccessibleInterface(list());
    ASSERT_NE(listIface, nullptr);
    EXPECT_EQ(listIface->role(), QAccessible::List);
    EXPECT_EQ(listIface->text(QAccessible::Name), QStringLiteral("我的好友"));
    ASSERT_EQ(listIface->childCount(), int(home()->dataOfCells()->size())) << "every row, in view or not";

    // Each row reads as author, text and time; its commands are its actions.
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* item = listIface->child(i);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->role(), QAccessible::ListItem);
        EXPECT_EQ(listIface->indexOfChild(item), i);
        const auto* status = dynamic_cast<TimelineCellStatus*>(row(i).get());
        ASSERT_TRUE(status);
        const QString name = item->text(QAccessible::Name);
        EXPECT_TRUE(name.startsWith(row(i)->entityName() + QStringLiteral("："))) << name.toStdString();
        EXPECT_TRUE(name.contains(status->date())) << name.toStdString();
        const QStringList actions = item->actionInterface()->actionNames();
        EXPECT_TRUE(actions.contains(QStringLiteral("评论")) && actions.contains(QStringLiteral("转发")))
            << actions.join(',').toStdString();
        EXPECT_TRUE(actions.contains(QStringLiteral("收藏")) || actions.contains(QStringLiteral("取消收藏")));
    }
    // A plain status's text is read whole.
    const auto plain = std::find_if(home()->dataOfCells()->begin(), home()->dataOfCells()->end(), [](const CellPtr& c) {
        const auto* s = dynamic_cast<TimelineCellStatus*>(c.get());
        return s && !s->status()->retweeted_status && !s->entityText().contains(QLatin1Char('['));
    });
    ASSERT_NE(plain, home()->dataOfCells()->end());
    const int plainRow = int(plain - home()->dataOfCells()->begin());
    EXPECT_TRUE(listIface->child(plainRow)->text(QAccessible::Name).contains((*plain)->entityText().left(10)));

    // The current row is the focused item (the focus events that announce a move are seen over AT-SPI).
    EXPECT_TRUE(listIface->child(0)->state().focused);
    key(list(), Qt::Key_J);
    EXPECT_TRUE(listIface->child(1)->state().focused && listIface->child(1)->state().selected);
    EXPECT_FALSE(listIface->child(0)->state().focused);
    EXPECT_EQ(listIface->focusChild(), listIface->child(1));
    // An action runs the command on its row.
    listIface->child(2)->actionInterface()->doAction(QStringLiteral("评论"));
    EXPECT_TRUE(window_->isDrawerOpenOrOpening());
    EXPECT_EQ(window_->activeDataCell(), row(2));
    window_->closeDrawer();

    // The left tabs are page tabs named with their unread count.
    window_->comments2meListViewController()->setUnreadCount(2);
    window_->updateLeftTabs();
    QAccessibleInterface* tab = QAccessible::queryAccessibleInterface(testsupport::part<LeftTab>(window_, "timelineComment"));
    EXPECT_EQ(tab->role(), QAccessible::PageTab);
    EXPECT_EQ(tab->text(QAccessible::Name), QStringLiteral("评论，2 条未读"));
    EXPECT_EQ(tab->parent()->role(), QAccessible::PageTabList);
    QAccessibleInterface* homeTab = QAccessible::queryAccessibleInterface(testsupport::part<LeftTab>(window_, "timelineHome"));
    EXPECT_EQ(homeTab->text(QAccessible::Name), QStringLiteral("状态"));
    EXPECT_TRUE(homeTab->state().selected);
    // Every button of the window's top has a name.
    for (const char* name : {"selfButton", "refreshButton", "postButton", "subHome", "listsButton"})
        EXPECT_FALSE(QAccessible::queryAccessibleInterface(testsupport::part(window_, name))->text(QAccessible::Name).isEmpty())
            << name;
}

// --- Contrast -------------------------------------------------------------------------------------------------

double luminance(const QColor& c)
{
    auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor over(const QColor& below, const QColor& above)
{
    const double a = above.alphaF();
    return QColor::fromRgbF(float(below.redF() * (1 - a) + above.redF() * a),
                            float(below.greenF() * (1 - a) + above.greenF() * a),
                            float(below.blueF() * (1 - a) + above.blueF() * a));
}

TEST(Legibility, EveryTextColourReachesFourAndAHalfToOneOnWhatItIsDrawnOn)
{
    const Appearance appearance;
    std::vector<QColor> row, selected;
    for (const auto& stop : appearance.backgroundGradient())
        row.push_back(stop.second);
    for (const auto& stop : appearance.selectedCellGradient())
        selected.push_back(stop.second);
    const QColor box = appearance.boxColor();
    std::vector<QColor> anywhere = row;
    anywhere.insert(anywhere.end(), selected.begin(), selected.end());
    anywhere.push_back(box); // a reposted status's box, inside any row

    struct Pair {
        const char* what;
        QColor text;
        std::vector<QColor> backgrounds;
    };
    // The date sits at a row's top, over the lighter end of the selected row's gradient.
    std::vector<QColor> top = row;
    top.push_back(selected.front());
    const std::vector<Pair> pairs = {
        {"body", appearance.bodyColor(), anywhere},
        {"footer", appearance.footerColor(), anywhere},
        {"link", appearance.linkColor(), anywhere},
        {"verified mark", appearance.verifiedColor(), anywhere},
        {"date", appearance.dateColor(), top},
        {"left tab", LeftTab::labelColor(), {LeftTab::columnColor(), over(LeftTab::columnColor(), QColor(0, 0, 0, 20))}},
        {"checked left tab", LeftTab::checkedLabelColor(), {LeftTab::checkedFillColor()}},
        {"badge digits", Qt::white,
         {WBUtility::badgeBottomColor(),
          over(WBUtility::badgeTopColor(), QColor(255, 255, 255, WBUtility::badgeGlossAlpha()))}},
    };
    for (const Pair& pair : pairs)
        for (const QColor& background : pair.backgrounds)
            EXPECT_GE(contrast(pair.text, background), 4.5)
                << pair.what << " on " << background.name().toStdString() << ": " << contrast(pair.text, background);
    // The greys are the nearest that do: a step lighter falls short somewhere.
    auto lighter = [](const QColor& grey) { return QColor::fromRgbF(float(grey.redF() + 0.01), float(grey.redF() + 0.01), float(grey.redF() + 0.01)); };
    auto worst = [](const QColor& text, const std::vector<QColor>& backgrounds) {
        double w = 100;
        for (const QColor& b : backgrounds)
            w = std::min(w, contrast(text, b));
        return w;
    };
    EXPECT_LT(worst(lighter(appearance.footerColor()), anywhere), 4.5);
    EXPECT_LT(worst(lighter(appearance.dateColor()), top), 4.5);
}

} // namespace
