#pragma once
// What the timeline store keeps of one list: its rows, newest first (records, and the gaps where a load of newer
// items stopped short), each row's unread mark, and where the user was reading.
#include "model/WeiboParser.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <variant>
#include <vector>

namespace store {

// The lists kept on disk. The numbers are written into the file: never change or reuse one.
// The conversations are kept as the two message lists they are made from; their reading position is kept with
// the received messages (see Position).
enum class ListKind : int {
    Home = 1,              // the home timeline (statuses)
    Own = 2,               // the signed-in user's own statuses
    Mentions = 3,          // statuses mentioning the user
    CommentsReceived = 4,  // comments
    CommentsSent = 5,      // comments
    MessagesReceived = 6,  // direct messages
    MessagesSent = 7,      // direct messages
    Favorites = 8,         // statuses
};
inline constexpr ListKind kAllLists[] = {ListKind::Home,         ListKind::Own,
                                         ListKind::Mentions,     ListKind::CommentsReceived,
                                         ListKind::CommentsSent, ListKind::MessagesReceived,
                                         ListKind::MessagesSent, ListKind::Favorites};

// Items newer than `newerThan` and older than `olderThan` that a load never brought (the list's seam row).
struct Gap {
    std::uint64_t newerThan = 0;
    std::uint64_t olderThan = 0;
    bool operator==(const Gap& other) const { return newerThan == other.newerThan && olderThan == other.olderThan; }
};

using Entry = std::variant<Gap, boost::shared_ptr<weibo::WBStatus>, boost::shared_ptr<weibo::WBComment>,
                           boost::shared_ptr<weibo::WBMessage>>;

// One row of a list. A status's favourite flag is read when the row is made, on the thread that owns the lists:
// that thread may flip it later, and the store writes the row on a thread of its own.
struct Row {
    Row() = default;
    explicit Row(Gap gap) : entry(gap) {}
    Row(boost::shared_ptr<weibo::WBStatus> status, bool unread)
        : entry(status), unread(unread), favorited(status && status->favorited) {}
    Row(boost::shared_ptr<weibo::WBComment> comment, bool unread) : entry(std::move(comment)), unread(unread) {}
    Row(boost::shared_ptr<weibo::WBMessage> message, bool unread) : entry(std::move(message)), unread(unread) {}

    // The record's id; a gap's olderThan.
    std::uint64_t id() const;
    bool isGap() const { return std::holds_alternative<Gap>(entry); }

    Entry entry;
    bool unread = false;
    bool favorited = false;
};

// Where the user was reading: the item at the top of the view (a record's id; for the conversations, the
// correspondent's user id) and how many pixels of it lay above the view's top edge. topId 0: the list's top.
struct Position {
    std::uint64_t topId = 0;
    int offset = 0;
    bool operator==(const Position& other) const { return topId == other.topId && offset == other.offset; }
};

struct StoredList {
    std::vector<Row> rows;
    Position position;
};

// What a list holds, without its records: enough for a tab's badge and for asking the service what is newer.
struct ListSummary {
    std::size_t rows = 0;    // gaps included
    std::size_t unread = 0;  // rows marked unread
    std::uint64_t newestId = 0;  // the top record's id; 0 for an empty list
    bool operator==(const ListSummary& other) const
    {
        return rows == other.rows && unread == other.unread && newestId == other.newestId;
    }
};

}  // namespace store
