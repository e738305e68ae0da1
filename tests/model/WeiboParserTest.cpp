#include "model/WeiboParser.h"

#include "ModelFixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace weibo;

namespace {

Json::Value json(const std::string& text) {
    Json::Value root;
    Json::Reader reader;
    EXPECT_TRUE(reader.parse(text, root, false)) << text;
    return root;
}

// A status answer with one field replaced, for trying one JSON kind against one conversion.
std::string statusWith(const std::string& key, const std::string& value) {
    return R"({"id": 42, "text": "文本", ")" + key + R"(": )" + value + "}";
}

}  // namespace

TEST(WeiboRecords, IdAcceptsNonNegativeNumbersAndBooleansAndRefusesTheRest) {
    EXPECT_EQ(WBUser(json(R"({"id": 1404376560})")).id, 1404376560u);
    EXPECT_EQ(WBUser(json(R"({"id": 18446744073709551615})")).id, UINT64_MAX);
    EXPECT_EQ(WBUser(json(R"({"id": 3.5})")).id, 3u);
    EXPECT_EQ(WBUser(json(R"({"id": true})")).id, 1u);
    EXPECT_EQ(WBUser(json(R"({"id": false})")).id, 0u);
    EXPECT_EQ(WBUser(json(R"({"id": null})")).id, 0u);
    EXPECT_EQ(WBUser(json("{}")).id, 0u);

    for (const char* refused : {"-1", "-0.5", "\"11142488790\"", "[1]", "{\"a\": 1}", "1.8446744073709552e19",
                                "1e300"}) {
        EXPECT_THROW(WBUser(json(std::string(R"({"id": )") + refused + "}")), Json::Exception) << refused;
        EXPECT_TRUE(parseString<WBStatus>(statusWith("id", refused)).empty()) << refused;
    }
}

TEST(WeiboRecords, CountAcceptsIntRangeNumbersAndBooleansAndRefusesTheRest) {
    EXPECT_EQ(WBUser(json(R"({"followers_count": -5})")).followers_count, -5);
    EXPECT_EQ(WBUser(json(R"({"followers_count": 2147483647})")).followers_count, 2147483647);
    EXPECT_EQ(WBUser(json(R"({"followers_count": 7.9})")).followers_count, 7);
    EXPECT_EQ(WBUser(json(R"({"followers_count": -7.9})")).followers_count, -7);
    EXPECT_EQ(WBUser(json(R"({"followers_count": true})")).followers_count, 1);
    EXPECT_EQ(WBUser(json(R"({"followers_count": null})")).followers_count, 0);

    for (const char* refused : {"\"12\"", "[]", "{}", "2147483648", "-2147483649", "1e10"}) {
        EXPECT_THROW(WBUser(json(std::string(R"({"followers_count": )") + refused + "}")), Json::Exception)
            << refused;
        EXPECT_TRUE(parseString<WBUser>(std::string(R"({"id": 1, "screen_name": "a", "followers_count": )") +
                                        refused + "}")
                        .empty())
            << refused;
    }
}

TEST(WeiboRecords, TextAcceptsStringsAndBooleansAndRefusesNumbers) {
    // Identifier-like keys of a status are text: an empty string is fine, a number is not.
    WBStatus replied(json(statusWith("in_reply_to_status_id", R"("")")));
    EXPECT_EQ(replied.in_reply_to_status_id, "");
    EXPECT_EQ(WBStatus(json(statusWith("in_reply_to_status_id", R"("11140998877")"))).in_reply_to_status_id,
              "11140998877");
    EXPECT_EQ(WBStatus(json(statusWith("source", "true"))).source, "true");
    EXPECT_EQ(WBStatus(json(statusWith("source", "false"))).source, "false");
    EXPECT_EQ(WBStatus(json(statusWith("source", "null"))).source, "");
    // Bytes stay exactly as sent, escapes decoded and embedded NULs kept.
    EXPECT_EQ(WBStatus(json(statusWith("source", R"("\u4e2d\u0000x")"))).source, std::string("中\0x", 5));

    for (const char* refused : {"11140998877", "0", "1.5", "-3", "[\"a\"]", "{}"}) {
        EXPECT_THROW(WBStatus(json(statusWith("in_reply_to_status_id", refused))), Json::Exception) << refused;
        EXPECT_TRUE(parseString<WBStatus>(statusWith("in_reply_to_user_id", refused)).empty()) << refused;
    }
}

