#include "widgets/PXListView.h"
#include "widgets/PXListViewCell.h"
#include "widgets/PXListViewDelegate.h"
#include "widgets/PXThinScroller.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

// The application must go before the program's exit handlers run: Qt's own statics are gone by then.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[13] = "test_widgets";
    char *argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};
::testing::Environment *const applicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

class TestCell : public PXListViewCell {
public:
    explicit TestCell(const QString &identifier) : PXListViewCell(identifier) {}
    void prepareForReuse() override {
        ++reuses;
        filledRow = -1;
    }
    int reuses = 0;
    int filledRow = -1;
};

class TestDelegate : public PXListViewDelegate {
public:
    std::vector<double> heights;
    bool dequeues = true;
    // When set, heights follow the list's width, as text wrapped to that width would.
    bool heightsFollowWidth = false;
    int created = 0;
    int selectionChanges = 0;
    int liveResizeEnds = 0;
    std::vector<int> doubleClicked;

    int numberOfRowsInListView(PXListView *) override { return int(heights.size()); }
    double listViewHeightOfRow(PXListView *listView, int row) override {
        if (heightsFollowWidth)
            return 20000.0 / listView->contentViewBounds().width();
        return heights[size_t(row)];
    }
    PXListViewCell *listViewCellForRow(PXListView *listView, int row) override {
        TestCell *cell = dequeues ? static_cast<TestCell *>(listView->dequeueCellWithReusableIdentifier("Row")) : nullptr;
        if (!cell) {
            cell = new TestCell("Row");
            ++created;
        }
        cell->filledRow = row;
        return cell;
    }
    void listViewSelectionDidChange(PXListView *) override { ++selectionChanges; }
    void listViewDidEndLiveResize(PXListView *listView) override {
        ++liveResizeEnds;
        listView->reloadData();
    }
    void listViewRowDoubleClicked(PXListView *, int row) override { doubleClicked.push_back(row); }
};

class ListViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        list = std::make_unique<PXListView>();
        list->setDelegate(&delegate);
        list->setLiveResizeQuietPeriod(30);
        list->resize(400, 300);
        list->show();
        // Showing is itself a resize; let that settle so tests start from a quiet list.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !list->inLiveResize(); }, 5000));
        delegate.liveResizeEnds = 0;
    }
    void TearDown() override {
        list->setDelegate(nullptr);
        list.reset();
    }
    void load(int rows, double height) {
        delegate.heights.assign(size_t(rows), height);
        list->reloadData();
    }
    int shownCells() const {
        int shown = 0;
        for (PXListViewCell *cell : list->viewport()->findChildren<PXListViewCell *>())
            if (cell->isVisible())
                ++shown;
        return shown;
    }
    void wheel(QPoint pixelDelta, QPoint angleDelta) {
        QWheelEvent event(QPointF(50, 50), list->viewport()->mapToGlobal(QPointF(50, 50)), pixelDelta, angleDelta,
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(list->viewport(), &event);
    }

    TestDelegate delegate;
    std::unique_ptr<PXListView> list;
};

