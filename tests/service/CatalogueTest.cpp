// Every operation of the endpoint catalogue, as the loopback server receives it.
#include "LoopbackServer.h"

#include "service/WeiboAPI.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using servicetest::Captured;
using servicetest::LoopbackServer;
using weibo::SinaWeibo;
using weibo::SinaWeiboOptions;

const char* const kConsumerKey = "5127730916";
const char* const kConsumerSecret = "9f1c0a7e52d84b3690e1c7a4f2b85d03";
const char* const kSignedCallNames =
    "oauth_consumer_key,oauth_nonce,oauth_signature,oauth_signature_method,oauth_timestamp,oauth_token,oauth_version";

void signIn(SinaWeibo& client, const LoopbackServer& server)
{
    client.setBaseUrls(server.origin(), server.origin() + "/2");
    client.oAuth().setConsumerKey(kConsumerKey);
    client.oAuth().setConsumerSecret(kConsumerSecret);
    client.oAuth().setOAuthTokenKey("access-token");
    client.oAuth().setOAuthTokenSecret("access-secret");
}

// Every member present, each with a value that shows where it went.
SinaWeiboOptions everyOption()
{
    SinaWeiboOptions o;
    o.user_id_ = 1;
    o.uid_ = 2;
    o.screen_name_ = std::string("a b&c");
    o.since_id_ = 4;
    o.min_id_ = 5;
    o.max_id_ = 6;
    o.count_ = 7;
    o.page_ = 8;
    o.base_app_ = 9;
    o.feature_ = 10;
    o.in_reply_to_status_id_ = 11;
    o.latitude_ = 39.9042f;
    o.longtitude_ = 116.407f;
    o.annotations_ = std::string("[{\"k\":1}]");
    o.cid_ = 15;
    o.without_mention_ = 16;
    o.comment_ori_ = 17;
    o.status_ = std::string("转发 #话题#");
    o.is_comment_ = 19;
    o.with_new_status_ = 20;
    o.type_ = std::string("face");
    o.language_ = std::string("cnname");
    o.listType_ = 23;
    o.cursor_ = -1;
    o.source_id_ = 18446744073709551615ull;
    o.source_screen_name_ = std::string("x=y");
    o.target_id_ = 27;
    o.target_screen_name_ = std::string("名字");
    o.range_ = 29;
    return o;
}

struct Row {
    const char* name;
    std::function<std::string(SinaWeibo&)> call;
    const char* method;
    const char* path;  // as sent, from the server's root
    const char* sent;  // the query (GET, DELETE) or the body (POST), exactly as sent
};

