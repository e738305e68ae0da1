// The list presentation offscreen: row reuse, heights at the list's width, the held position after a prepend,
// the first-load scroll to the unread boundary, the end-of-list triggers, conversation selection and drawing.
#include "TimelineTestSupport.h"

#include "cells/AttributedString.h"
#include "timeline/AvatarButton.h"
#include "timeline/ChatCell.h"
#include "timeline/MessageGroupCell.h"
#include "timeline/TimelineCell.h"
#include "timeline/WBTextView.h"
#include "widgets/PXListView.h"

#include <QLocale>
#include <QImage>
#include <QTest>
#include <QWheelEvent>

#include <set>

static ::testing::Environment* const timelineApp = ::testing::AddGlobalTestEnvironment(new TimelineTestApp);

namespace {

using Controller = PXListViewController;

// A client that is never answered: nothing listens on port 1 of the loopback address.
boost::shared_ptr<weibo::SinaWeibo> unansweredClient()
{
    auto client = boost::make_shared<weibo::SinaWeibo>();
    client->setBaseUrls("http://127.0.0.1:1", "http://127.0.0.1:1/2");
    return client;
}

// A controller whose mouse button the test holds and releases.
class TestController : public PXListViewController {
public:
    using PXListViewController::PXListViewController;
    bool buttonDown = false;

protected:
    bool isLeftMouseButtonDown() const override { return buttonDown; }
};

std::string longText(int words)
{
    std::string text;
    for (int i = 0; i < words; ++i)
        text += "微博内容 words ";
    return text;
}

// `count` status rows, newest (highest id) first, of varied length; every fifth a repost.
CellArray statusRows(int count, std::uint64_t topId = 100000, std::uint64_t step = 1)
{
    CellArray cells;
    for (int i = 0; i < count; ++i) {
        const std::uint64_t id = topId - std::uint64_t(i) * step;
        cells.push_back(statusCell(id, longText(3 + (i * 7) % 40) + " #" + std::to_string(id),
                                   i % 5 == 4 ? id + 500000 : 0));
    }
    return cells;
}

boost::shared_ptr<weibo::WBMessage> makeMessage(std::uint64_t id, std::uint64_t from, std::uint64_t to,
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

// A status cell that counts how often its text is built.
class CountingStatusCell : public TimelineCellStatus {
public:
    using TimelineCellStatus::TimelineCellStatus;
    AttributedString stringForTextView(bool& determinate) override
    {
        ++builds;
        return TimelineCellStatus::stringForTextView(determinate);
    }
    int builds = 0;
};

class TimelineGui : public ::testing::Test {
protected:
    void SetUp() override
    {
        TimelineTestApp::context().setSelfUserId(1);
        host_.selfId = 1;
    }
    std::unique_ptr<TestController> make(const std::string& kind, const CellArray& cells, int width = 400,
                                         int height = 600)
    {
        auto controller = std::make_unique<TestController>(QStringLiteral("PXListView"), QString::fromStdString(kind),
                                                           unansweredClient(), &host_);
        controller->setDataOfCells(cells);
        controller->listView()->setSmoothScrolling(false);
        controller->listView()->resize(width, height);
        controller->listView()->show();
        return controller;
    }
    HostStandIn host_;
};

} // namespace

TEST_F(TimelineGui, RowViewsAreReusedAndFilledWithTheirRowsWhileScrolling)
{
    auto list = make(weibo::WEIBO_API_TIMELINE_USER, statusRows(300));
    list->reloadData();
    PXListView* view = list->listView();
    ASSERT_EQ(view->numberOfRows(), 300);
    EXPECT_EQ(list->kMinHeightOfCell(), 70.0);
    EXPECT_EQ(list->kSpaceHeightOfCell(), 24.0);

    std::set<PXListViewCell*> made;
    const auto cells = list->dataOfCells();
    for (int y = 0; y <= view->maximumContentOffset(); y += 157) {
        view->setContentOffset(y);
        const PXRowRange visible = view->visibleRange();
        for (int row = visible.location; row < visible.end(); ++row) {
            auto* rowView = dynamic_cast<TimelineCell*>(view->cellForRowAtIndex(row));
            ASSERT_NE(rowView, nullptr) << row;
            made.insert(rowView);
            // Each row view shows its own row: text, the repost box of reposts, the name on the avatar.
            EXPECT_EQ(rowView->textView()->cellData(), (*cells)[std::size_t(row)]);
            EXPECT_EQ(rowView->reusableIdentifier(), QStringLiteral("WeiboCell"));
            const auto& status = static_cast<TimelineCellStatus&>(*(*cells)[std::size_t(row)]);
            EXPECT_EQ(rowView->decorativeRect().isEmpty(), !status.status()->retweeted_status) << row;
            EXPECT_EQ(rowView->button()->name(), status.entityName());
            EXPECT_EQ(rowView->height(), int(std::ceil(list->listViewHeightOfRow(view, row))));
        }
    }
    // A screenful of rows and a few more, however long the list.
    EXPECT_LT(made.size(), 30u);
}

TEST_F(TimelineGui, AgesInViewMoveOnByThemselvesWithoutAReload)
{
    auto status = makeStatus(5, "刚发的");
    const QDateTime posted = QDateTime::currentDateTimeUtc().addSecs(-58);
    status->created_at = QLocale::c().toString(posted, QStringLiteral("ddd MMM dd HH:mm:ss +0000 yyyy")).toStdString();
    // The list is shown before its rows arrive, as at start-up.
    auto list = make(weibo::WEIBO_API_TIMELINE_FRIENDS, {});
    QCoreApplication::processEvents();
    list->setDataOfCells({std::make_shared<TimelineCellStatus>(status)});
    list->reloadData();
    auto* row = dynamic_cast<TimelineCell*>(list->listView()->cellForRowAtIndex(0));
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->date().endsWith(QStringLiteral("秒前"))) << row->date().toStdString();
    // The same row view, never filled again, goes from seconds to a minute.
    ASSERT_TRUE(waitUntil([&] { return row->date() == QStringLiteral("1 分钟前"); }, 10000))
        << row->date().toStdString();
    EXPECT_EQ(list->listView()->cellForRowAtIndex(0), row);
}

