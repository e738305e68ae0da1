// The rules that put new cells into a list's old ones, the conversations made of the two message streams (pure
// functions), and when a load's answer may be applied: every way a load can end, without a service or a widget.
#include "TimelineTestSupport.h"

#include "timeline/ListLoader.h"
#include "timeline/ListStore.h"
#include "timeline/MessageGrouping.h"
#include "timeline/SeamCell.h"

#include <thread>

static ::testing::Environment* const timelineApp = ::testing::AddGlobalTestEnvironment(new TimelineTestApp);

namespace {

using liststore::kMaxCells;

CellArray statuses(std::initializer_list<std::uint64_t> ids)
{
    CellArray cells;
    for (std::uint64_t id : ids)
        cells.push_back(statusCell(id));
    return cells;
}

// `count` statuses counting down from `top`.
CellArray run(std::uint64_t top, std::size_t count)
{
    CellArray cells;
    for (std::size_t i = 0; i < count; ++i)
        cells.push_back(statusCell(top - i));
    return cells;
}

CellPtr message(std::uint64_t id, std::uint64_t from, std::uint64_t to)
{
    return std::make_shared<TimelineCellMessage>(makeMessage(id, from, to, "你好"));
}

std::vector<std::vector<std::uint64_t>> idsOfGroups(const std::vector<MessageCellArray>& groups)
{
    std::vector<std::vector<std::uint64_t>> ids;
    for (const MessageCellArray& group : groups)
        ids.push_back(idsOf(CellArray(group.begin(), group.end())));
    return ids;
}

} // namespace

TEST(ListMerge, NewerItemsConfirmTheLocalOnesNeverShowAnItemTwiceAndKeepTheNewestWithinTheCap)
{
    // One's own post shown at once, then the poll brings it from the service with one more and one already shown.
    const CellPtr fake = statusCell(500);
    const CellArray old{fake, statusCell(400), statusCell(300)};
    auto merged = liststore::mergeCells(statuses({501, 500, 400}), old, liststore::kNewer, CellArray{fake});
    EXPECT_EQ(idsOf(merged.cells), (std::vector<std::uint64_t>{501, 500, 400, 300}));
    EXPECT_TRUE(merged.fakes.empty());
    EXPECT_NE(merged.cells[1], fake) << "the service's own item replaces the local one";

    // A fake the load does not confirm stays where it is and stays a fake.
    merged = liststore::mergeCells(statuses({600}), old, liststore::kNewer, CellArray{fake});
    EXPECT_EQ(idsOf(merged.cells), (std::vector<std::uint64_t>{600, 500, 400, 300}));
    ASSERT_EQ(merged.fakes.size(), 1u);
    EXPECT_EQ(liststore::earliestEntityId(merged.cells, merged.fakes), 300u);
    EXPECT_EQ(liststore::latestEntityId(CellArray{fake, statusCell(400)}, CellArray{fake}), 400u)
        << "a local item is no bound for the next poll";

    // A full list takes the new items on top and drops its oldest.
    merged = liststore::mergeCells(run(5000, 3), run(2000, kMaxCells), liststore::kNewer, {});
    ASSERT_EQ(merged.cells.size(), kMaxCells);
    EXPECT_EQ(merged.cells.front()->entityId(), 5000u);
    EXPECT_EQ(merged.cells.back()->entityId(), 2000u - (kMaxCells - 4));

    // A first load of more than fits keeps the newest; no new cells leave the list as it was.
    merged = liststore::mergeCells(run(9000, kMaxCells + 10), old, liststore::kReplace, {});
    EXPECT_EQ(merged.cells.size(), kMaxCells);
    EXPECT_EQ(merged.cells.front()->entityId(), 9000u);
    EXPECT_EQ(liststore::mergeCells({}, old, liststore::kNewer, {}).cells, old);
}

TEST(ListMerge, OlderItemsShowTheInclusiveBoundaryOnceAndOnlyWhatFitsUnderTheCap)
{
    const CellArray old = statuses({300, 200});
    // The service's max_id is inclusive: the bottom item comes back first and is not shown twice.
    EXPECT_EQ(idsOf(liststore::mergeCells(statuses({200, 100, 50}), old, liststore::kOlder, {}).cells),
              (std::vector<std::uint64_t>{300, 200, 100, 50}));
    EXPECT_EQ(idsOf(liststore::mergeCells(statuses({150, 100}), old, liststore::kOlder, {}).cells),
              (std::vector<std::uint64_t>{300, 200, 150, 100}));

    // Only what fits is appended, the oldest fetched dropped, so the bottom row is the earliest item shown.
    const auto merged = liststore::mergeCells(run(500, 3), run(2000, kMaxCells - 1), liststore::kOlder, {});
    ASSERT_EQ(merged.cells.size(), kMaxCells);
    EXPECT_EQ(merged.cells.back()->entityId(), 500u);
}