TEST(WeiboRecords, FlagNeverFailsAndFollowsTruthiness) {
    const std::pair<const char*, bool> cases[] = {
        {"true", true},   {"false", false}, {"0", false},    {"1", true},       {"-2", true},
        {"0.0", false},   {"2.5", true},    {"\"\"", false}, {"\"false\"", true}, {"[]", false},
        {"[0]", true},    {"{}", false},    {"{\"a\": 0}", true}, {"null", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WBUser(json(std::string(R"({"verified": )") + c.first + "}")).verified, c.second) << c.first;
}

TEST(WeiboRecords, AbsentAndNullKeysGiveDefaultsAndAlwaysPresentNestedRecords) {
    WBStatus bare(json("{}"));
    EXPECT_EQ(bare.id, 0u);
    EXPECT_TRUE(bare.text.empty());
    EXPECT_FALSE(bare.favorited);
    ASSERT_TRUE(bare.user);
    EXPECT_EQ(bare.user->id, 0u);
    EXPECT_TRUE(bare.user->screen_name.empty());
    EXPECT_FALSE(bare.retweeted_status);
    EXPECT_FALSE(WBStatus(json(R"({"retweeted_status": null})")).retweeted_status);

    // A null node (what an absent key looks up to) is a record of defaults, not a failure.
    WBComment orphan(Json::Value::nullSingleton());
    ASSERT_TRUE(orphan.user && orphan.status);
    EXPECT_EQ(orphan.status->id, 0u);
    EXPECT_FALSE(orphan.reply_comment);

    WBMessage message(json(R"({"id": 7, "text": "在吗"})"));
    ASSERT_TRUE(message.sender && message.recipient);
    EXPECT_EQ(message.sender->id, 0u);
    EXPECT_TRUE(message.isValid());

    WBFriendship friendship(json("{}"));
    ASSERT_TRUE(friendship.source && friendship.target);
    EXPECT_FALSE(friendship.source->following);

    EXPECT_EQ(WBUnread(json("{}")).new_status, -1);
    EXPECT_EQ(WBUnread(json(R"({"new_status": null})")).new_status, -1);
    EXPECT_EQ(WBUnread(json(R"({"new_status": 0})")).new_status, 0);

    // A node read by key that is neither object nor null cannot be a record.
    EXPECT_THROW(WBStatus(json("[1, 2]")), Json::Exception);
    EXPECT_THROW(WBStatus(json(R"({"id": 1, "text": "a", "user": "李小梅"})")), Json::Exception);
    EXPECT_THROW(WBComment(json(R"({"id": 1, "text": "a", "reply_comment": 5})")), Json::Exception);
}

TEST(WeiboRecords, EmotionPhraseLosesOnlyAMatchingPairOfBrackets) {
    const auto phraseOf = [](const std::string& phrase) {
        Json::Value node(Json::objectValue);
        node["phrase"] = phrase;
        return WBEmotion(node).phrase;
    };
    EXPECT_EQ(phraseOf("[哈哈]"), "哈哈");
    EXPECT_EQ(phraseOf("[哈哈]").size(), 6u);
    EXPECT_EQ(phraseOf("[x]"), "x");
    EXPECT_EQ(phraseOf("[]"), "[]");
    EXPECT_EQ(phraseOf("[坏笑"), "[坏笑");
    EXPECT_EQ(phraseOf("坏笑]"), "坏笑]");
    EXPECT_EQ(phraseOf("good"), "good");
    EXPECT_EQ(phraseOf("[[嘻嘻]]"), "[嘻嘻]");
}

TEST(WeiboRecords, ValidityLooksAtTheRecordItselfOnly) {
    EXPECT_TRUE(WBStatus(json(R"({"id": 1, "text": "a"})")).isValid());
    EXPECT_FALSE(WBStatus(json(R"({"id": 1, "text": ""})")).isValid());
    EXPECT_TRUE(WBComment(json(R"({"id": 1, "text": "a", "status": {"id": 0}})")).isValid());
    EXPECT_FALSE(WBUser(json(R"({"id": 1, "name": "a"})")).isValid());
    EXPECT_TRUE(WBUser(json(R"({"id": 1, "screen_name": "a"})")).isValid());
    EXPECT_FALSE(WBList(json(R"({"id": 0, "name": "a"})")).isValid());
    EXPECT_FALSE(WBEmotion(json(R"({"phrase": "[a]", "type": "face"})")).isValid());
    EXPECT_TRUE(WBVideo(json(R"({"type": "video"})")).isValid());
    for (const char* type : {R"("Video")", R"("")", R"("video ")", "null"})
        EXPECT_FALSE(WBVideo(json(std::string(R"({"url": "u", "type": )") + type + "}")).isValid()) << type;
    EXPECT_FALSE(WBSuggestionAtUser(json(R"({"uid": "1", "nickname": ""})")).isValid());
    EXPECT_FALSE(WBUserStatus(json(R"({"id": 1, "screen_name": "a", "status": {"id": 2}})")).isValid());
    EXPECT_TRUE(WBUserStatus(json(R"({"id": 1, "screen_name": "a"})")).isValid());
}

TEST(WeiboRecords, PrintShowsEveryFieldWithNestedRecordsIndentedAndTextsOnOneLine) {
    const auto statuses = parseString<WBStatus>(
        R"([{"id": 11, "text": "第一行\n他说 \"好\" \\", "favorited": true,)"
        R"( "user": {"id": 5, "screen_name": "张三", "followers_count": 7},)"
        R"( "retweeted_status": {"id": 10, "text": "原文", "user": {"id": 6, "screen_name": "李四"}}}])");
    ASSERT_EQ(statuses.size(), 1u);
    std::ostringstream out;
    statuses[0]->print(out);
    const std::string text = out.str();

    EXPECT_EQ(text.compare(0, 9, "WBStatus\n"), 0) << text;
    EXPECT_NE(text.find("\n  id: 11\n"), std::string::npos) << text;
    // A line break, quote or backslash in a text cannot start a line of its own or end the value early.
    EXPECT_NE(text.find("\n  text: \"第一行\\n他说 \\\"好\\\" \\\\\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n  favorited: true\n  truncated: false\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n  user: WBUser\n    id: 5\n    screen_name: \"张三\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n    followers_count: 7\n"), std::string::npos) << text;
    // The repost is one level in, its author two, and its own missing repost says so.
    EXPECT_NE(text.find("\n  retweeted_status: WBStatus\n    created_at: \"\"\n    id: 10\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n    user: WBUser\n      id: 6\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n    retweeted_status: (none)\n"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');

    // Records without nesting print the same way.
    std::ostringstream unread;
    WBUnread().print(unread);
    EXPECT_EQ(unread.str(), "WBUnread\n  comments: 0\n  followers: 0\n  new_status: -1\n  dm: 0\n  mentions: 0\n");
}

TEST(WeiboParsing, HomeTimelineKeepsValidStatusesInOrderWithNestedReposts) {
    const auto statuses = parseString<WBStatus>(fixture("statuses_home.json"));
    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_EQ(statuses[0]->id, 11142488790u);
    EXPECT_EQ(statuses[1]->id, 11142302155u);
    EXPECT_EQ(statuses[2]->id, 11141000001u);

    const WBStatus& first = *statuses[0];
    EXPECT_EQ(first.created_at, "Wed Aug 27 13:08:45 +0800 2008");
    EXPECT_EQ(first.text, "今天北京的天气真好，去颐和园走走 [哈哈] http://127.0.0.1:8470/s/h4Dr2k #周末#");
    EXPECT_EQ(first.source, R"(<a href="http://127.0.0.1:8470/app/plumet" rel="nofollow">Plumet</a>)");
    EXPECT_EQ(first.thumbnail_pic, "http://127.0.0.1:8470/pic/thumbnail/5e0f9b1cjw6dlf3kx2p3dj.jpg");
    EXPECT_EQ(first.original_pic, "http://127.0.0.1:8470/pic/large/5e0f9b1cjw6dlf3kx2p3dj.jpg");
    EXPECT_FALSE(first.retweeted_status);
    EXPECT_EQ(first.user->screen_name, "李小梅");
    EXPECT_EQ(first.user->location, "北京 海淀区");
    EXPECT_EQ(first.user->province, "11");
    EXPECT_EQ(first.user->statuses_count, 5873);
    EXPECT_TRUE(first.user->following);

    const WBStatus& repost = *statuses[1];
    EXPECT_TRUE(repost.favorited);
    EXPECT_TRUE(repost.thumbnail_pic.empty());
    ASSERT_TRUE(repost.retweeted_status);
    EXPECT_EQ(repost.retweeted_status->id, 11139876543u);
    EXPECT_EQ(repost.retweeted_status->user->screen_name, "王大伟");
    EXPECT_TRUE(repost.retweeted_status->user->verified);
    EXPECT_EQ(repost.retweeted_status->bmiddle_pic, "http://127.0.0.1:8470/pic/bmiddle/7a3c2d1egw1dlf2mz9q0tj.gif");
    EXPECT_FALSE(repost.retweeted_status->retweeted_status);

    EXPECT_EQ(statuses[2]->in_reply_to_status_id, "11140998877");
    EXPECT_EQ(statuses[2]->in_reply_to_screen_name, "张伟_Zhang");
    EXPECT_FALSE(statuses[2]->retweeted_status);
}

TEST(WeiboParsing, CommentsMessagesUsersEmotionsAndSuggestionsFromServiceAnswers) {
    const auto comments = parseString<WBComment>(fixture("comments_timeline.json"));
    ASSERT_EQ(comments.size(), 3u);
    EXPECT_EQ(comments[0]->status->id, 11142488790u);
    ASSERT_TRUE(comments[0]->reply_comment);
    EXPECT_EQ(comments[0]->reply_comment->text, "拍了好多照片，晚上发");
    EXPECT_EQ(comments[0]->reply_comment->user->screen_name, "李小梅");
    EXPECT_FALSE(comments[1]->reply_comment);
    EXPECT_EQ(comments[2]->status->id, 0u);  // the commented status is gone; the comment stays

    const auto messages = parseString<WBMessage>(fixture("direct_messages.json"));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0]->sender_id, 1645123987u);
    EXPECT_EQ(messages[0]->recipient->screen_name, "李小梅");
    EXPECT_EQ(messages[1]->text, "好的，不见不散 😀");
    EXPECT_EQ(messages[1]->sender->id, 0u);

    const auto users = parseString<WBUser>(fixture("user_show.json"));
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0]->followers_count, 23871);
    EXPECT_EQ(users[0]->gender, "m");

    const auto emotions = parseString<WBEmotion>(fixture("emotions.json"));
    ASSERT_EQ(emotions.size(), 5u);  // the one without a picture address is dropped
    EXPECT_EQ(emotions[0]->phrase, "哈哈");
    EXPECT_TRUE(emotions[0]->is_hot);
    EXPECT_EQ(emotions[2]->category, "动物");
    EXPECT_EQ(emotions[2]->order_number, 30);
    EXPECT_EQ(emotions[3]->phrase, "[]");
    EXPECT_EQ(emotions[4]->phrase, "[坏笑");

    const auto suggestions = parseString<WBSuggestionAtUser>(fixture("suggestions_at_users.json"));
    ASSERT_EQ(suggestions.size(), 2u);
    EXPECT_EQ(suggestions[0]->remark, "老王");
    EXPECT_EQ(suggestions[1]->nickname, "张伟_Zhang");
}