TEST_F(ListViewTest, OnlyVisibleRowsHaveRowViewsAndScrolledAwayOnesAreReused) {
    load(100, 50);
    EXPECT_EQ(list->visibleRange(), (PXRowRange{0, 6}));
    EXPECT_EQ(delegate.created, 6);
    EXPECT_EQ(shownCells(), 6);
    auto *first = static_cast<TestCell *>(list->cellForRowAtIndex(0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->geometry(), QRect(0, 0, 400, 50));
    EXPECT_EQ(first->row(), 0);

    list->setContentOffset(500);
    EXPECT_EQ(list->visibleRange(), (PXRowRange{10, 6}));
    EXPECT_EQ(list->cellForRowAtIndex(0), nullptr);
    EXPECT_EQ(delegate.created, 6) << "rows that came into view took the row views of those that left";
    EXPECT_GE(first->reuses, 1);
    EXPECT_TRUE(list->visibleRange().contains(first->row()));
    EXPECT_EQ(first->filledRow, first->row());
    EXPECT_EQ(first->geometry().top(), list->rectOfRow(first->row()).top() - 500);
    EXPECT_EQ(shownCells(), 6);

    // Through the whole list in small steps: a partly visible row at each edge needs one row view more.
    for (int y = 0; y <= list->maximumContentOffset(); y += 7)
        list->setContentOffset(y);
    EXPECT_LE(delegate.created, 7);
    EXPECT_EQ(shownCells(), list->visibleRange().length);

    // A reload hands the row views in view back to the delegate instead of making new ones.
    list->reloadData();
    EXPECT_LE(delegate.created, 7);
    for (int row = list->visibleRange().location; row < list->visibleRange().end(); ++row)
        EXPECT_EQ(static_cast<TestCell *>(list->cellForRowAtIndex(row))->filledRow, row);

    // A row view deleted behind the list's back is forgotten, not touched again.
    delete list->cellForRowAtIndex(list->visibleRange().location);
    list->setContentOffset(0);
    list->setContentOffset(2000);
    EXPECT_EQ(shownCells(), list->visibleRange().length);
}

TEST_F(ListViewTest, ADelegateThatNeverDequeuesDoesNotPileUpRowViews) {
    delegate.dequeues = false;
    load(1000, 40);
    for (int y = 0; y <= list->maximumContentOffset(); y += 100)
        list->setContentOffset(y);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_GT(delegate.created, 900);
    const int alive = int(list->viewport()->findChildren<PXListViewCell *>().size());
    EXPECT_LE(alive, 40) << "queued row views beyond a few pages' worth are released";
    EXPECT_EQ(shownCells(), list->visibleRange().length);
}

TEST_F(ListViewTest, RowHeightsAreReadOnReloadAndRoundedUpToWholePixels) {
    delegate.heights = {10.2, 57.0000001, -5, std::nan(""), 30};
    list->reloadData();
    EXPECT_EQ(list->rectOfRow(0), QRect(0, 0, 400, 11));
    EXPECT_EQ(list->rectOfRow(1), QRect(0, 11, 400, 57));
    EXPECT_EQ(list->rectOfRow(2).height(), 0) << "a negative height counts as 0";
    EXPECT_EQ(list->rectOfRow(3).height(), 0) << "a height that is not a number counts as 0";
    EXPECT_EQ(list->rectOfRow(4), QRect(0, 68, 400, 30));
    EXPECT_EQ(list->documentHeight(), 98);
    EXPECT_EQ(list->rectOfRow(5), QRect());
    EXPECT_EQ(list->rectOfRow(-1), QRect());

    delegate.heights = {100, 100, 100, 100, 100};
    list->reloadData();
    EXPECT_EQ(list->documentHeight(), 500);
    EXPECT_EQ(list->rectOfRow(3), QRect(0, 300, 400, 100));
    EXPECT_EQ(list->cellForRowAtIndex(2)->geometry(), QRect(0, 200, 400, 100));
    EXPECT_EQ(list->visibleRange(), (PXRowRange{0, 3}));
}

TEST_F(ListViewTest, VisibleRangeAfterScrollingMatchesTheRowsOnScreen) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> height(0, 260);
    delegate.heights.clear();
    for (int row = 0; row < 1024; ++row)
        delegate.heights.push_back(row % 17 == 5 ? 0 : height(random));
    list->reloadData();

    std::vector<int> tops{0};
    for (double h : delegate.heights)
        tops.push_back(tops.back() + int(h));
    ASSERT_EQ(list->documentHeight(), tops.back());

    std::uniform_int_distribution<int> offset(0, list->maximumContentOffset());
    std::vector<int> offsets{0, list->maximumContentOffset(), tops[500], tops[500] - 1, tops[500] + 1};
    for (int i = 0; i < 300; ++i)
        offsets.push_back(offset(random));
    for (int y : offsets) {
        list->setContentOffset(y);
        ASSERT_EQ(list->contentOffset(), y);
        const int bottom = y + 300;
        int first = -1, last = -1;
        for (int row = 0; row < 1024; ++row) {
            if (first < 0 && tops[row] <= y && y < tops[row + 1])
                first = row;
            if (tops[row] < bottom)
                last = row;
        }
        const PXRowRange range = list->visibleRange();
        ASSERT_EQ(range.location, first) << "offset " << y;
        ASSERT_EQ(range.end() - 1, last) << "offset " << y;
        EXPECT_EQ(list->rowAtOffset(y), first);
        for (int row = range.location; row < range.end(); ++row) {
            auto *cell = static_cast<TestCell *>(list->cellForRowAtIndex(row));
            ASSERT_NE(cell, nullptr);
            ASSERT_EQ(cell->filledRow, row);
            ASSERT_EQ(cell->geometry().top(), tops[row] - y);
        }
    }
    EXPECT_EQ(list->rowAtOffset(-1), -1);
    EXPECT_EQ(list->rowAtOffset(list->documentHeight()), -1);
}

