#pragma once
// The conversations list's two message streams (received and sent) and the conversations made of them: the part of
// the list controller that only the conversations use. It holds nothing of its own; it works on its list's store,
// loader and requests, so it is made where it is needed.
#include "cells/CellTypes.h"
#include "service/Reply.h"
#include "timeline/MessageGrouping.h"

#include <cstddef>
#include <cstdint>

class PXListViewController;

class ConversationStreams {
public:
    explicit ConversationStreams(PXListViewController& list) : list_(list) {}

    // The unread message count from the service (modes 1 and 2), then fetchMessagesWithUnread; the first failure.
    weibo::TransferOutcome fetchMessagesWithMode(int mode);
    // Received, then sent messages in the list's turn; on the main thread the streams, the unread flags and the
    // conversations. Answers the number of received messages fetched and the first failure.
    weibo::Reply<std::size_t> fetchMessagesWithUnread(std::uint64_t unread, int mode);
    weibo::Reply<std::size_t> fetchReceivedMessageWithUnread(std::uint64_t unread, int mode);
    weibo::Reply<std::size_t> fetchSentMessageWithMode(int mode);
    // The newest `unread` received messages are unread, the others read. Main thread.
    void syncReceivedMessagesWithUnread(std::uint64_t unread);
    // The conversations rebuilt from the two streams; an open conversation stays on its correspondent. Main thread.
    void makeMessageGroups();
    MessageGroupCellPtr messageGroupById(std::uint64_t userId) const;

private:
    // The newest or oldest id of a message stream (fakes left out).
    messagegrouping::Bound boundOfStream(bool newest) const;

    PXListViewController& list_;
};