TEST(WeiboParsing, ElementOrArrayRuleTellsRecordsFromErrorObjects) {
    EXPECT_TRUE(parseString<WBStatus>("[]").empty());
    EXPECT_EQ(parseString<WBStatus>(fixture("status_posted.json")).size(), 1u);
    EXPECT_TRUE(parseString<WBStatus>(fixture("error_v1.json")).empty());
    EXPECT_TRUE(parseString<WBStatus>(fixture("error_v2.json")).empty());
    EXPECT_TRUE(parseString<WBStatus>(R"({"id": 1, "text": "a", "error": "20019:重复"})").empty());
    EXPECT_TRUE(parseString<WBStatus>(R"({"id": 1, "text": "a", "error_code": "400"})").empty());
    EXPECT_TRUE(parseString<WBStatus>(R"({"id": 1, "text": "a", "error_code": 0})").empty());
    EXPECT_EQ(parseString<WBStatus>(R"({"id": 1, "text": "a", "error": null, "error_code": null})").size(), 1u);
    for (const char* notRecords : {"null", "\"text\"", "42", "true", "", "   ", "<html>502</html>", "[", "{\"id\": 1,"})
        EXPECT_TRUE(parseString<WBStatus>(notRecords).empty()) << notRecords;
    // Error objects inside an array are just invalid elements.
    EXPECT_EQ(parseString<WBStatus>(R"([{"error": "x"}, {"id": 1, "text": "a"}, null])").size(), 1u);
}