TEST_F(TimelineGui, HeightsAreRecomputedWhenTheWidthChanges)
{
    auto list = make(weibo::WEIBO_API_TIMELINE_FRIENDS, statusRows(40), 400);
    list->reloadData();
    const double wide = list->cellWidth();
    EXPECT_EQ(wide, 400 - 76);
    const auto cells = list->dataOfCells();
    std::vector<double> before;
    for (const CellPtr& cell : *cells) {
        bool determinate = true;
        EXPECT_NEAR(cell->textViewHeight(), cell->stringForTextView(determinate).heightForWidth(wide), 0.5);
        before.push_back(cell->textViewHeight());
    }

    // A narrower window: once the resize is over, every height is for the new width.
    list->listView()->resize(250, 600);
    ASSERT_TRUE(waitUntil([&] { return list->cellWidth() == 250 - 76; }));
    bool anyTaller = false;
    for (std::size_t i = 0; i < cells->size(); ++i) {
        const CellPtr& cell = (*cells)[i];
        bool determinate = true;
        EXPECT_NEAR(cell->textViewHeight(), cell->stringForTextView(determinate).heightForWidth(250 - 76), 0.5);
        EXPECT_GE(cell->textViewHeight(), before[i]);
        anyTaller = anyTaller || cell->textViewHeight() > before[i];
        EXPECT_FALSE(cell->recalculateTextViewHeight());
        EXPECT_EQ(list->listViewHeightOfRow(list->listView(), int(i)),
                  std::max(70.0, cell->textViewHeight() + 24.0));
    }
    EXPECT_TRUE(anyTaller);

    // At an unchanged width only the rows marked stale are measured again.
    auto counted = std::make_shared<CountingStatusCell>(makeStatus(7, longText(20)));
    auto marked = std::make_shared<CountingStatusCell>(makeStatus(6, longText(20)));
    CellArray withCounted = *cells;
    withCounted.push_back(counted);
    withCounted.push_back(marked);
    list->setDataOfCells(withCounted);
    list->reloadData();  // both new: measured once
    ASSERT_FALSE(list->listView()->visibleRange().contains(int(withCounted.size()) - 1));
    const int countedBuilds = counted->builds, markedBuilds = marked->builds;
    marked->setRecalculateTextViewHeight(true);
    list->reloadData();
    EXPECT_EQ(counted->builds, countedBuilds);
    EXPECT_EQ(marked->builds, markedBuilds + 1);
}

