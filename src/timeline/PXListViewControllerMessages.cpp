// The direct-message conversations: the received and sent streams, their unread flags, and the conversations
// built from them.
#include "timeline/PXListViewController.h"

#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/TimelineHost.h"

#include <algorithm>

namespace {

const TimelineCellMessage* asMessage(const CellPtr& cell)
{
    return static_cast<const TimelineCellMessage*>(cell.get());
}

} // namespace

weibo::TransferOutcome PXListViewController::fetchMessagesWithMode(int mode)
{
    std::uint64_t unread = 0;
    weibo::TransferOutcome counted;
    if (mode == kModeInitial || mode == kModeNewer) {
        // Counters that could not be read change nothing: the conversations keep the unread count they show.
        unread = unreadCount();
        const auto counters = weibo::unreadOf(weiboInstance()->statusUnread(weibo::SinaWeiboOptions()));
        counted = counters.outcome;
        if (counters.ok() && counters.value && counters.value->dm >= 0)
            unread = std::uint64_t(counters.value->dm);
    }
    const weibo::TransferOutcome fetched = fetchMessagesWithUnread(unread, mode).outcome;
    return counted.ok() ? fetched : counted;
}

weibo::Reply<std::size_t> PXListViewController::fetchMessagesWithUnread(std::uint64_t unread, int mode)
{
    // The two fetches rebind the one stored operation in turn: refreshes of one controller wait for each
    // other instead of mixing their streams.
    std::lock_guard<std::mutex> serial(messagesLock_);
    const weibo::Reply<std::size_t> received = fetchReceivedMessageWithUnread(unread, mode);
    const weibo::Reply<std::size_t> sent = fetchSentMessageWithMode(mode);
    if (received.ok())
        syncReceivedMessagesWithUnread(unread);
    if (received.value != 0 || sent.value != 0)
        makeMessageGroups();
    return received.ok() ? sent.with(received.value) : received;
}

weibo::Reply<std::size_t> PXListViewController::fetchReceivedMessageWithUnread(std::uint64_t unread, int mode)
{
    const FetchOperation receivedStream = [this](const RequiredArguments&, const WeiboOptions& options) {
        return receivedMessagesWithOptions(options);
    };
    const CellArrayPtr received = receivedMessageCells();
    weibo::SinaWeiboOptions options;
    bool setUnread = false;
    switch (mode) {
    case kModeInitial:
        options.count_ = int(std::min<std::uint64_t>(unread + 50, kMaxCells));
        setUnread = unread != 0;
        break;
    case kModeNewer:
        if (received->empty()) {
            options.count_ = int(std::min<std::uint64_t>(unread + 50, kMaxCells));
            setUnread = unread != 0;
        } else {
            options.min_id_ = latestEntityIdOnCells(*received);
            options.count_ = 50;
            setUnread = true;
        }
        break;
    case kModeOlder:
        options.max_id_ = earliestEntityIdOnCells(*received);
        options.count_ = 50;
        break;
    default:
        return weibo::Reply<std::size_t>(0, weibo::TransferOutcome());
    }
    const weibo::Reply<CellArray> cells = fetchPagesWithOperation(receivedStream, RequiredArguments(), options);
    {
        std::lock_guard<std::recursive_mutex> lock(cellsLock_);
        receivedMessageCells_ =
            std::make_shared<const CellArray>(cellsByMergeNewCells(cells.value, *receivedMessageCells_, mode));
    }
    if (setUnread && cells.ok())
        setUnreadCount(unread);
    return cells.with(cells.value.size());
}

weibo::Reply<std::size_t> PXListViewController::fetchSentMessageWithMode(int mode)
{
    const FetchOperation sentStream = [this](const RequiredArguments&, const WeiboOptions& options) {
        return sentMessagesWithOptions(options);
    };
    const CellArrayPtr received = receivedMessageCells();
    const CellArrayPtr sent = sentMessageCells();
    // Sent messages older than the oldest received one would make conversations the received side cannot
    // show; the oldest received message is the lower bound of modes 1 and 3.
    weibo::SinaWeiboOptions options;
    weibo::Reply<CellArray> cells;
    switch (mode) {
    case kModeInitial:
        options.min_id_ = earliestEntityIdOnCells(*received);
        cells = fetchPagesWithOperation(sentStream, RequiredArguments(), options);
        break;
    case kModeNewer:
        if (sent->empty()) {
            options.min_id_ = earliestEntityIdOnCells(*received);
        } else {
            options.min_id_ = latestEntityIdOnCells(*sent);
            options.count_ = 50;
        }
        cells = fetchPagesWithOperation(sentStream, RequiredArguments(), options);
        break;
    case kModeOlder:
        options.max_id_ = earliestEntityIdOnCells(*sent);
        options.min_id_ = earliestEntityIdOnCells(*received);
        cells = fetchPagesWithOperation(sentStream, RequiredArguments(), options);
        if (cells.ok() && cells.value.empty()) {
            weibo::SinaWeiboOptions older;
            older.max_id_ = options.max_id_;
            cells = fetchPagesWithOperation(sentStream, RequiredArguments(), older);
        }
        break;
    default:
        return weibo::Reply<std::size_t>(0, weibo::TransferOutcome());
    }
    {
        std::lock_guard<std::recursive_mutex> lock(cellsLock_);
        sentMessageCells_ =
            std::make_shared<const CellArray>(cellsByMergeNewCells(cells.value, *sentMessageCells_, mode));
    }
    return cells.with(cells.value.size());
}