TEST(ListMerge, ASeamMarksWhereANewerLoadStoppedShortAndItsFillingShowsNothingTwice)
{
    const CellArray fetched = statuses({900, 800});
    CellArray cells = liststore::mergeCells(fetched, statuses({300, 200}), liststore::kNewer, {}).cells;
    liststore::insertSeam(cells, fetched, 300, {});
    ASSERT_EQ(cells.size(), 5u);
    const TimelineCellBase* seam = cells[2].get();
    ASSERT_NE(dynamic_cast<const SeamCell*>(seam), nullptr) << "the seam goes below what the load brought";
    EXPECT_EQ(liststore::earliestEntityId(cells, {}), 200u) << "a seam bounds nothing";
    EXPECT_EQ(liststore::latestEntityId(cells, {}), 900u);

    // Its items come in pages that overlap what is shown and what came meanwhile; none is shown twice, and none
    // at or below the item the seam sits on.
    const CellArray filled = liststore::fillSeam(cells, seam, statuses({800, 700, 500, 300}), 300);
    EXPECT_EQ(idsOf(filled), (std::vector<std::uint64_t>{900, 800, 700, 500, 300, 200}));
    // A seam that is no longer in the list (a reload replaced it) changes nothing.
    EXPECT_EQ(liststore::fillSeam(filled, seam, statuses({600}), 300), filled);

    // A load that reaches down to what was shown leaves no seam; nor does a first load into an empty list.
    CellArray joined = liststore::mergeCells(fetched, CellArray{}, liststore::kNewer, {}).cells;
    liststore::insertSeam(joined, fetched, 0, {});
    EXPECT_EQ(idsOf(joined), (std::vector<std::uint64_t>{900, 800}));
}

TEST(MessageGrouping, ConversationsJoinBothStreamsByCorrespondentAndLeaveOutRowsThatAreNoMessages)
{
    // The signed-in user is 1: 2 wrote twice, 3 once and got an answer, 4 was written to and never answered.
    const CellArray received{message(10, 2, 1), message(9, 3, 1), std::make_shared<SeamCell>(9, 5), message(8, 2, 1)};
    const CellArray sent{message(11, 1, 3), message(7, 1, 4)};
    EXPECT_EQ(idsOfGroups(messagegrouping::groupMessages(received, sent)),
              (std::vector<std::vector<std::uint64_t>>{{10, 8}, {9, 11}, {7}}));
}

TEST(MessageGrouping, EachStreamAsksFromItsOwnBoundsAndTheSentOnesNeverBelowTheReceived)
{
    const messagegrouping::Bound newest = [](const CellArray& cells) { return liststore::latestEntityId(cells, {}); };
    const messagegrouping::Bound oldest = [](const CellArray& cells) { return liststore::earliestEntityId(cells, {}); };
    const CellArray received{message(20, 2, 1), message(12, 3, 1)};
    const CellArray sent{message(18, 1, 2)};

    // A first load asks for the unread ones and fifty more, within the cap, and counts them unread.
    auto r = messagegrouping::receivedRequest(1, 2000, {}, newest, oldest);
    EXPECT_EQ(r.options.count_, boost::optional<int>(1024));
    EXPECT_TRUE(r.setUnread);
    r = messagegrouping::receivedRequest(2, 0, received, newest, oldest);
    EXPECT_EQ(r.options.min_id_, boost::optional<std::uint64_t>(20));
    r = messagegrouping::receivedRequest(3, 0, received, newest, oldest);
    EXPECT_EQ(r.options.max_id_, boost::optional<std::uint64_t>(12));
    EXPECT_FALSE(messagegrouping::receivedRequest(4, 0, received, newest, oldest).valid);

    // Sent messages older than the oldest received one could not be shown beside them.
    auto s = messagegrouping::sentRequest(3, received, sent, newest, oldest);
    EXPECT_EQ(s.options.max_id_, boost::optional<std::uint64_t>(18));
    EXPECT_EQ(s.options.min_id_, boost::optional<std::uint64_t>(12));
    ASSERT_TRUE(s.fallback.has_value());
    EXPECT_EQ(s.fallback->max_id_, boost::optional<std::uint64_t>(18));
    EXPECT_EQ(messagegrouping::sentRequest(2, received, {}, newest, oldest).options.min_id_, boost::optional<std::uint64_t>(12));
    EXPECT_EQ(messagegrouping::sentRequest(2, received, sent, newest, oldest).options.min_id_, boost::optional<std::uint64_t>(18));
}

// Each test runs in a process of its own, so this one may close the main queue as a quit does.
TEST(ListLoader, NothingIsAppliedForAnEarlierChoiceAGoneOrShutListOrAfterTheMainQueueHasClosed)
{
    auto lifetime = std::make_shared<int>(0);
    ListLoader loader(lifetime);
    const std::uint64_t earlier = loader.generation();
    const std::uint64_t current = loader.renew();
    int applied = 0;
    bool onMain = false;
    ASSERT_TRUE(runInBackgroundAndWait([&] {
        EXPECT_FALSE(loader.applyOnMain(earlier, [&] { ++applied; }));
        EXPECT_TRUE(loader.applyOnMain(current, [&] {
            ++applied;
            onMain = platform::isMainThread();
        }));
    }));
    EXPECT_EQ(applied, 1);
    EXPECT_TRUE(onMain);

    loader.shutdown();
    EXPECT_FALSE(loader.applyOnMain(current, [&] { ++applied; }));
    ListLoader orphan{std::weak_ptr<void>(std::make_shared<int>(0))};
    EXPECT_FALSE(orphan.applyOnMain(orphan.generation(), [&] { ++applied; }));

    // At quit: an answer that comes from a worker afterwards is dropped, never applied on the worker.
    ListLoader late(lifetime);
    platform::closeMainQueue();
    std::thread worker([&] { EXPECT_FALSE(late.applyOnMain(late.generation(), [&] { ++applied; })); });
    worker.join();
    EXPECT_EQ(applied, 1);
}