TEST_F(TimelineGui, APrependInHoldModeKeepsTheRowsWhereTheyWere)
{
    auto list = make(weibo::WEIBO_API_TIMELINE_FRIENDS, statusRows(100, 100000, 10));
    list->reloadData();
    PXListView* view = list->listView();
    view->setContentOffset(3000);
    list->setScrollMode(Controller::kScrollIdle);
    const int row = view->rowAtOffset(view->contentOffset() + 50);
    const CellPtr reading = (*list->dataOfCells())[std::size_t(row)];
    const int onScreen = view->rectOfRow(row).top() - view->contentOffset();

    // The poll found newer items: hold mode, merge on top, reload.
    list->setScrollMode(Controller::kScrollHold);
    EXPECT_EQ(list->belowFixedHeight(),
              double(view->documentHeight() - view->contentOffset() - view->contentViewBounds().height()));
    list->setDataOfCells(list->cellsByMergeNewCells(statusRows(7, 100070, 10), *list->dataOfCells(),
                                                    Controller::kModeNewer));
    list->reloadData();
    const int moved = list->rowForCell(reading.get());
    EXPECT_EQ(moved, row + 7);
    EXPECT_EQ(view->rectOfRow(moved).top() - view->contentOffset(), onScreen);
    EXPECT_EQ(list->scrollMode(), 0u);
}

TEST_F(TimelineGui, TheFirstLoadScrollsTheUnreadRowsJustAboveTheVisibleArea)
{
    auto list = make(weibo::WEIBO_API_TIMELINE_FRIENDS, statusRows(100));
    list->setUnreadCount(12);
    QObject window;
    int calls = 0;
    QVariant received;
    list->setCallbackTarget(&window);
    list->setCallbackSelector([&](const QVariant& object) {
        ++calls;
        received = object;
    });
    list->setCallbackObject(QStringLiteral("first"));
    list->reloadData();
    PXListView* view = list->listView();
    EXPECT_EQ(view->visibleRange().location, 12);
    EXPECT_EQ(view->rectOfRow(12).top(), view->contentOffset());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(received, QVariant(QStringLiteral("first")));
    EXPECT_EQ(list->scrollMode(), 0u);
    // The rows above are unread and out of view, so the count stands.
    EXPECT_EQ(list->unreadCount(), 12u);

    // Later reloads leave the position alone and call nothing.
    const int offset = view->contentOffset();
    list->reloadData();
    EXPECT_EQ(view->contentOffset(), offset);
    EXPECT_EQ(calls, 1);

    // More unread rows than rows: the end of the list.
    auto shortList = make(weibo::WEIBO_API_TIMELINE_FRIENDS, statusRows(30));
    shortList->setUnreadCount(40);
    shortList->setCallbackTarget(&window);
    shortList->setCallbackSelector([&](const QVariant&) { ++calls; });
    shortList->reloadData();
    EXPECT_EQ(shortList->listView()->contentOffset(), shortList->listView()->maximumContentOffset());
    EXPECT_EQ(calls, 2);
}