void PXListViewController::syncReceivedMessagesWithUnread(std::uint64_t unread)
{
    const CellArrayPtr received = receivedMessageCells();
    // The flags are read by the rows and the message windows on the main thread; they change there too.
    auto apply = [received, unread] {
        for (std::size_t i = 0; i < received->size(); ++i)
            static_cast<TimelineCellMessage*>((*received)[i].get())->setUnread(i < unread);
    };
    if (!platform::isMainThread() && platform::dispatchMainSync(apply))
        return;
    apply();
}

int PXListViewController::findMsgGroupBySenderId(const std::vector<MessageCellArray>& groups, std::uint64_t userId)
{
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (!groups[i].empty() && groups[i].back()->message() && groups[i].back()->message()->sender_id == userId)
            return int(i);
    return -1;
}

int PXListViewController::findMsgGroupByRecipientId(const std::vector<MessageCellArray>& groups,
                                                     std::uint64_t userId)
{
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (!groups[i].empty() && groups[i].back()->message() && groups[i].back()->message()->recipient_id == userId)
            return int(i);
    return -1;
}

void PXListViewController::makeMessageGroups()
{
    // The main window's drawer state lives on the main thread.
    std::uint64_t openGroupId = 0;
    bool keepOpen = false;
    auto readActive = [&] {
        if (!host_ || !host_->isDrawerOpenOrOpening())
            return;
        if (auto* group = dynamic_cast<TimelineCellMessageGroup*>(host_->activeDataCell().get())) {
            openGroupId = group->groupId();
            keepOpen = true;
        }
    };
    if (platform::isMainThread())
        readActive();
    else
        platform::dispatchMainSync(readActive);

    const CellArrayPtr received = receivedMessageCells();
    const CellArrayPtr sent = sentMessageCells();
    auto messageOf = [](const CellPtr& cell) { return std::static_pointer_cast<TimelineCellMessage>(cell); };

    std::vector<MessageCellArray> receivedGroups;
    for (const CellPtr& cell : *received) {
        if (!asMessage(cell)->message())
            continue;
        const int at = findMsgGroupBySenderId(receivedGroups, asMessage(cell)->message()->sender_id);
        if (at >= 0)
            receivedGroups[std::size_t(at)].push_back(messageOf(cell));
        else
            receivedGroups.push_back(MessageCellArray{messageOf(cell)});
    }
    std::vector<MessageCellArray> sentGroups;
    for (const CellPtr& cell : *sent) {
        if (!asMessage(cell)->message())
            continue;
        const int at = findMsgGroupByRecipientId(sentGroups, asMessage(cell)->message()->recipient_id);
        if (at >= 0)
            sentGroups[std::size_t(at)].push_back(messageOf(cell));
        else
            sentGroups.push_back(MessageCellArray{messageOf(cell)});
    }

    std::vector<MessageCellArray> conversations = receivedGroups;
    for (MessageCellArray& group : sentGroups) {
        const int at = findMsgGroupBySenderId(receivedGroups, group.back()->message()->recipient_id);
        if (at >= 0) {
            MessageCellArray& into = conversations[std::size_t(at)];
            into.insert(into.end(), group.begin(), group.end());
        } else {
            conversations.push_back(std::move(group));
        }
    }

    CellArray rows;
    rows.reserve(conversations.size());
    for (const MessageCellArray& messages : conversations) {
        auto group = std::make_shared<TimelineCellMessageGroup>(messages);
        group->setListViewController(this);
        group->sortMessages();
        rows.push_back(std::move(group));
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const CellPtr& a, const CellPtr& b) { return a->entityId() > b->entityId(); });
    setDataOfCells(rows);

    if (!keepOpen)
        return;
    // The open drawer keeps showing the same correspondent, now through the new row.
    auto reactivate = [this, openGroupId] {
        if (host_)
            host_->setActiveDataCell(messageGroupById(openGroupId));
    };
    if (platform::isMainThread())
        reactivate();
    else
        platform::dispatchMainSync(reactivate);
}

MessageGroupCellPtr PXListViewController::messageGroupById(std::uint64_t userId) const
{
    for (const CellPtr& cell : *dataOfCells())
        if (auto group = std::dynamic_pointer_cast<TimelineCellMessageGroup>(cell))
            if (group->groupId() == userId)
                return group;
    return nullptr;
}

void PXListViewController::resetUnreadMessageCount()
{
    if (!isKind(weibo::WEIBO_API_MESSAGE))
        return;
    const auto client = weiboInstance();
    if (!client)
        return;
    if (platform::isMainThread())
        runInBackground([client] { client->statusResetCount(3); });
    else
        client->statusResetCount(3);
}
