// What a list hands to the store and gets back from it: rows in order, seams, locally made items, unread marks; the
// user tab kept only with one's own statuses; the offline text's "since when".
#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellStatus.h"
#include "timeline/KeptLists.h"
#include "timeline/ListStore.h"
#include "timeline/SeamCell.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

namespace {

boost::shared_ptr<weibo::WBStatus> status(std::uint64_t id, std::uint64_t author = 7)
{
    auto s = boost::make_shared<weibo::WBStatus>();
    s->id = id;
    s->text = "状态 " + std::to_string(id);
    s->user = boost::make_shared<weibo::WBUser>();
    s->user->id = author;
    return s;
}

std::vector<std::uint64_t> idsOf(const CellArray& cells)
{
    std::vector<std::uint64_t> ids;
    for (const CellPtr& cell : cells)
        ids.push_back(cell->entityId());
    return ids;
}

TEST(KeptListsRows, ARoundTripKeepsOrderSeamsAndTheTopUnreadRowsAndDropsLocallyMadeItems)
{
    ListStore list;
    const CellPtr fake = std::make_shared<TimelineCellStatus>(status(90));
    list.setCells({std::make_shared<TimelineCellStatus>(status(50)), std::make_shared<TimelineCellStatus>(status(40)),
                   std::make_shared<SeamCell>(20, 40), std::make_shared<TimelineCellStatus>(status(10))});
    list.addFake(fake);
    const auto cells = list.cells();
    ASSERT_EQ(cells->size(), 5u);

    const std::vector<store::Row> rows = keptlists::rowsOf(*cells, 3, list);
    ASSERT_EQ(rows.size(), 4u) << "the locally made item is not kept";
    EXPECT_TRUE(rows[0].unread);
    EXPECT_TRUE(rows[1].unread);
    EXPECT_TRUE(rows[2].isGap());
    EXPECT_FALSE(rows[3].unread);

    std::uint64_t unread = 0;
    const CellArray back = keptlists::cellsOf(rows, ListKind::Cells::Status, nullptr, unread);
    EXPECT_EQ(unread, 2u);
    EXPECT_EQ(idsOf(back), (std::vector<std::uint64_t>{50, 40, 0, 10}));
    const auto* seam = dynamic_cast<const SeamCell*>(back[2].get());
    ASSERT_NE(seam, nullptr);
    EXPECT_EQ(seam->newerThan(), 20u);
    EXPECT_EQ(seam->olderThan(), 40u);

    // Favourites come back as favourite rows; a record of another type than the list shows is left out.
    const CellArray favourites = keptlists::cellsOf(rows, ListKind::Cells::Favorite, nullptr, unread);
    EXPECT_NE(dynamic_cast<const TimelineCellFavorite*>(favourites[0].get()), nullptr);
    EXPECT_TRUE(keptlists::cellsOf(rows, ListKind::Cells::Comment, nullptr, unread).size() == 1u)
        << "only the seam fits a comment list";
}

TEST(KeptListsRows, MessagesKeepTheirOwnUnreadFlags)
{
    ListStore list;
    CellArray cells;
    for (std::uint64_t id : {30, 20, 10}) {
        auto message = boost::make_shared<weibo::WBMessage>();
        message->id = id;
        auto cell = std::make_shared<TimelineCellMessage>(message);
        cell->setUnread(id == 20);
        cells.push_back(cell);
    }
    const auto rows = keptlists::rowsOf(cells, 0, list);
    std::uint64_t unread = 0;
    const CellArray back = keptlists::cellsOf(rows, ListKind::Cells::Message, nullptr, unread);
    EXPECT_EQ(unread, 1u);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_FALSE(static_cast<TimelineCellMessage*>(back[0].get())->unread());
    EXPECT_TRUE(static_cast<TimelineCellMessage*>(back[1].get())->unread());
}

TEST(KeptListsRows, TheUserTabIsOnesOwnOnlyWhenEveryStatusIsByTheAccount)
{
    const CellArray own{std::make_shared<TimelineCellStatus>(status(2, 7)), std::make_shared<SeamCell>(1, 2),
                        std::make_shared<TimelineCellStatus>(status(1, 7))};
    EXPECT_TRUE(keptlists::allByAccount(own, 7));
    EXPECT_FALSE(keptlists::allByAccount(own, 8));
    const CellArray mixed{std::make_shared<TimelineCellStatus>(status(2, 7)),
                          std::make_shared<TimelineCellStatus>(status(1, 9))};
    EXPECT_FALSE(keptlists::allByAccount(mixed, 7));
}

TEST(KeptListsOffline, TheTextSaysSinceWhenInTheReadersTerms)
{
    const QDateTime now(QDate(2026, 3, 15), QTime(9, 5));
    EXPECT_EQ(keptlists::offlineText(QDateTime(QDate(2026, 3, 15), QTime(8, 7)), now),
              QStringLiteral("无法连接到服务器，显示的是今天 08:07的内容"));
    EXPECT_EQ(keptlists::offlineText(QDateTime(QDate(2026, 3, 14), QTime(23, 59)), now),
              QStringLiteral("无法连接到服务器，显示的是昨天 23:59的内容"));
    EXPECT_EQ(keptlists::offlineText(QDateTime(QDate(2026, 1, 2), QTime(12, 0)), now),
              QStringLiteral("无法连接到服务器，显示的是1月2日 12:00的内容"));
    EXPECT_EQ(keptlists::offlineText(QDateTime(QDate(2025, 12, 31), QTime(12, 0)), now),
              QStringLiteral("无法连接到服务器，显示的是2025年12月31日的内容"));
    EXPECT_EQ(keptlists::offlineText(QDateTime(), now), QStringLiteral("无法连接到服务器，显示的是上次保存的内容"));
}

} // namespace