TEST(WeiboParsing, ListsAndListMembersWithCursors) {
    const auto lists = parseLists(fixture("user_lists.json"));
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0]->full_name, "@李小梅/同事");
    EXPECT_EQ(lists[0]->member_count, 12);
    EXPECT_EQ(lists[1]->mode, "public");
    EXPECT_EQ(lists[1]->user->id, 1404376560u);
    EXPECT_TRUE(parseLists(fixture("statuses_home.json")).empty());  // root must be an object
    EXPECT_TRUE(parseLists(R"({"lists": null})").empty());
    EXPECT_EQ(parseLists(R"({"lists": {"id": 3, "name": "家人"}})").size(), 1u);

    int previous = 9, next = 9, total = 9;
    const auto members = parseListMembers(fixture("list_members.json"), previous, next, total);
    ASSERT_EQ(members.size(), 3u);  // the member whose latest status is unusable is dropped
    EXPECT_EQ(members[0]->user->screen_name, "王大伟");
    EXPECT_TRUE(members[0]->user->verified);
    ASSERT_TRUE(members[0]->status);
    EXPECT_EQ(members[0]->status->id, 11139876543u);
    EXPECT_FALSE(members[1]->status);
    EXPECT_EQ(members[2]->user->id, 1780000002u);
    EXPECT_FALSE(members[2]->status);
    EXPECT_EQ(previous, 0);
    EXPECT_EQ(next, 4);
    EXPECT_EQ(total, 37);

    EXPECT_TRUE(parseListMembers(R"({"users": [], "previous_cursor": 2})", previous, next, total).empty());
    EXPECT_EQ(previous, 2);
    EXPECT_EQ(next, 0);
    EXPECT_EQ(total, 0);

    // Unusable answers reset the numbers, so a caller paging by cursor stops.
    for (const char* unusable : {"not json", "[1, 2]", R"({"users": [], "next_cursor": "4"})"}) {
        previous = next = total = 9;
        EXPECT_TRUE(parseListMembers(unusable, previous, next, total).empty()) << unusable;
        EXPECT_EQ(previous + next + total, 0) << unusable;
    }
    // A member that cannot be read is left out on its own; a page of nothing else is a failed page, which is what
    // stops the paging (its typed reply says so).
    PageShape shape;
    EXPECT_TRUE(parseListMembers(R"({"users": [7], "next_cursor": 4})", previous, next, total, &shape).empty());
    EXPECT_EQ(shape.unreadable, 1u);
}