TEST(SinaWeiboCatalogue, EveryOperationSendsItsMethodPathParametersAndSignature)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server);
    const SinaWeiboOptions o = everyOption();
    const std::string paged = "since_id=4&max_id=6&count=7&page=8";

    const std::vector<Row> rows = {
        {"timelinePublic", [&](SinaWeibo& c) { return c.timelinePublic(o); }, "GET",
         "/statuses/public_timeline.json", "count=7&base_app=9"},
        {"timelineFriends", [&](SinaWeibo& c) { return c.timelineFriends(o); }, "GET",
         "/statuses/friends_timeline.json", "since_id=4&max_id=6&count=7&page=8&base_app=9&feature=10"},
        {"timelineUser", [&](SinaWeibo& c) { return c.timelineUser(o); }, "GET", "/statuses/user_timeline.json",
         "user_id=1&screen_name=a%20b%26c&since_id=4&max_id=6&count=7&page=8&base_app=9&feature=10"},
        {"timelineMentions", [&](SinaWeibo& c) { return c.timelineMentions(o); }, "GET", "/statuses/mentions.json",
         paged.c_str()},
        {"timelineCommentsToMe", [&](SinaWeibo& c) { return c.timelineCommentsToMe(o); }, "GET",
         "/statuses/comments_to_me.json", paged.c_str()},
        {"timelineCommentsByMe", [&](SinaWeibo& c) { return c.timelineCommentsByMe(o); }, "GET",
         "/statuses/comments_by_me.json", paged.c_str()},
        {"timelineAllMyComments", [&](SinaWeibo& c) { return c.timelineAllMyComments(o); }, "GET",
         "/statuses/comments_timeline.json", paged.c_str()},
        {"timelineComments", [&](SinaWeibo& c) { return c.timelineComments(5, o); }, "GET", "/statuses/comments.json",
         "id=5&count=7&page=8"},
        {"directMessages", [&](SinaWeibo& c) { return c.directMessages(o); }, "GET", "/direct_messages.json",
         paged.c_str()},
        {"directMessagesSent", [&](SinaWeibo& c) { return c.directMessagesSent(o); }, "GET",
         "/direct_messages/sent.json", paged.c_str()},
        {"favorites", [&](SinaWeibo& c) { return c.favorites(o); }, "GET", "/favorites.json", "page=8"},
        {"statusUnread", [&](SinaWeibo& c) { return c.statusUnread(o); }, "GET", "/statuses/unread.json",
         "with_new_status=20&since_id=4"},
        {"statusCounts", [&](SinaWeibo& c) { return c.statusCounts({1, 2, 3}); }, "GET", "/statuses/counts.json",
         "ids=1,2,3"},
        {"statusShowById", [&](SinaWeibo& c) { return c.statusShowById(5, o); }, "GET", "/statuses/show/:5.json", ""},
        {"userShow", [&](SinaWeibo& c) { return c.userShow(o); }, "GET", "/users/show.json",
         "user_id=1&screen_name=a%20b%26c"},
        {"accountVerify", [&](SinaWeibo& c) { return c.accountVerify(); }, "GET", "/account/verify_credentials.json",
         ""},
        {"emotions", [&](SinaWeibo& c) { return c.emotions(o); }, "GET", "/emotions.json", "type=face&language=cnname"},
        {"friendshipsShow", [&](SinaWeibo& c) { return c.friendshipsShow(o); }, "GET", "/friendships/show.json",
         "source_id=18446744073709551615&source_screen_name=x%3Dy&target_id=27&target_screen_name=%E5%90%8D%E5%AD%97"},
        {"friendshipsIds", [&](SinaWeibo& c) { return c.friendshipsIds(o); }, "GET", "/2/friendships/friends/ids.json",
         "uid=2&screen_name=a%20b%26c"},
        {"searchSuggestionsAtUsers", [&](SinaWeibo& c) { return c.searchSuggestionsAtUsers("张 三", 0, o); }, "GET",
         "/2/search/suggestions/at_users.json", "q=%E5%BC%A0%20%E4%B8%89&type=0&count=7&range=29"},
        {"userLists", [&](SinaWeibo& c) { return c.userLists("1904178193", o); }, "GET", "/1904178193/lists.json",
         "listType=23"},
        {"membersOfUserList", [&](SinaWeibo& c) { return c.membersOfUserList("1904178193", "77", o); }, "GET",
         "/1904178193/77/members.json", "cursor=-1"},
        {"isUserMemberOfList", [&](SinaWeibo& c) { return c.isUserMemberOfList("9", "1904178193", "my/list"); }, "GET",
         "/1904178193/my%2Flist/members/9.json", ""},

        {"statusUpdate", [&](SinaWeibo& c) { return c.statusUpdate("hello world & 你好", o); }, "POST",
         "/statuses/update.json",
         "annotations=%5B%7B%22k%22%3A1%7D%5D&in_reply_to_status_id=11&lat=39.9042&long=116.407"
         "&status=hello%20world%20%26%20%E4%BD%A0%E5%A5%BD"},
        {"statusRepost", [&](SinaWeibo& c) { return c.statusRepost(5, o); }, "POST", "/statuses/repost.json",
         "id=5&is_comment=19&status=%E8%BD%AC%E5%8F%91%20%23%E8%AF%9D%E9%A2%98%23"},
        {"statusComment", [&](SinaWeibo& c) { return c.statusComment(5, "nice", o); }, "POST", "/statuses/comment.json",
         "cid=15&comment=nice&comment_ori=17&id=5&without_mention=16"},
        {"statusReply", [&](SinaWeibo& c) { return c.statusReply(15, "re", 5, o); }, "POST", "/statuses/reply.json",
         "cid=15&comment=re&id=5&without_mention=16"},
        {"directMessagesNew", [&](SinaWeibo& c) { return c.directMessagesNew("bob", "hi", o); }, "POST",
         "/direct_messages/new.json", "id=bob&screen_name=a%20b%26c&text=hi&user_id=1"},
        {"favoritesCreate", [&](SinaWeibo& c) { return c.favoritesCreate(5); }, "POST", "/favorites/create.json",
         "id=5"},
        {"friendshipsCreate", [&](SinaWeibo& c) { return c.friendshipsCreate(o); }, "POST", "/friendships/create.json",
         "screen_name=a%20b%26c&user_id=1"},
        {"friendshipsDestroy", [&](SinaWeibo& c) { return c.friendshipsDestroy(o); }, "POST",
         "/friendships/destroy.json", "screen_name=a%20b%26c&user_id=1"},
        {"statusResetCount", [&](SinaWeibo& c) { return c.statusResetCount(2); }, "POST", "/statuses/reset_count.json",
         "type=2"},

        {"statusDestroyById", [&](SinaWeibo& c) { return c.statusDestroyById(5); }, "DELETE",
         "/statuses/destroy/5.json", ""},
        {"commentDestroyById", [&](SinaWeibo& c) { return c.commentDestroyById(6); }, "DELETE",
         "/statuses/comment_destroy/6.json", ""},
        {"favoritesDestroy", [&](SinaWeibo& c) { return c.favoritesDestroy(7); }, "DELETE",
         "/favorites/destroy/7.json", ""},
        {"directMessagesDestroyById", [&](SinaWeibo& c) { return c.directMessagesDestroyById(8); }, "DELETE",
         "/direct_messages/destroy/8.json", ""},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t before = server.count();
        const std::string body = row.call(client);
        ASSERT_EQ(server.count(), before + 1);
        const Captured r = server.last();
        EXPECT_EQ(body, "{\"path\":\"" + r.path + "\"}");
        EXPECT_EQ(r.method, row.method);
        EXPECT_EQ(r.path, row.path);
        const std::string sent = r.method == "POST" ? r.body : r.query;
        EXPECT_EQ(sent, row.sent);
        if (r.method == "GET" || r.method == "DELETE") {
            EXPECT_EQ(r.target.find('?') != std::string::npos, *row.sent != '\0');
            EXPECT_EQ(r.body, "");
        } else {
            EXPECT_EQ(r.contentType, "application/x-www-form-urlencoded");
        }
        EXPECT_EQ(r.authorizationCount, 1u);
        const auto header = servicetest::parseAuthorization(r.authorization);
        EXPECT_EQ(header.names(), kSignedCallNames);
        EXPECT_EQ(header.value("oauth_consumer_key"), kConsumerKey);
        EXPECT_EQ(header.value("oauth_token"), "access-token");
        EXPECT_EQ(servicetest::checkSignature(r, server.origin(), kConsumerSecret, "access-secret"), "");
    }
}

