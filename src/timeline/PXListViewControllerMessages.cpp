// The direct-message conversations: the received and sent streams, their unread flags, and the conversations
// built from them. The streams are fetched in the list's turn; everything shown changes on the main thread.
#include "timeline/PXListViewController.h"

#include "cells/FailureText.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/MessageGrouping.h"
#include "timeline/TimelineHost.h"

#include <algorithm>

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
    // The two streams are fetched in one turn of the list: refreshes of the conversations wait for each other
    // instead of mixing their streams.
    const std::uint64_t generation = loader_.generation();
    const auto turn = loader_.turn();
    const weibo::Reply<std::size_t> received = fetchReceivedMessageWithUnread(unread, mode);
    const weibo::Reply<std::size_t> sent = fetchSentMessageWithMode(mode);
    loader_.applyOnMain(generation, [&] {
        if (received.ok())
            syncReceivedMessagesWithUnread(unread);
        if (received.value != 0 || sent.value != 0)
            makeMessageGroups();
    });
    return received.ok() ? sent.with(received.value) : received;
}

messagegrouping::Bound PXListViewController::boundOfStream(bool newest) const
{
    return [this, newest](const CellArray& cells) {
        return newest ? latestEntityIdOnCells(cells) : earliestEntityIdOnCells(cells);
    };
}

weibo::Reply<std::size_t> PXListViewController::fetchReceivedMessageWithUnread(std::uint64_t unread, int mode)
{
    const std::uint64_t generation = loader_.generation();
    const auto turn = loader_.turn();
    const auto request = messagegrouping::receivedRequest(mode, unread, *receivedMessageCells(), boundOfStream(true),
                                                          boundOfStream(false));
    if (!request.valid)
        return weibo::Reply<std::size_t>(0, weibo::TransferOutcome());
    const weibo::Reply<CellArray> cells = fetchPagesWithOperation(
        [this](const RequiredArguments&, const WeiboOptions& options) { return receivedMessagesWithOptions(options); },
        RequiredArguments(), request.options);
    loader_.applyOnMain(generation, [&] {
        store_.merge(cells.value, mode, ListStore::Array::Received);
        if (request.setUnread && cells.ok())
            setUnreadCount(unread);
    });
    return cells.with(cells.value.size());
}

weibo::Reply<std::size_t> PXListViewController::fetchSentMessageWithMode(int mode)
{
    const std::uint64_t generation = loader_.generation();
    const auto turn = loader_.turn();
    const FetchOperation sentStream = [this](const RequiredArguments&, const WeiboOptions& options) {
        return sentMessagesWithOptions(options);
    };
    const auto request = messagegrouping::sentRequest(mode, *receivedMessageCells(), *sentMessageCells(),
                                                      boundOfStream(true), boundOfStream(false));
    if (!request.valid)
        return weibo::Reply<std::size_t>(0, weibo::TransferOutcome());
    weibo::Reply<CellArray> cells = fetchPagesWithOperation(sentStream, RequiredArguments(), request.options);
    if (request.fallback && cells.ok() && cells.value.empty())
        cells = fetchPagesWithOperation(sentStream, RequiredArguments(), *request.fallback);
    applyMerge(generation, cells.value, mode, 0, ListStore::Array::Sent);
    return cells.with(cells.value.size());
}

void PXListViewController::syncReceivedMessagesWithUnread(std::uint64_t unread)
{
    // The flags are read by the rows and the message windows on the main thread; they change there too.
    const CellArrayPtr received = receivedMessageCells();
    for (std::size_t i = 0; i < received->size(); ++i)
        static_cast<TimelineCellMessage*>((*received)[i].get())->setUnread(i < unread);
}

int PXListViewController::findMsgGroupBySenderId(const std::vector<MessageCellArray>& groups, std::uint64_t userId)
{
    return messagegrouping::findBySender(groups, userId);
}

int PXListViewController::findMsgGroupByRecipientId(const std::vector<MessageCellArray>& groups,
                                                     std::uint64_t userId)
{
    return messagegrouping::findByRecipient(groups, userId);
}

void PXListViewController::makeMessageGroups()
{
    std::uint64_t openGroupId = 0;
    if (host_ && host_->isDrawerOpenOrOpening())
        if (auto* group = dynamic_cast<TimelineCellMessageGroup*>(host_->activeDataCell().get()))
            openGroupId = group->groupId();

    CellArray rows;
    for (const MessageCellArray& messages :
         messagegrouping::groupMessages(*receivedMessageCells(), *sentMessageCells())) {
        auto group = std::make_shared<TimelineCellMessageGroup>(messages);
        group->setListViewController(this);
        group->sortMessages();
        rows.push_back(std::move(group));
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const CellPtr& a, const CellPtr& b) { return a->entityId() > b->entityId(); });
    setDataOfCells(rows);
    // The open drawer keeps showing the same correspondent, now through the new row.
    if (openGroupId != 0 && host_)
        host_->setActiveDataCell(messageGroupById(openGroupId));
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
    if (!kind_.isConversations())
        return;
    const auto client = weiboInstance();
    if (!client)
        return;
    auto reset = [client] {
        logFailure(QStringLiteral("reset count"), weibo::outcomeOf(client->statusResetCount(3)));
    };
    if (platform::isMainThread())
        runInBackground(reset);
    else
        reset();
}