TEST(WeiboParsing, CountsKeepTheFirstEntryOfEachStatusIdWithoutValidityTest) {
    const WBCountTable table = parseCounts(fixture("counts.json"));
    ASSERT_EQ(table.size(), 3u);
    const auto first = table.find(11142488790u);
    ASSERT_NE(first, table.end());
    EXPECT_EQ((*first)->comments, 12);
    EXPECT_EQ((*first)->rt, 3);
    EXPECT_EQ((*table.find(11142302155u))->rt, 27);
    EXPECT_NE(table.find(0u), table.end());
    EXPECT_EQ(table.find(1u), table.end());

    EXPECT_EQ(parseCounts(R"({"id": 5, "comments": 1, "rt": 2})").size(), 1u);
    EXPECT_TRUE(parseCounts(R"({"error": "21301:auth faild!", "error_code": "403"})").empty());
    const WBCountTable partly = parseCounts(R"([{"id": 5, "comments": 1}, {"id": 6, "rt": "2"}])");
    EXPECT_EQ(partly.size(), 1u);
    EXPECT_NE(partly.find(5u), partly.end());
}

TEST(WeiboParsing, UnreadIsAnOptionalRecordOfAnyObject) {
    const auto unread = parseUnread(fixture("unread.json"));
    ASSERT_TRUE(unread);
    EXPECT_EQ(unread->comments, 3);
    EXPECT_EQ(unread->followers, 1);
    EXPECT_EQ(unread->new_status, 12);
    EXPECT_EQ(unread->dm, 2);
    EXPECT_EQ(unread->mentions, 5);

    const auto empty = parseUnread("{}");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->comments, 0);
    EXPECT_EQ(empty->new_status, -1);
    const auto error = parseUnread(fixture("error_v1.json"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->new_status, -1);

    for (const char* unusable : {"[]", "null", "3", ""})
        EXPECT_FALSE(parseUnread(unusable)) << unusable;

    // A counter that is not a whole number from 0 up reads as not reported (-1), the others as sent.
    const auto hostile =
        parseUnread(R"({"dm": "2", "new_status": [1], "comments": -1, "mentions": 1e308, "followers": 2147483647})");
    ASSERT_TRUE(hostile);
    EXPECT_EQ(hostile->dm, -1);
    EXPECT_EQ(hostile->new_status, -1);
    EXPECT_EQ(hostile->comments, -1);
    EXPECT_EQ(hostile->mentions, -1);
    EXPECT_EQ(hostile->followers, 2147483647);
}