TEST_F(ListViewTest, ScrollToRowBringsItsTopUpOrScrollsToTheEnd) {
    load(100, 50);
    list->scrollToRow(10);
    EXPECT_EQ(list->contentOffset(), 500);
    EXPECT_EQ(list->visibleRange().location, 10);

    list->scrollToRow(97);  // 150 px of document below its top: not enough to fill 300
    EXPECT_EQ(list->contentOffset(), list->maximumContentOffset());
    EXPECT_EQ(list->maximumContentOffset(), 5000 - 300);
    EXPECT_EQ(list->visibleRange().end(), 100);

    list->scrollToRow(100);
    list->scrollToRow(-1);
    EXPECT_EQ(list->contentOffset(), 4700) << "rows that do not exist leave the position alone";

    list->setContentOffset(0);
    list->scrollRowToVisible(2);
    EXPECT_EQ(list->contentOffset(), 0) << "an already visible row does not scroll";
    list->scrollRowToVisible(8);
    EXPECT_EQ(list->contentOffset(), 150) << "a row below comes up to the bottom edge";
    list->scrollRowToVisible(1);
    EXPECT_EQ(list->contentOffset(), 50) << "a row above comes down to the top edge";

    load(3, 50);  // shorter than the view
    list->scrollToRow(2);
    EXPECT_EQ(list->contentOffset(), 0);
}

