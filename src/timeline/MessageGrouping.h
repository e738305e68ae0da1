#pragma once
// The conversations of the direct messages, as a pure function of the two streams: received messages grouped by
// sender, sent messages by recipient, a sent group joining the received group of the same correspondent, each
// group in the order its messages came. The list controller makes the conversation rows from them.
#include "cells/CellTypes.h"

#include "service/WeiboAPI.h"

#include <boost/optional.hpp>

#include <cstdint>
#include <functional>
#include <vector>

namespace messagegrouping {

// The first group whose last message was sent by / to `userId`, or -1.
int findBySender(const std::vector<MessageCellArray>& groups, std::uint64_t userId);
int findByRecipient(const std::vector<MessageCellArray>& groups, std::uint64_t userId);

// The conversations: the received groups in the order of their newest message, then the sent groups of people who
// never wrote back. Cells without a message record are left out.
std::vector<MessageCellArray> groupMessages(const CellArray& received, const CellArray& sent);

// The request of one stream of a message fetch by mode (1 initial, 2 newer, 3 older), from the bounds of what the
// streams hold (`newest` and `oldest` give a stream's bounds, fakes left out). Received: an initial or first newer
// load asks for the unread ones and 50 more; a later newer load everything newer, and the fetched count becomes the
// unread count (`setUnread`). Sent: never older than the oldest received message, which the received side could not
// show (modes 1 and 3); `fallback` is the request to make when mode 3 finds none of those.
struct StreamRequest {
    weibo::SinaWeiboOptions options;
    bool setUnread = false;
    bool valid = true;
    boost::optional<weibo::SinaWeiboOptions> fallback;
};
using Bound = std::function<std::uint64_t(const CellArray&)>;
StreamRequest receivedRequest(int mode, std::uint64_t unread, const CellArray& received, const Bound& newest,
                              const Bound& oldest);
StreamRequest sentRequest(int mode, const CellArray& received, const CellArray& sent, const Bound& newest,
                          const Bound& oldest);

} // namespace messagegrouping