TEST(WeiboParsing, FriendshipAndVideo) {
    const auto friendship = parseFriendship(fixture("friendship.json"));
    ASSERT_TRUE(friendship);
    EXPECT_TRUE(friendship->source->following);
    EXPECT_FALSE(friendship->source->followed_by);
    EXPECT_EQ(friendship->target->screen_name, "王大伟");
    EXPECT_TRUE(friendship->target->followed_by);
    ASSERT_TRUE(parseFriendship("null"));
    EXPECT_EQ(parseFriendship("null")->target->id, 0u);
    for (const char* unusable : {"", "[]", "\"x\"", R"({"source": [1]})", R"({"target": {"id": "1"}})"})
        EXPECT_FALSE(parseFriendship(unusable)) << unusable;

    const std::string info = fixture("sinaurl_info.json");
    const auto video = parseVideo(info, "h4Dr2k");
    ASSERT_TRUE(video);
    EXPECT_TRUE(video->isValid());
    EXPECT_EQ(video->title, "香山红叶航拍 4K");
    EXPECT_EQ(video->screen, "http://127.0.0.1:8470/v/still/XMTIzNDU2Nzg5.jpg");
    EXPECT_EQ(video->flash, "http://127.0.0.1:8470/v/player/XMTIzNDU2Nzg5/v.swf");
    EXPECT_EQ(video->mp4, "http://127.0.0.1:8470/v/mp4/XMTIzNDU2Nzg5.mp4");
    EXPECT_EQ(video->icon, "http://127.0.0.1:8470/v/icon.png");
    const auto music = parseVideo(info, "m9Qz1a");
    ASSERT_TRUE(music);  // returned untested; the caller checks validity
    EXPECT_FALSE(music->isValid());
    for (const char* key : {"absent", "x0None", "bad1", "", "code"})
        EXPECT_FALSE(parseVideo(info, key)) << key;
    for (const char* unusable : {R"({"data": null})", R"({"data": [{"k": {}}]})", "[]", "not json",
                                 R"({"data": {"k": {"type": "video", "title": 3}}})"})
        EXPECT_FALSE(parseVideo(unusable, "k")) << unusable;
}

TEST(WeiboParsing, ParseErrorFillsOnlyWhatTheAnswerCarries) {
    std::string error = "keep", code = "keep";
    parseError(fixture("error_v1.json"), error, code);
    EXPECT_EQ(error, "40025:Error: repeated weibo text!");
    EXPECT_EQ(code, "400");

    error = code = "keep";
    parseError(fixture("error_v2.json"), error, code);
    EXPECT_EQ(error, "expired_token");
    EXPECT_EQ(code, "21327");  // the version-2 numeric code, as its decimal text

    error = code = "keep";
    parseError(R"({"error_code": "403"})", error, code);
    EXPECT_EQ(error, "keep");
    EXPECT_EQ(code, "403");

    error = code = "keep";
    parseError(fixture("status_posted.json"), error, code);
    EXPECT_EQ(error, "keep");
    EXPECT_EQ(code, "keep");

    // Not JSON, or unreadable members: both stay as passed.
    for (const char* unchanged : {"", "<html>500</html>", R"({"error": "x", "error_code": [1]})",
                                  R"({"error": 12, "error_code": "400"})", R"({"error_code": 1.5})"}) {
        error = code = "keep";
        parseError(unchanged, error, code);
        EXPECT_EQ(error, "keep") << unchanged;
        EXPECT_EQ(code, "keep") << unchanged;
    }
    // Parses, but is no object: both emptied.
    for (const char* cleared : {"[]", "null", "\"error\""}) {
        error = code = "keep";
        parseError(cleared, error, code);
        EXPECT_EQ(error, "") << cleared;
        EXPECT_EQ(code, "") << cleared;
    }
}

