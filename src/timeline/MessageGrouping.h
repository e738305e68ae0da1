#pragma once
// The conversations of the direct messages, as a pure function of the two streams: received messages grouped by
// sender, sent messages by recipient, a sent group joining the received group of the same correspondent, each
// group in the order its messages came. The list controller makes the conversation rows from them.
#include "cells/CellTypes.h"

#include <cstdint>
#include <vector>

namespace messagegrouping {

// The first group whose last message was sent by / to `userId`, or -1.
int findBySender(const std::vector<MessageCellArray>& groups, std::uint64_t userId);
int findByRecipient(const std::vector<MessageCellArray>& groups, std::uint64_t userId);

// The conversations: the received groups in the order of their newest message, then the sent groups of people who
// never wrote back. Cells without a message record are left out.
std::vector<MessageCellArray> groupMessages(const CellArray& received, const CellArray& sent);

} // namespace messagegrouping