TEST_F(ListViewTest, KeysMoveTheSelectionAndKeepItInView) {
    load(100, 50);
    list->setContentOffset(120);  // rows 2..8 visible
    QTest::keyClick(list.get(), Qt::Key_Down);
    EXPECT_EQ(list->selectedRows(), QList<int>{2}) << "the first key picks the first visible row";
    QTest::keyClick(list.get(), Qt::Key_Down);
    QTest::keyClick(list.get(), Qt::Key_Down);
    QTest::keyClick(list.get(), Qt::Key_Up);
    EXPECT_EQ(list->selectedRows(), QList<int>{3});
    EXPECT_EQ(delegate.selectionChanges, 4);

    QTest::keyClick(list.get(), Qt::Key_End);
    EXPECT_EQ(list->selectedRows(), QList<int>{99});
    EXPECT_EQ(list->contentOffset(), list->maximumContentOffset());
    QTest::keyClick(list.get(), Qt::Key_Down);
    EXPECT_EQ(list->selectedRows(), QList<int>{99});
    EXPECT_EQ(delegate.selectionChanges, 5) << "a move that stays put is no change";

    QTest::keyClick(list.get(), Qt::Key_Home);
    EXPECT_EQ(list->selectedRows(), QList<int>{0});
    EXPECT_EQ(list->contentOffset(), 0);

    QTest::keyClick(list.get(), Qt::Key_PageDown);
    EXPECT_EQ(list->selectedRows(), QList<int>{6}) << "one page (300 px) below row 0";
    EXPECT_EQ(list->contentOffset(), 50) << "the selected row is brought fully into view";
    QTest::keyClick(list.get(), Qt::Key_PageUp);
    EXPECT_EQ(list->selectedRows(), QList<int>{0});
    EXPECT_EQ(list->contentOffset(), 0);

    QTest::keyClick(list.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(list->selectedRows(), QList<int>{1}) << "Shift does not extend without multiple selection";
    list->setAllowsMultipleSelection(true);
    QTest::keyClick(list.get(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(list.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(list->selectedRows(), (QList<int>{1, 2, 3}));
    QTest::keyClick(list.get(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(list->selectedRows(), (QList<int>{1, 2}));

    // Without a selection the page keys only scroll.
    list->deselectRows();
    list->setContentOffset(0);
    QTest::keyClick(list.get(), Qt::Key_PageDown);
    EXPECT_EQ(list->contentOffset(), 300);
    EXPECT_TRUE(list->selectedRows().isEmpty());
    // Home and End always have a row to go to.
    QTest::keyClick(list.get(), Qt::Key_End);
    EXPECT_EQ(list->selectedRows(), QList<int>{99});
    EXPECT_EQ(list->contentOffset(), list->maximumContentOffset());
}

TEST_F(ListViewTest, EveryChangeOfTheContentViewBoundsIsReported) {
    std::vector<QRect> reported;
    QObject::connect(list.get(), &PXListView::contentViewBoundsDidChange,
                     [&](const QRect &bounds) { reported.push_back(bounds); });
    load(100, 50);
    EXPECT_TRUE(reported.empty()) << "a reload that moves nothing reports nothing";

    list->setContentOffset(120);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported.back(), QRect(0, 120, 400, 300));
    list->setContentOffset(120);
    EXPECT_EQ(reported.size(), 1u);

    list->resize(400, 200);
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported.back(), QRect(0, 120, 400, 200));

    wheel(QPoint(0, -30), QPoint(0, -90));
    ASSERT_EQ(reported.size(), 3u);
    EXPECT_EQ(reported.back().top(), 150);

    load(5, 50);  // 250 px of document in a 200 px view: the offset is clamped to 50
    ASSERT_EQ(reported.size(), 4u);
    EXPECT_EQ(reported.back(), QRect(0, 50, 400, 200));
    EXPECT_EQ(list->contentViewBounds(), reported.back());
    EXPECT_EQ(list->contentViewFrame(), QRect(0, 0, 400, 200));
}

TEST_F(ListViewTest, ClicksAndCallsChangeTheSelectionAndTellTheDelegate) {
    load(10, 50);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 75));
    EXPECT_EQ(list->selectedRows(), QList<int>{1});
    EXPECT_TRUE(list->cellForRowAtIndex(1)->isSelected());
    EXPECT_EQ(delegate.selectionChanges, 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 75));
    EXPECT_EQ(delegate.selectionChanges, 1) << "clicking the selected row again changes nothing";

    // A click on a row view reaches the list through the row view.
    QTest::mouseClick(list->cellForRowAtIndex(3), Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(list->selectedRow(), 3);
    EXPECT_FALSE(list->cellForRowAtIndex(1)->isSelected());
    EXPECT_TRUE(list->cellForRowAtIndex(3)->isSelected());

    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 125));
    EXPECT_EQ(delegate.doubleClicked, std::vector<int>{2});

    // Multiple selection: Ctrl toggles, Shift extends from the anchor.
    list->setAllowsMultipleSelection(true);
    list->selectRow(1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(20, 175));
    EXPECT_EQ(list->selectedRows(), (QList<int>{1, 3}));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(20, 275));
    EXPECT_EQ(list->selectedRows(), (QList<int>{3, 4, 5}));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(20, 225));
    EXPECT_EQ(list->selectedRows(), (QList<int>{3, 5}));

    // Empty selection by a click below the last row only when allowed.
    load(3, 50);
    delegate.selectionChanges = 0;
    list->selectRow(2);
    list->setAllowsEmptySelection(false);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 250));
    EXPECT_EQ(list->selectedRows(), QList<int>{2});
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(20, 125));
    EXPECT_EQ(list->selectedRows(), QList<int>{2}) << "the only selected row cannot be toggled off";
    list->setAllowsEmptySelection(true);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 250));
    EXPECT_TRUE(list->selectedRows().isEmpty());
    EXPECT_EQ(delegate.selectionChanges, 2);

    // Calls: rows that do not exist are ignored; a reload drops selected rows that are gone.
    list->setAllowsMultipleSelection(false);
    list->selectRow(7);
    EXPECT_EQ(list->selectedRow(), -1);
    list->selectRowIndexes({0, 2}, false);
    EXPECT_EQ(list->selectedRows(), QList<int>{2}) << "one row at most without multiple selection";
    EXPECT_EQ(delegate.selectionChanges, 3);
    load(2, 50);
    EXPECT_EQ(list->selectedRow(), -1);
    EXPECT_EQ(delegate.selectionChanges, 4);
    list->selectRow(1);
    list->deselectRow(1);
    list->deselectRows();
    EXPECT_EQ(delegate.selectionChanges, 6);
}

