// The direct-message conversations: the received and sent streams, their unread flags, and the conversations
// built from them. The streams are fetched in the list's turn; everything shown changes on the main thread.
#include "timeline/ConversationStreams.h"

#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "model/Replies.h"
#include "timeline/MessageGrouping.h"
#include "timeline/PXListViewController.h"
#include "timeline/TimelineHost.h"

#include <algorithm>

namespace {
using Required = PXListViewController::RequiredArguments;
using Options = WeiboOptions;
}

weibo::TransferOutcome ConversationStreams::fetchMessagesWithMode(int mode)
{
    std::uint64_t unread = 0;
    weibo::TransferOutcome counted;
    if (mode == PXListViewController::kModeInitial || mode == PXListViewController::kModeNewer) {
        // Counters that could not be read change nothing: the conversations keep the unread count they show.
        unread = list_.unreadCount();
        const auto counters = weibo::unreadOf(list_.weiboInstance()->statusUnread(weibo::SinaWeiboOptions()));
        counted = counters.outcome;
        if (counters.ok() && counters.value && counters.value->dm >= 0)
            unread = std::uint64_t(counters.value->dm);
    }
    const weibo::TransferOutcome fetched = fetchMessagesWithUnread(unread, mode).outcome;
    return counted.ok() ? fetched : counted;
}

weibo::Reply<std::size_t> ConversationStreams::fetchMessagesWithUnread(std::uint64_t unread, int mode)
{
    // The two streams are fetched in one turn of the list: refreshes of the conversations wait for each other
    // instead of mixing their streams.
    const std::uint64_t generation = list_.loader_.generation();
    const auto turn = list_.loader_.turn();
    const weibo::Reply<std::size_t> received = fetchReceivedMessageWithUnread(unread, mode);
    const weibo::Reply<std::size_t> sent = fetchSentMessageWithMode(mode);
    list_.loader_.applyOnMain(generation, [&] {
        if (received.ok())
            syncReceivedMessagesWithUnread(unread);
        if (received.value != 0 || sent.value != 0)
            makeMessageGroups();
    });
    return received.ok() ? sent.with(received.value) : received;
}

messagegrouping::Bound ConversationStreams::boundOfStream(bool newest) const
{
    return [&list = list_, newest](const CellArray& cells) {
        return newest ? list.latestEntityIdOnCells(cells) : list.earliestEntityIdOnCells(cells);
    };
}

weibo::Reply<std::size_t> ConversationStreams::fetchReceivedMessageWithUnread(std::uint64_t unread, int mode)
{
    const std::uint64_t generation = list_.loader_.generation();
    const auto turn = list_.loader_.turn();
    const auto request = messagegrouping::receivedRequest(mode, unread, *list_.receivedMessageCells(), boundOfStream(true),
                                                          boundOfStream(false));
    if (!request.valid)
        return weibo::Reply<std::size_t>(0, weibo::TransferOutcome());
    const weibo::Reply<CellArray> cells = list_.fetchPagesWithOperation(
        [&list = list_](const Required&, const Options& options) { return list.receivedMessagesWithOptions(options); },
        Required(), request.options);
    list_.loader_.applyOnMain(generation, [&] {
        list_.store_.merge(cells.value, mode, ListStore::Array::Received);
        if (request.setUnread && cells.ok())
            list_.setUnreadCount(unread);
    });
    return cells.with(cells.value.size());
}

weibo::Reply<std::size_t> ConversationStreams::fetchSentMessageWithMode(int mode)
{
    const std::uint64_t generation = list_.loader_.generation();
    const auto turn = list_.loader_.turn();
    const PXListViewController::FetchOperation sentStream = [&list = list_](const Required&, const Options& options) {
        return list.sentMessagesWithOptions(options);
    };
    const auto request = messagegrouping::sentRequest(mode, *list_.receivedMessageCells(), *list_.sentMessageCells(),
                                                      boundOfStream(true), boundOfStream(false));
    if (!request.valid)
        return weibo::Reply<std::size_t>(0, weibo::TransferOutcome());
    weibo::Reply<CellArray> cells = list_.fetchPagesWithOperation(sentStream, Required(), request.options);
    if (request.fallback && cells.ok() && cells.value.empty())
        cells = list_.fetchPagesWithOperation(sentStream, Required(), *request.fallback);
    list_.applyMerge(generation, cells.value, mode, 0, ListStore::Array::Sent);
    return cells.with(cells.value.size());
}

void ConversationStreams::syncReceivedMessagesWithUnread(std::uint64_t unread)
{
    // The flags are read by the rows and the message windows on the main thread; they change there too.
    const auto received = list_.receivedMessageCells();
    for (std::size_t i = 0; i < received->size(); ++i)
        static_cast<TimelineCellMessage*>((*received)[i].get())->setUnread(i < unread);
}

void ConversationStreams::makeMessageGroups()
{
    std::uint64_t openGroupId = 0;
    if (list_.host_ && list_.host_->isDrawerOpenOrOpening())
        if (auto* group = dynamic_cast<TimelineCellMessageGroup*>(list_.host_->activeDataCell().get()))
            openGroupId = group->groupId();

    CellArray rows;
    for (const MessageCellArray& messages :
         messagegrouping::groupMessages(*list_.receivedMessageCells(), *list_.sentMessageCells())) {
        auto group = std::make_shared<TimelineCellMessageGroup>(messages);
        group->setListViewController(&list_);
        group->sortMessages();
        rows.push_back(std::move(group));
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const CellPtr& a, const CellPtr& b) { return a->entityId() > b->entityId(); });
    list_.setDataOfCells(rows);
    // The open drawer keeps showing the same correspondent, now through the new row.
    if (openGroupId != 0 && list_.host_)
        list_.host_->setActiveDataCell(messageGroupById(openGroupId));
}

MessageGroupCellPtr ConversationStreams::messageGroupById(std::uint64_t userId) const
{
    for (const CellPtr& cell : *list_.dataOfCells())
        if (auto group = std::dynamic_pointer_cast<TimelineCellMessageGroup>(cell))
            if (group->groupId() == userId)
                return group;
    return nullptr;
}