TEST(WeiboParsing, ContainmentGivesEmptyResultsAndNeverThrows) {
    static_assert(noexcept(parseString<WBStatus>(std::string())), "parsers must not throw");
    static_assert(noexcept(parseCounts(std::string())), "parsers must not throw");

    // One bad value deep inside drops its own record only: a hostile item cannot take its page with it.
    std::string timeline = fixture("statuses_home.json");
    const std::size_t whole = parseString<WBStatus>(timeline).size();
    const std::string good = R"("id": 11142488790,)";
    const auto at = timeline.find(good);
    ASSERT_NE(at, std::string::npos);
    timeline.replace(at, good.size(), R"("id": "11142488790",)");
    PageShape shape;
    EXPECT_EQ(parseString<WBStatus>(timeline, &shape).size(), whole - 1);
    EXPECT_EQ(shape.unreadable, 1u);

    EXPECT_EQ(parseString<WBStatus>(R"([{"id": 1, "text": "a"}, 5])").size(), 1u);
    EXPECT_EQ(parseString<WBStatus>(R"([{"id": 1, "text": "a"}, [{"id": 2, "text": "b"}]])").size(), 1u);
    EXPECT_TRUE(parseString<WBComment>(R"([{"id": 1, "text": "a", "status": "deleted"}])").empty());
    EXPECT_TRUE(parseString<WBComment>(R"([{"id": 1, "text": "a", "reply_comment": {"id": -1}}])").empty());
    EXPECT_TRUE(parseString<WBMessage>(R"([{"id": 1, "text": "a", "sender": {"verified": true, "city": 3}}])")
                    .empty());
    EXPECT_TRUE(parseString<WBEmotion>(R"([{"phrase": "[a]", "type": "face", "url": "u", "order_number": "1"}])")
                    .empty());
    EXPECT_TRUE(parseString<WBSuggestionAtUser>(R"([{"uid": 1197161814, "nickname": "王大伟"}])").empty());
    EXPECT_TRUE(parseLists(R"({"lists": [{"id": 1, "name": "a", "user": [1]}]})").empty());

    // Nesting past the reader's depth limit makes JsonCpp throw from inside the parse itself.
    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    EXPECT_TRUE(parseString<WBStatus>(deep).empty());
    EXPECT_TRUE(parseCounts(deep).empty());
    std::string error = "keep", code = "keep";
    parseError(deep, error, code);
    EXPECT_EQ(error, "keep");

    // Reposts nested as deep as the reader allows still parse.
    std::string chain;
    for (int i = 0; i < 400; ++i)
        chain += R"({"id": 1, "text": "t", "retweeted_status": )";
    chain += "null" + std::string(400, '}');
    const auto nested = parseString<WBStatus>(chain);
    ASSERT_EQ(nested.size(), 1u);
    int depth = 0;
    for (auto s = nested[0]; s; s = s->retweeted_status)
        ++depth;
    EXPECT_EQ(depth, 400);
}

TEST(WeiboParsing, LoneSurrogateEscapeBecomesReplacementCharacterNotAnUnreadablePage) {
    // The second status carries half an emoji; the third a whole one, which stays.
    const std::string page =
        "[{\"id\":1,\"text\":\"a\",\"user\":{\"id\":7,\"screen_name\":\"x\"}},"
        "{\"id\":2,\"text\":\"cut \\ud83d here \\ude00 end\\ud800\",\"user\":{\"id\":7,\"screen_name\":\"x\"}},"
        "{\"id\":3,\"text\":\"\\ud83d\\ude00 \\\\ud800\",\"user\":{\"id\":7,\"screen_name\":\"x\"}}]";
    const auto statuses = weibo::parseString<weibo::WBStatus>(page);
    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_EQ(statuses[1]->text, "cut \xEF\xBF\xBD here \xEF\xBF\xBD end\xEF\xBF\xBD");
    // A whole pair is kept; an escaped backslash before "ud800" is text, not an escape.
    EXPECT_EQ(statuses[2]->text, "\xF0\x9F\x98\x80 \\ud800");
    EXPECT_TRUE(weibo::isReadableAnswer("[]"));
    EXPECT_FALSE(weibo::isReadableAnswer("[{\"id\":1,"));
    EXPECT_FALSE(weibo::isReadableAnswer("<html>502</html>"));
}