TEST_F(ListViewTest, LiveResizeEndsOnceAfterTheBurstAndHeightsFollowTheNewWidth) {
    delegate.heightsFollowWidth = true;  // 20000 / width
    load(40, 0);
    EXPECT_EQ(list->rectOfRow(0).height(), 50);

    for (int width = 390; width >= 200; width -= 38)
        list->resize(width, 300);
    list->resize(200, 300);
    EXPECT_TRUE(list->inLiveResize());
    EXPECT_EQ(delegate.liveResizeEnds, 0);
    EXPECT_EQ(list->rectOfRow(0).height(), 50) << "heights wait for the end of the resize";

    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.liveResizeEnds > 0; }, 5000));
    EXPECT_EQ(delegate.liveResizeEnds, 1);
    EXPECT_FALSE(list->inLiveResize());
    EXPECT_EQ(list->rectOfRow(0), QRect(0, 0, 200, 100));
    EXPECT_EQ(list->cellForRowAtIndex(0)->geometry(), QRect(0, 0, 200, 100));
}

TEST_F(ListViewTest, WheelNotchesGlideAndPixelDeltasApplyAtOnce) {
    load(100, 50);
    const int notch = QApplication::wheelScrollLines() * 20;

    wheel(QPoint(0, -30), QPoint(0, -90));
    EXPECT_EQ(list->contentOffset(), 30);
    EXPECT_FALSE(list->isScrollAnimating());

    wheel(QPoint(), QPoint(0, -120));
    wheel(QPoint(), QPoint(0, -120));
    EXPECT_TRUE(list->isScrollAnimating()) << "the wheel returns at once and the glide runs on the event loop";
    EXPECT_EQ(list->scrollTarget(), 30 + 2 * notch);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !list->isScrollAnimating(); }, 5000));
    EXPECT_EQ(list->contentOffset(), 30 + 2 * notch);

    // A programmatic scroll wins over a glide in progress.
    wheel(QPoint(), QPoint(0, -120));
    list->scrollToRow(40);
    EXPECT_FALSE(list->isScrollAnimating());
    EXPECT_EQ(list->contentOffset(), 2000);

    // Half notches of a high-resolution wheel add up; the top is a hard stop.
    list->setSmoothScrolling(false);
    list->setContentOffset(0);
    wheel(QPoint(), QPoint(0, -60));
    wheel(QPoint(), QPoint(0, -60));
    EXPECT_EQ(list->contentOffset(), notch);
    wheel(QPoint(), QPoint(0, 1200));
    EXPECT_EQ(list->contentOffset(), 0);
}

TEST_F(ListViewTest, TheThinScrollerShowsThePositionAtTheRightEdge) {
    load(100, 50);
    PXThinScroller *scroller = list->scroller();
    EXPECT_TRUE(scroller->isVisible());
    EXPECT_EQ(scroller->geometry(), QRect(400 - PXThinScroller::scrollerWidth(), 0, PXThinScroller::scrollerWidth(), 300));
    EXPECT_DOUBLE_EQ(scroller->knobProportion(), 300.0 / 5000.0);
    list->setContentOffset(2350);
    EXPECT_DOUBLE_EQ(scroller->doubleValue(), 0.5);

    // A click on the track below the knob pages down.
    QTest::mouseClick(scroller, Qt::LeftButton, {}, QPoint(5, 295));
    EXPECT_EQ(list->contentOffset(), 2650);

    load(6, 50);  // exactly fills the view
    EXPECT_FALSE(scroller->isVisible());
    load(2, 50);
    EXPECT_FALSE(scroller->isVisible());
}

}  // namespace
