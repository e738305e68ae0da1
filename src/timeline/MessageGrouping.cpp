#include "timeline/MessageGrouping.h"

#include "cells/TimelineCellMessage.h"

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

} // namespace messagegrouping
