#pragma once
// What a download through the toolkit's network access (pictures, avatars, web pages of the service) came to, in the
// same terms as a request of the service's client, so that the user reads the same reasons for both.
#include "service/Reply.h"

class QNetworkReply;

namespace platform {

// The outcome of a finished reply: its network error or HTTP status (4xx Refused, 5xx ServerError). A reply
// aborted by its transfer time-out is TimedOut.
weibo::TransferOutcome outcomeOfReply(const QNetworkReply& reply);

} // namespace platform
