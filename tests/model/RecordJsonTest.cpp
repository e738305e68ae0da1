#include "model/RecordJson.h"

#include "ModelFixtures.h"

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <climits>
#include <sstream>

using namespace weibo;

namespace {

// Every field, nested records included, as print() writes them: two records print alike exactly when equal.
template <class Record>
std::string fields(const Record& record) {
    std::ostringstream out;
    record.print(out);
    return out.str();
}

// Writes the record and reads it back as the stored lists do; answers the fields read.
template <class Record>
std::string readBack(const Record& record) {
    const std::string json = toJson(record);
    const std::vector<boost::shared_ptr<Record>> read = parseString<Record>(json);
    if (read.size() != 1)
        return "not read back: " + json;
    return fields(*read.front());
}

// Texts a record may hold: the service's markup, escapes of every kind, control characters, a NUL, bytes that are
// not UTF-8, a character beyond the BMP, and text that looks like a JSON escape of half an emoji.
const std::vector<std::string> kHostileTexts = {
    "<a href=\"http://127.0.0.1:8470/app\" rel=\"nofollow\">网页</a>",
    "back\\slash \\\" \\n \\ud83d and / solidus",
    std::string("nul\0in the middle", 17),
    "\x01\x02\x08\x09\x0a\x0c\x0d\x1b\x1f\x7f",
    "\xff\xfe broken \xc0\x80 \x80 \xed\xa0\x80 \xf4\x90\x80\x80",
    "😀 emoji \u2028 line separator \u2029",
    "true",
};

}  // namespace

TEST(RecordJson, EveryFixtureRecordReadsBackEqual) {
    for (const char* name : {"statuses_home.json", "status_posted.json"})
        for (const auto& status : parseString<WBStatus>(fixture(name)))
            EXPECT_EQ(readBack(*status), fields(*status)) << name << " " << status->id;
    const auto comments = parseString<WBComment>(fixture("comments_timeline.json"));
    const auto messages = parseString<WBMessage>(fixture("direct_messages.json"));
    const auto users = parseString<WBUser>(fixture("user_show.json"));
    ASSERT_FALSE(comments.empty());
    ASSERT_FALSE(messages.empty());
    ASSERT_FALSE(users.empty());
    for (const auto& comment : comments)
        EXPECT_EQ(readBack(*comment), fields(*comment)) << comment->id;
    for (const auto& message : messages)
        EXPECT_EQ(readBack(*message), fields(*message)) << message->id;
    for (const auto& user : users)
        EXPECT_EQ(readBack(*user), fields(*user)) << user->id;
}

TEST(RecordJson, HostileTextsAndExtremeNumbersReadBackEqual) {
    for (const std::string& text : kHostileTexts) {
        auto user = boost::make_shared<WBUser>();
        user->id = UINT64_MAX;
        user->screen_name = user->name = user->description = user->location = text;
        user->followers_count = INT_MIN;
        user->friends_count = INT_MAX;
        user->statuses_count = -1;
        user->following = user->verified = true;

        auto status = boost::make_shared<WBStatus>();
        status->id = 1;
        status->text = status->source = status->in_reply_to_status_id = status->original_pic = text;
        status->favorited = status->truncated = true;
        status->user = user;
        EXPECT_EQ(readBack(*status), fields(*status)) << text;

        WBComment comment;
        comment.id = UINT64_MAX - 1;
        comment.text = text;
        comment.user = user;
        comment.status = status;
        EXPECT_EQ(readBack(comment), fields(comment)) << text;

        WBMessage message;
        message.id = 7;
        message.text = message.sender_screen_name = text;
        message.sender_id = UINT64_MAX;
        message.sender = user;
        EXPECT_EQ(readBack(message), fields(message)) << text;
    }
}

// Nested records the parser builds only when their key is there must come back even when they hold nothing but
// defaults, and the ones it always builds must come back when absent.
TEST(RecordJson, NestedRecordsKeepTheirPresence) {
    WBStatus repostOfNothing;
    repostOfNothing.id = 3;
    repostOfNothing.text = "转发";
    repostOfNothing.retweeted_status = boost::make_shared<WBStatus>();
    EXPECT_EQ(readBack(repostOfNothing), fields(repostOfNothing));
    repostOfNothing.retweeted_status.reset();
    EXPECT_EQ(readBack(repostOfNothing), fields(repostOfNothing));

    WBComment reply;
    reply.id = 4;
    reply.text = "回复";
    reply.reply_comment = boost::make_shared<WBComment>();
    EXPECT_EQ(readBack(reply), fields(reply));

    // A repost of a repost of a repost.
    auto deepest = boost::make_shared<WBStatus>(repostOfNothing);
    for (std::uint64_t id = 10; id < 13; ++id) {
        auto outer = boost::make_shared<WBStatus>(*deepest);
        outer->id = id;
        outer->retweeted_status = deepest;
        deepest = outer;
    }
    EXPECT_EQ(readBack(*deepest), fields(*deepest));
}

TEST(RecordJson, TheGivenFavouriteFlagIsWrittenInsteadOfTheRecords) {
    auto status = parseString<WBStatus>(fixture("status_posted.json")).at(0);
    const bool flag = status->favorited;
    const auto flipped = parseString<WBStatus>(toJson(*status, !flag)).at(0);
    EXPECT_EQ(flipped->favorited, !flag);
    flipped->favorited = flag;
    EXPECT_EQ(fields(*flipped), fields(*status));
}