TEST_F(TimelineGui, TheEndsOfTheListLoadMoreOnlyOnceTheButtonIsUp)
{
    auto list = make(weibo::WEIBO_API_TIMELINE_FRIENDS, statusRows(60));
    list->reloadData();
    PXListView* view = list->listView();

    view->setContentOffset(view->maximumContentOffset());
    EXPECT_EQ(list->scrollMode(), 2u);
    ASSERT_TRUE(waitUntil([&] { return host_.moreWeiboCalls == 1; }));
    list->reloadData();  // what the main window does when the older items are in
    EXPECT_EQ(list->scrollMode(), 0u);

    // A drag that reaches the bottom: nothing while the button is held, the load once it is released.
    view->setContentOffset(0);
    list->buttonDown = true;
    view->setContentOffset(view->maximumContentOffset());
    EXPECT_EQ(list->scrollMode(), 0u);
    EXPECT_FALSE(waitUntil([&] { return host_.moreWeiboCalls > 1; }, 1200));
    list->buttonDown = false;
    EXPECT_TRUE(waitUntil([&] { return host_.moreWeiboCalls == 2; }));

    // In busy mode the ends do nothing.
    list->reloadData();
    view->setContentOffset(0);
    list->setScrollMode(Controller::kScrollBusy);
    view->setContentOffset(view->maximumContentOffset());
    EXPECT_FALSE(waitUntil([&] { return host_.moreWeiboCalls > 2; }, 800));

    // A list shorter than the view sits at the top: only the comments list reacts, and only past page 1.
    auto shortList = make(weibo::WEIBO_API_TIMELINE_FRIENDS, statusRows(2));
    shortList->reloadData();
    shortList->checkScrollerBound();
    auto comments = make(weibo::WEIBO_API_TIMELINE_COMMENTS, CellArray());
    comments->reloadData();
    comments->checkScrollerBound();
    EXPECT_EQ(comments->commentPage(), 1u);
    comments->setCommentPage(2);
    comments->reloadData();
    comments->checkScrollerBound();
    EXPECT_EQ(comments->commentPage(), 2u);  // a list that merely sits at the top stays
    QWheelEvent up(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(comments->listView()->viewport(), &up);
    EXPECT_EQ(comments->commentPage(), 1u);
    EXPECT_EQ(host_.busyHistory.back(), QStringLiteral("正在载入此微博的评论第 1 页..."));
    EXPECT_TRUE(waitUntil([&] { return host_.busyEmpty(); }, 30000));
    EXPECT_EQ(host_.moreWeiboCalls, 2);
}

TEST_F(TimelineGui, SelectingAConversationOpensItAndAnEmptySelectionClosesIt)
{
    CellArray groups;
    for (std::uint64_t other : {20, 30, 40}) {
        MessageCellArray messages{std::make_shared<TimelineCellMessage>(makeMessage(other * 10, other, 1, "你好"))};
        auto group = std::make_shared<TimelineCellMessageGroup>(messages);
        groups.push_back(group);
    }
    static_cast<TimelineCellMessage&>(*static_cast<TimelineCellMessageGroup&>(*groups[1]).messages().front())
        .setUnread(true);
    auto list = make(weibo::WEIBO_API_MESSAGE, groups);
    list->reloadData();
    PXListView* view = list->listView();
    auto* row = dynamic_cast<MessageGroupCell*>(view->cellForRowAtIndex(1));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->button()->unreadCount(), 1u);
    EXPECT_FALSE(row->date().isEmpty());

    view->selectRow(1);
    ASSERT_EQ(host_.messageDisplays.size(), 1u);
    EXPECT_EQ(host_.messageDisplays[0].cell, groups[1]);
    EXPECT_TRUE(host_.messageDisplays[0].toggle);
    EXPECT_TRUE(host_.messageDisplays[0].init);
    EXPECT_EQ(host_.messageDisplays[0].mode, 2);

    // A click on the text of the selected row closes the conversation.
    QTest::mouseClick(row->textView(), Qt::LeftButton, {}, QPoint(row->textView()->width() - 5,
                                                                  row->textView()->height() - 3));
    EXPECT_EQ(view->selectedRow(), -1);
    EXPECT_EQ(host_.active, nullptr);
    EXPECT_EQ(host_.drawerCloses, 1);

    // Clicking it again opens it again.
    row = dynamic_cast<MessageGroupCell*>(view->cellForRowAtIndex(1));
    QTest::mouseClick(row->textView(), Qt::LeftButton, {}, QPoint(row->textView()->width() - 5,
                                                                  row->textView()->height() - 3));
    EXPECT_EQ(view->selectedRow(), 1);
    EXPECT_EQ(host_.messageDisplays.size(), 2u);
}

