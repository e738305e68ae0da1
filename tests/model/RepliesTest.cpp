// The one place that decides what an answer came to: every window and list reads its failures from here.
#include "model/Replies.h"

#include <gtest/gtest.h>

namespace {

using weibo::Reply;
using weibo::TransferFailure;
using weibo::TransferOutcome;

Reply<std::string> answered(const std::string& body, long status = 200)
{
    TransferOutcome outcome;
    outcome.httpStatus = status;
    if (status >= 500)
        outcome.failure = TransferFailure::ServerError;
    else if (status >= 400)
        outcome.failure = TransferFailure::Refused;
    return Reply<std::string>(body, outcome);
}

TEST(Replies, TheServiceErrorObjectIsARefusalWithItsOwnTextAndCodeWhateverTheStatus)
{
    const std::string error = R"({"error":"repeated content","error_code":"20019","request":"/statuses/update.json"})";
    for (const long status : {200L, 400L}) {
        const auto posted = weibo::recordOf<weibo::WBStatus>(answered(error, status));
        EXPECT_FALSE(posted.ok());
        EXPECT_EQ(posted.outcome.failure, TransferFailure::Refused);
        EXPECT_EQ(posted.outcome.errorText, "repeated content");
        EXPECT_EQ(posted.outcome.errorCode, 20019);
        EXPECT_EQ(posted.outcome.httpStatus, status);
    }
    // A refused token is told apart, in either form of the code.
    EXPECT_EQ(weibo::outcomeOf(answered(R"({"error":"40111:Error: token invalid","error_code":401})")).failure,
              TransferFailure::AuthRefused);
    EXPECT_EQ(weibo::doneOf(answered(R"({"error_code":40111})", 401)).outcome.failure, TransferFailure::AuthRefused);
    // A server error keeps its kind and status; its page is nobody's words.
    const auto broken = weibo::recordsOf<weibo::WBStatus>(answered("<html>502</html>", 502));
    EXPECT_EQ(broken.outcome.failure, TransferFailure::ServerError);
    EXPECT_TRUE(broken.outcome.errorText.empty());
}

TEST(Replies, WhatCannotBeReadIsUnreadableAndAPartlyReadablePageKeepsItsGoodItems)
{
    for (const char* body : {"", "<html>", "[{\"id\":1"}) {
        SCOPED_TRACE(body);
        EXPECT_EQ(weibo::recordsOf<weibo::WBStatus>(answered(body)).outcome.failure, TransferFailure::Unreadable);
    }
    // An answer that must carry a record and carries none.
    EXPECT_EQ(weibo::recordOf<weibo::WBUser>(answered("[]")).outcome.failure, TransferFailure::Unreadable);
    EXPECT_EQ(weibo::friendshipOf(answered("{}")).outcome.failure, TransferFailure::Unreadable);
    EXPECT_EQ(weibo::unreadOf(answered("[]")).outcome.failure, TransferFailure::Unreadable);

    // An id given as text, a negative id, an id of 2^64+1, a count of 1e308: each drops its own item only.
    const std::string hostile = R"([{"id": 5, "text": "good", "user": {"id": 1}},
        {"id": "6", "text": "string id"}, {"id": -7, "text": "negative"}, {"id": 18446744073709551617, "text": "huge"},
        {"id": 8, "text": "count", "user": {"id": 1, "followers_count": 1e308}},
        {"id": 9, "text": "also good", "user": {"id": 1, "followers_count": -1}}])";
    const auto page = weibo::recordsOf<weibo::WBStatus>(answered(hostile));
    EXPECT_TRUE(page.ok());
    ASSERT_EQ(page.value.size(), 2u);
    EXPECT_EQ(page.value[0]->id, 5u);
    EXPECT_EQ(page.value[1]->id, 9u);
    // A whole page of such items says so instead of looking like a page with nothing new.
    const auto none = weibo::recordsOf<weibo::WBStatus>(answered(R"([{"id": "6"}, {"id": -7}])"));
    EXPECT_EQ(none.outcome.failure, TransferFailure::Unreadable);
    EXPECT_TRUE(weibo::recordsOf<weibo::WBStatus>(answered("[]")).ok());

    // A write whose answer is not read is done on any success, an empty one included.
    EXPECT_TRUE(weibo::doneOf(answered("")).value);
    EXPECT_TRUE(weibo::doneOf(answered(R"({"result":true})")).value);
}

TEST(Replies, ATransferFailureTravelsWithItsKindAndTheTransportWordsStayInTheDetail)
{
    TransferOutcome timedOut;
    timedOut.failure = TransferFailure::TimedOut;
    timedOut.detail = "Operation too slow. Less than 64 bytes/sec transferred the last 30 seconds";
    const auto lists = weibo::listsOf(Reply<std::string>(std::string(), timedOut));
    EXPECT_EQ(lists.outcome.failure, TransferFailure::TimedOut);
    EXPECT_EQ(lists.outcome.detail, timedOut.detail);
    EXPECT_TRUE(lists.outcome.errorText.empty());

    // The outcome the user needs from several requests: the first failure, unless a later one refuses the token.
    TransferOutcome kept;
    weibo::noteOutcome(kept, TransferOutcome());
    EXPECT_TRUE(kept.ok());
    weibo::noteOutcome(kept, timedOut);
    weibo::noteOutcome(kept, weibo::failureOf(TransferFailure::Connection));
    EXPECT_EQ(kept.failure, TransferFailure::TimedOut);
    weibo::noteOutcome(kept, weibo::failureOf(TransferFailure::AuthRefused));
    EXPECT_EQ(kept.failure, TransferFailure::AuthRefused);
}

} // namespace
