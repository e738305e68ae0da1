#include "timeline/MessageGrouping.h"

#include "cells/TimelineCellMessage.h"

#include <algorithm>

namespace messagegrouping {

namespace {

// Groups a stream by the user `idOf` names, in the stream's order.
template <class IdOf>
std::vector<MessageCellArray> groupBy(const CellArray& stream, IdOf idOf,
                                      int (*find)(const std::vector<MessageCellArray>&, std::uint64_t))
{
    std::vector<MessageCellArray> groups;
    for (const CellPtr& cell : stream) {
        auto message = std::static_pointer_cast<TimelineCellMessage>(cell);
        if (!message || !message->message())
            continue;
        const int at = find(groups, idOf(*message->message()));
        if (at >= 0)
            groups[std::size_t(at)].push_back(message);
        else
            groups.push_back(MessageCellArray{message});
    }
    return groups;
}

} // namespace

int findBySender(const std::vector<MessageCellArray>& groups, std::uint64_t userId)
{
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (!groups[i].empty() && groups[i].back()->message() && groups[i].back()->message()->sender_id == userId)
            return int(i);
    return -1;
}

int findByRecipient(const std::vector<MessageCellArray>& groups, std::uint64_t userId)
{
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (!groups[i].empty() && groups[i].back()->message() && groups[i].back()->message()->recipient_id == userId)
            return int(i);
    return -1;
}

std::vector<MessageCellArray> groupMessages(const CellArray& received, const CellArray& sent)
{
    const std::vector<MessageCellArray> receivedGroups =
        groupBy(received, [](const weibo::WBMessage& m) { return m.sender_id; }, &findBySender);
    std::vector<MessageCellArray> sentGroups =
        groupBy(sent, [](const weibo::WBMessage& m) { return m.recipient_id; }, &findByRecipient);

    std::vector<MessageCellArray> conversations = receivedGroups;
    for (MessageCellArray& group : sentGroups) {
        const int at = findBySender(receivedGroups, group.back()->message()->recipient_id);
        if (at >= 0) {
            MessageCellArray& into = conversations[std::size_t(at)];
            into.insert(into.end(), group.begin(), group.end());
        } else {
            conversations.push_back(std::move(group));
        }
    }
    return conversations;
}

StreamRequest receivedRequest(int mode, std::uint64_t unread, const CellArray& received, const Bound& newest,
                              const Bound& oldest)
{
    constexpr std::uint64_t kCap = 1024;
    StreamRequest r;
    const bool first = mode == 1 || (mode == 2 && received.empty());
    if (first) {
        r.options.count_ = int(std::min<std::uint64_t>(unread + 50, kCap));
        r.setUnread = unread != 0;
    } else if (mode == 2) {
        r.options.min_id_ = newest(received);
        r.options.count_ = 50;
        r.setUnread = true;
    } else if (mode == 3) {
        r.options.max_id_ = oldest(received);
        r.options.count_ = 50;
    } else {
        r.valid = false;
    }
    return r;
}

StreamRequest sentRequest(int mode, const CellArray& received, const CellArray& sent, const Bound& newest,
                          const Bound& oldest)
{
    StreamRequest r;
    switch (mode) {
    case 1:
        r.options.min_id_ = oldest(received);
        break;
    case 2:
        if (sent.empty()) {
            r.options.min_id_ = oldest(received);
        } else {
            r.options.min_id_ = newest(sent);
            r.options.count_ = 50;
        }
        break;
    case 3:
        r.options.max_id_ = oldest(sent);
        r.options.min_id_ = oldest(received);
        r.fallback = weibo::SinaWeiboOptions();
        r.fallback->max_id_ = r.options.max_id_;
        break;
    default:
        r.valid = false;
    }
    return r;
}

} // namespace messagegrouping