TEST_F(TimelineGui, RowViewsDrawTheRepostBoxAndTheChatBubbles)
{
    const QColor grey = QColor::fromRgbF(0.88f, 0.88f, 0.88f);
    auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
               std::abs(a.blue() - b.blue()) <= 2;
    };

    // A repost: the box behind the reposted text, with its notch above the box's top edge.
    auto list = make(weibo::WEIBO_API_TIMELINE_FRIENDS, CellArray{statusCell(500, "转发理由", 400)});
    list->reloadData();
    auto* row = dynamic_cast<TimelineCell*>(list->listView()->cellForRowAtIndex(0));
    ASSERT_NE(row, nullptr);
    const QRectF box = row->decorativeRect().translated(row->textView()->pos());
    ASSERT_FALSE(box.isEmpty());
    QImage image(row->size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    row->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    EXPECT_TRUE(near(image.pixelColor(int(box.left()) + 2, int(box.center().y())), grey));
    EXPECT_TRUE(near(image.pixelColor(int(box.left()) + 34, int(box.top()) - 4), grey));
    EXPECT_FALSE(near(image.pixelColor(int(box.left()) + 10, int(box.top()) - 4), grey));

    // Chat bubbles: a short message of one's own at the right, pointing right; the other's at the left.
    CellArray messages{std::make_shared<TimelineCellMessage>(makeMessage(11, 1, 2, "好")),
                       std::make_shared<TimelineCellMessage>(makeMessage(10, 2, 1, "你好"))};
    auto chat = make(weibo::WEIBO_API_MESSAGE_CHAT, messages);
    chat->reloadData();
    auto* mine = dynamic_cast<ChatCell*>(chat->listView()->cellForRowAtIndex(0));
    auto* theirs = dynamic_cast<ChatCell*>(chat->listView()->cellForRowAtIndex(1));
    ASSERT_TRUE(mine && theirs);
    EXPECT_TRUE(mine->sentFromMe());
    EXPECT_FALSE(theirs->sentFromMe());
    // The date sits on the side opposite the sender.
    EXPECT_FALSE(mine->button()->title().isEmpty());
    EXPECT_TRUE(mine->selfUserBtn()->title().isEmpty());
    EXPECT_FALSE(theirs->selfUserBtn()->title().isEmpty());

    const double width = chat->cellWidth();
    const QRectF own = mine->decorativeRect().translated(mine->textView()->pos());
    EXPECT_NEAR(mine->decorativeRect().right(), width - 12, 0.5);
    EXPECT_NEAR(theirs->decorativeRect().left(), 12, 0.5);
    QImage bubble(mine->size(), QImage::Format_ARGB32);
    bubble.fill(Qt::black);
    mine->render(&bubble, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    EXPECT_TRUE(near(bubble.pixelColor(int(own.center().x()), int(own.center().y())), grey));
    EXPECT_TRUE(near(bubble.pixelColor(int(own.right()) + 3, int(own.top()) + 10), grey));
    EXPECT_FALSE(near(bubble.pixelColor(int(own.left()) - 3, int(own.top()) + 10), grey));
}