TEST(SinaWeiboCatalogue, AbsentOptionsAreLeftOut)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server);

    EXPECT_FALSE(client.timelineFriends().value.empty());
    EXPECT_EQ(server.last().target, "/statuses/friends_timeline.json");

    SinaWeiboOptions o;
    o.max_id_ = 99;
    o.count_ = 20;
    client.timelineFriends(o);
    EXPECT_EQ(server.last().query, "max_id=99&count=20");

    client.timelineComments(5);
    EXPECT_EQ(server.last().query, "id=5");
    SinaWeiboOptions page;
    page.page_ = 3;
    client.timelineComments(5, page);
    EXPECT_EQ(server.last().query, "id=5&page=3");

    SinaWeiboOptions sinceOnly;
    sinceOnly.since_id_ = 10;
    sinceOnly.min_id_ = 11;
    client.favorites(sinceOnly);
    EXPECT_EQ(server.last().target, "/favorites.json");
    client.timelineMentions(sinceOnly);
    EXPECT_EQ(server.last().query, "since_id=10");

    client.searchSuggestionsAtUsers("ab", 0);
    EXPECT_EQ(server.last().target, "/2/search/suggestions/at_users.json?q=ab&type=0");

    client.directMessagesNew("", "hi");
    EXPECT_EQ(server.last().body, "text=hi");

    SinaWeiboOptions small;
    small.latitude_ = 0.000012345f;
    small.longtitude_ = -120.5f;
    client.statusUpdate("s", small);
    EXPECT_EQ(server.last().body, "lat=1.2345e-05&long=-120.5&status=s");
    EXPECT_EQ(servicetest::checkSignature(server.last(), server.origin(), kConsumerSecret, "access-secret"), "");
}

TEST(SinaWeiboCatalogue, GuardedCallsMakeNoRequest)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server);
    const std::string picture = std::string(PLUMET_SOURCE_DIR) + "/tests/service/CMakeLists.txt";

    const std::vector<std::function<std::string()>> guarded = {
        [&] { return client.timelineComments(0); },
        [&] { return client.statusCounts({}); },
        [&] { return client.statusShowById(0); },
        [&] { return client.statusUpdate(""); },
        [&] { return client.statusUpload("", picture); },
        [&] { return client.statusRepost(0); },
        [&] { return client.statusComment(0, "x"); },
        [&] { return client.statusComment(5, ""); },
        [&] { return client.statusReply(0, "x", 5); },
        [&] { return client.statusReply(5, "x", 0); },
        [&] { return client.statusReply(5, "", 5); },
        [&] { return client.directMessagesNew("bob", ""); },
        [&] { return client.favoritesCreate(0); },
        [&] { return client.statusResetCount(0); },
        [&] { return client.statusDestroyById(0); },
        [&] { return client.commentDestroyById(0); },
        [&] { return client.favoritesDestroy(0); },
        [&] { return client.directMessagesDestroyById(0); },
    };
    for (std::size_t i = 0; i < guarded.size(); ++i)
        EXPECT_EQ(guarded[i](), "") << "guard " << i;
    EXPECT_EQ(server.count(), 0u);
}

} // namespace
