// Raw HTTP tests of the development service running in-process: the signature and token checks,
// paging, counters, writes, uploads, web pages and files, and bad input of every kind.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "DevServerTestSupport.h"
#include "devserver/Codec.h"
#include "devserver/DevServer.h"
#include "devserver/Media.h"

using namespace dstest;

namespace {

class Server : public ::testing::Test {
protected:
    void SetUp() override { startServer(); }

    void startServer() {
        options.port = 0;
        options.dbPath = dir.file("devserver.sqlite");
        server = std::make_unique<devserver::DevServer>(options);
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        api = std::make_unique<Api>("127.0.0.1", server->port());
        demo = {server->demo().accessToken, server->demo().accessTokenSecret};
    }

    // One value of a SQL query against the server's database, read through a separate connection.
    std::string sql(const std::string& query) { return sqlAt(options.dbPath, query); }
    static std::string sqlAt(const std::string& path, const std::string& query) {
        sqlite3* db = nullptr;
        std::string out;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(db, query.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW &&
                sqlite3_column_text(st, 0))
                out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        return out;
    }

    std::vector<std::uint64_t> ids(const Reply& r) {
        std::vector<std::uint64_t> out;
        for (auto& v : r.json) out.push_back(v["id"].asUInt64());
        return out;
    }

    TempDir dir;
    devserver::Options options;
    std::unique_ptr<devserver::DevServer> server;
    std::unique_ptr<Api> api;
    Credentials demo;
};

const std::string kHome = "/statuses/friends_timeline.json";

}  // namespace

TEST_F(Server, SignatureFailuresAnswerTheErrorObject) {
    EXPECT_EQ(api->get(kHome, {}, demo).status, 200);
    EXPECT_TRUE(isError(api->plain(kHome), 401));  // no Authorization header

    httplib::Headers garbage{{"Authorization", "OAuth nonsense"}};
    EXPECT_TRUE(isError(toReply(api->http().Get(kHome.c_str(), garbage)), 401));

    Call c;
    c.path = kHome;
    c.consumerSecret = "not-the-secret";
    EXPECT_TRUE(isError(api->send(c, demo), 401));
    c = Call();
    c.path = kHome;
    c.consumerKey = "1234567890";
    EXPECT_TRUE(isError(api->send(c, demo), 401));
    c = Call();
    c.path = kHome;
    c.timestamp = std::time(nullptr) - 3600;
    Reply stale = api->send(c, demo);
    EXPECT_TRUE(isError(stale, 401));
    EXPECT_NE(stale.json["error"].asString().find("timestamp"), std::string::npos);
    EXPECT_TRUE(isError(api->get(kHome, {}, {"unknowntoken", demo.secret}), 401));
    EXPECT_TRUE(isError(api->get(kHome, {}, {demo.token, "wrong-secret"}), 401));

    // Signed for one request, sent as another: other path, other parameter value.
    std::string target;
    Call signedFor;
    signedFor.path = kHome;
    signedFor.query = {{"count", "5"}};
    std::string header = authorization(api->base(), signedFor, demo, &target);
    Reply moved = toReply(api->http().Get("/statuses/mentions.json?count=5", {{"Authorization", header}}));
    EXPECT_TRUE(isError(moved, 401));
    EXPECT_EQ(moved.json["request"].asString(), "/statuses/mentions.json");
    EXPECT_TRUE(isError(toReply(api->http().Get((kHome + "?count=6").c_str(), {{"Authorization", header}})), 401));
    EXPECT_EQ(toReply(api->http().Get(target.c_str(), {{"Authorization", header}})).status, 200);
    // The same header again is a replay.
    Reply replay = toReply(api->http().Get(target.c_str(), {{"Authorization", header}}));
    EXPECT_TRUE(isError(replay, 401));
    EXPECT_NE(replay.json["error"].asString().find("nonce"), std::string::npos);
}

TEST_F(Server, QueryValuesMayBeRawUtf8OrPercentEncoded) {
    Call c;
    c.path = "/statuses/user_timeline.json";
    c.query = {{"screen_name", "张三"}, {"count", "3"}};
    Reply encoded = api->send(c, demo);
    c.rawQuery = true;
    Reply raw = api->send(c, demo);
    ASSERT_EQ(encoded.status, 200) << encoded.body;
    ASSERT_EQ(raw.status, 200) << raw.body;
    EXPECT_EQ(encoded.body, raw.body);
    ASSERT_EQ(encoded.json.size(), 3u);
    EXPECT_EQ(encoded.json[0]["user"]["screen_name"].asString(), "张三");
    // Both bases answer the same operations.
    EXPECT_EQ(api->get("/2/statuses/user_timeline.json", {{"screen_name", "张三"}, {"count", "3"}}, demo).body, encoded.body);
}

TEST_F(Server, UnknownPathsMethodsAndBadParametersGetErrorObjects) {
    EXPECT_TRUE(isError(api->get("/statuses/no_such_thing.json", {}, demo), 404));
    EXPECT_TRUE(isError(api->plain("/no/such/page"), 404));
    EXPECT_TRUE(isError(toReply(api->http().Put("/statuses/update.json", "x", "text/plain")), 405));
    EXPECT_TRUE(isError(api->get("/statuses/update.json", {{"status", "x"}}, demo), 405));
    EXPECT_TRUE(isError(api->post(kHome, {}, demo), 405));

    for (const Pairs& q : std::vector<Pairs>{{{"count", "abc"}}, {{"since_id", "-1"}}, {{"max_id", "1e9"}},
                                              {{"page", "0"}}, {{"count", "99999999999999"}}, {{"count", "-5"}}})
        EXPECT_TRUE(isError(api->get(kHome, q, demo), 400)) << q[0].first << "=" << q[0].second;
    EXPECT_TRUE(isError(api->get("/statuses/comments.json", {}, demo), 400));
    EXPECT_TRUE(isError(api->get("/statuses/comments.json", {{"id", "x"}}, demo), 400));
    EXPECT_TRUE(isError(api->get("/statuses/comments.json", {{"id", "42"}}, demo), 404));
    EXPECT_TRUE(isError(api->get("/statuses/counts.json", {{"ids", "1,x"}}, demo), 400));
    std::string many;
    for (int i = 1; i <= 101; ++i) many += (i > 1 ? "," : "") + std::to_string(i);
    EXPECT_TRUE(isError(api->get("/statuses/counts.json", {{"ids", many}}, demo), 400));
    EXPECT_TRUE(isError(api->get("/users/show.json", {}, demo), 400));
    EXPECT_TRUE(isError(api->get("/users/show.json", {{"screen_name", "没有这个人"}}, demo), 404));
    EXPECT_TRUE(isError(api->post("/statuses/update.json", {}, demo), 400));
    EXPECT_TRUE(isError(api->post("/statuses/update.json", {{"status", "   "}}, demo), 400));
    EXPECT_TRUE(isError(api->post("/statuses/update.json", {{"status", std::string(300, 'a')}}, demo), 400));
    EXPECT_TRUE(isError(api->post("/statuses/update.json", {{"status", "\xff\xfe broken"}}, demo), 400));
    EXPECT_TRUE(isError(api->post("/statuses/update.json", {{"status", "ok"}, {"lat", "north"}}, demo), 400));
    EXPECT_TRUE(isError(api->del("/statuses/destroy/abc.json", demo), 400));
    EXPECT_TRUE(isError(api->post("/statuses/reset_count.json", {{"type", "9"}}, demo), 400));
    EXPECT_TRUE(isError(api->get("/99999/lists.json", {}, demo), 404));
    EXPECT_TRUE(isError(api->plain(kHome + "?count=" + std::string(20000, '9')), 414));
    EXPECT_TRUE(isError(api->plain("/pic/large/s99999.png"), 404));
    Reply garbled = api->get(kHome, {{"count", "\xff\xfe"}}, demo);  // not UTF-8: the error object still is
    EXPECT_TRUE(isError(garbled, 400));
    EXPECT_NE(garbled.json["error"].asString().find("??"), std::string::npos);
    EXPECT_TRUE(isError(api->plain("/%ff%fe.json"), 401));
    EXPECT_TRUE(isError(api->plain("/expression/99999999999999999999.png"), 404));

    // SQL metacharacters are data, nothing more.
    const std::string evil = "'); DROP TABLE statuses; -- \" OR 1=1 %_";
    Reply posted = api->post("/statuses/update.json", {{"status", evil}}, demo);
    ASSERT_EQ(posted.status, 200) << posted.body;
    EXPECT_EQ(posted.json["text"].asString(), evil);
    EXPECT_TRUE(isError(api->get("/users/show.json", {{"screen_name", "x' OR '1'='1"}}, demo), 404));
    EXPECT_EQ(api->get("/2/search/suggestions/at_users.json", {{"q", "%"}, {"type", "0"}}, demo).json.size(), 0u);
    EXPECT_EQ(api->get(kHome, {{"count", "1"}}, demo).json[0]["text"].asString(), evil);
    EXPECT_EQ(sql("PRAGMA integrity_check"), "ok");
}

TEST_F(Server, PagingFollowsSinceMaxCountAndPage) {
    Reply first = api->get(kHome, {{"count", "10"}}, demo);
    ASSERT_EQ(first.json.size(), 10u);
    auto top = ids(first);
    for (std::size_t i = 1; i < top.size(); ++i) EXPECT_GT(top[i - 1], top[i]);  // newest first
    EXPECT_EQ(api->get(kHome, {}, demo).json.size(), 20u);                     // default count
    EXPECT_EQ(api->get(kHome, {{"count", "500"}}, demo).json.size(), 200u);    // at most 200

    // since_id is exclusive, max_id inclusive; page continues where the first page ended.
    EXPECT_EQ(ids(api->get(kHome, {{"since_id", std::to_string(top[3])}}, demo)),
              std::vector<std::uint64_t>(top.begin(), top.begin() + 3));
    auto older = ids(api->get(kHome, {{"max_id", std::to_string(top[4])}, {"count", "3"}}, demo));
    EXPECT_EQ(older, std::vector<std::uint64_t>(top.begin() + 4, top.begin() + 7));
    auto page2 = ids(api->get(kHome, {{"count", "5"}, {"page", "2"}}, demo));
    EXPECT_EQ(page2, std::vector<std::uint64_t>(top.begin() + 5, top.begin() + 10));

    // Comments of a status by count and page: 120 and more comments give two full pages of 50 and the rest.
    std::string heavy = sql("SELECT status_id FROM comments GROUP BY status_id HAVING count(*) >= 120");
    ASSERT_FALSE(heavy.empty());
    const unsigned total = static_cast<unsigned>(std::stoi(sql("SELECT count(*) FROM comments WHERE status_id = " + heavy)));
    ASSERT_LT(total, 150u);
    std::set<std::uint64_t> seen;
    for (int page = 1; page <= 4; ++page) {
        Reply r = api->get("/statuses/comments.json", {{"id", heavy}, {"count", "50"}, {"page", std::to_string(page)}}, demo);
        EXPECT_EQ(r.json.size(), page < 3 ? 50u : page == 3 ? total - 100 : 0u);
        for (auto& cm : r.json) {
            seen.insert(cm["id"].asUInt64());
            EXPECT_EQ(cm["status"]["id"].asString(), heavy);
        }
    }
    EXPECT_EQ(seen.size(), total);
    // Favourites by page of 20.
    EXPECT_EQ(api->get("/favorites.json", {}, demo).json.size(), 20u);
    EXPECT_EQ(api->get("/favorites.json", {{"page", "2"}}, demo).json.size(), 5u);
    EXPECT_EQ(api->get("/favorites.json", {{"page", "3"}}, demo).json.size(), 0u);
}

TEST_F(Server, ListMembersArePagedByCursor) {
    std::string me = std::to_string(server->demo().userId);
    Reply lists = api->get("/" + me + "/lists.json", {{"listType", "1"}}, demo);
    ASSERT_EQ(lists.json["lists"].size(), 2u);
    std::string big;
    for (auto& l : lists.json["lists"])
        if (l["member_count"].asInt() > 250) big = l["id"].asString();
    ASSERT_FALSE(big.empty());
    std::set<std::uint64_t> members;
    int cursor = -1, pages = 0;
    do {
        Reply r = api->get("/" + me + "/" + big + "/members.json", {{"cursor", std::to_string(cursor)}}, demo);
        ASSERT_EQ(r.status, 200) << r.body;
        EXPECT_EQ(r.json["total_number"].asInt(), 282);
        for (auto& u : r.json["users"]) members.insert(u["id"].asUInt64());
        cursor = r.json["next_cursor"].asInt();
        ASSERT_LT(++pages, 100);
    } while (cursor != 0);
    EXPECT_EQ(members.size(), 282u);
    EXPECT_GE(pages, 13);
    // Another user's private list is not shown; a list under the wrong owner does not exist.
    std::string other = sql("SELECT owner_id || '/' || id FROM lists WHERE owner_id <> " + me);
    std::string privateList = sql("SELECT id FROM lists WHERE mode = 'private'");
    EXPECT_EQ(api->get("/" + other + "/members.json", {}, demo).status, 200);
    sqlite3* db = nullptr;
    sqlite3_open(options.dbPath.c_str(), &db);
    sqlite3_exec(db, ("UPDATE lists SET mode = 'private' WHERE id = " + other.substr(other.find('/') + 1)).c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_TRUE(isError(api->get("/" + other + "/members.json", {}, demo), 403));
    EXPECT_TRUE(isError(api->get("/1600000002/" + privateList + "/members.json", {}, demo), 404));
    std::string member = sql("SELECT user_id FROM list_members WHERE list_id = " + big + " LIMIT 1");
    EXPECT_EQ(api->get("/" + me + "/" + big + "/members/" + member + ".json", {}, demo).json["id"].asString(), member);
    EXPECT_TRUE(isError(api->get("/" + me + "/" + big + "/members/" + me + ".json", {}, demo), 404));
}

TEST_F(Server, UnreadCountersRiseWithActivityAndResetByType) {
    for (int t = 1; t <= 4; ++t) EXPECT_EQ(api->post("/statuses/reset_count.json", {{"type", std::to_string(t)}}, demo).status, 200);
    api->get(kHome, {}, demo);  // reading the newest page clears new_status
    Reply zero = api->get("/statuses/unread.json", {}, demo);
    for (auto key : {"comments", "mentions", "dm", "followers", "new_status"}) EXPECT_EQ(zero.json[key].asInt(), 0) << key;

    server->activityTick();
    server->activityTick();
    Reply raised = api->get("/statuses/unread.json", {}, demo);
    EXPECT_EQ(raised.json["comments"].asInt(), 2);
    EXPECT_EQ(raised.json["mentions"].asInt(), 2);
    EXPECT_EQ(raised.json["dm"].asInt(), 2);
    EXPECT_EQ(raised.json["followers"].asInt(), 2);
    EXPECT_GT(raised.json["new_status"].asInt(), 0);
    EXPECT_EQ(api->get("/statuses/mentions.json", {{"count", "2"}}, demo).json[0]["text"].asString().find("@演示账号"), 0u);

    api->post("/statuses/reset_count.json", {{"type", "1"}}, demo);
    api->post("/statuses/reset_count.json", {{"type", "3"}}, demo);
    Reply after = api->get("/statuses/unread.json", {}, demo);
    EXPECT_EQ(after.json["comments"].asInt(), 0);
    EXPECT_EQ(after.json["dm"].asInt(), 0);
    EXPECT_EQ(after.json["mentions"].asInt(), 2);
    api->post("/statuses/reset_count.json", {{"type", "2"}}, demo);
    EXPECT_EQ(api->get("/statuses/unread.json", {}, demo).json["mentions"].asInt(), 0);
}

TEST_F(Server, WritesAnswerTheRecordsTheyMakeOrRemove) {
    const std::string me = std::to_string(server->demo().userId);
    Reply mine = api->post("/statuses/update.json", {{"status", "新的一条 @张三 #测试# [哈哈]"}}, demo);
    ASSERT_EQ(mine.status, 200) << mine.body;
    std::string id = mine.json["id"].asString();
    EXPECT_EQ(mine.json["user"]["id"].asString(), me);

    // Reposting a repost reposts the original; is_comment 3 comments on both.
    std::string repostOf = sql("SELECT id FROM statuses WHERE retweeted_id IS NOT NULL AND user_id <> " + me + " LIMIT 1");
    std::string root = sql("SELECT retweeted_id FROM statuses WHERE id = " + repostOf);
    std::string commentsBefore = sql("SELECT count(*) FROM comments WHERE status_id IN (" + repostOf + "," + root + ")");
    Reply rp = api->post("/statuses/repost.json", {{"id", repostOf}, {"status", "转发 //@someone:原文"}, {"is_comment", "3"}}, demo);
    ASSERT_EQ(rp.status, 200) << rp.body;
    EXPECT_EQ(rp.json["retweeted_status"]["id"].asString(), root);
    EXPECT_EQ(std::stoi(sql("SELECT count(*) FROM comments WHERE status_id IN (" + repostOf + "," + root + ")")),
              std::stoi(commentsBefore) + 2);

    Reply cm = api->post("/statuses/comment.json", {{"id", repostOf}, {"comment", "评论 [嘻嘻]"}, {"comment_ori", "1"}}, demo);
    ASSERT_EQ(cm.status, 200) << cm.body;
    EXPECT_EQ(cm.json["status"]["id"].asString(), repostOf);
    EXPECT_EQ(sql("SELECT count(*) FROM comments WHERE status_id = " + root + " AND text = '评论 [嘻嘻]'"), "1");

    std::string otherComment = sql("SELECT c.id FROM comments c JOIN statuses s ON s.id = c.status_id WHERE c.user_id <> " + me +
                                   " AND s.user_id <> " + me + " ORDER BY c.id DESC LIMIT 1");
    std::string itsStatus = sql("SELECT status_id FROM comments WHERE id = " + otherComment);
    std::string otherName = sql("SELECT u.screen_name FROM comments c JOIN users u ON u.id = c.user_id WHERE c.id = " + otherComment);
    Reply reply = api->post("/statuses/reply.json", {{"cid", otherComment}, {"id", itsStatus}, {"comment", "谢谢"}}, demo);
    ASSERT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(reply.json["text"].asString(), "回复@" + otherName + ":谢谢");
    EXPECT_EQ(reply.json["reply_comment"]["id"].asString(), otherComment);
    Reply plainReply = api->post("/statuses/reply.json", {{"cid", otherComment}, {"id", itsStatus}, {"comment", "不提名字"}, {"without_mention", "1"}}, demo);
    EXPECT_EQ(plainReply.json["text"].asString(), "不提名字");
    EXPECT_TRUE(isError(api->post("/statuses/reply.json", {{"cid", otherComment}, {"id", id}, {"comment", "x"}}, demo), 400));

    // Deleting: own statuses and comments only; the answer is the removed record.
    std::string notMine = sql("SELECT id FROM statuses WHERE user_id <> " + me + " LIMIT 1");
    EXPECT_TRUE(isError(api->del("/statuses/destroy/" + notMine + ".json", demo), 403));
    EXPECT_TRUE(isError(api->del("/statuses/comment_destroy/" + otherComment + ".json", demo), 403));
    Reply gone = api->del("/statuses/comment_destroy/" + reply.json["id"].asString() + ".json", demo);
    EXPECT_EQ(gone.json["id"].asString(), reply.json["id"].asString());
    Reply removed = api->del("/statuses/destroy/" + id + ".json", demo);
    EXPECT_EQ(removed.json["id"].asString(), id);
    EXPECT_TRUE(isError(api->del("/statuses/destroy/" + id + ".json", demo), 404));

    // Favourites.
    Reply fav = api->post("/favorites/create.json", {{"id", notMine}}, demo);
    EXPECT_TRUE(fav.json["favorited"].asBool());
    EXPECT_TRUE(isError(api->post("/favorites/create.json", {{"id", notMine}}, demo), 403));
    EXPECT_EQ(api->get("/favorites.json", {}, demo).json[0]["id"].asString(), notMine);
    Reply unfav = api->del("/favorites/destroy/" + notMine + ".json", demo);
    EXPECT_FALSE(unfav.json["favorited"].asBool());
    EXPECT_TRUE(isError(api->del("/favorites/destroy/" + notMine + ".json", demo), 403));

    // Friendships: 吴昊 is not followed at first.
    EXPECT_FALSE(api->get("/friendships/show.json", {{"target_screen_name", "吴昊"}}, demo).json["source"]["following"].asBool());
    EXPECT_TRUE(api->post("/friendships/create.json", {{"screen_name", "吴昊"}}, demo).json["following"].asBool());
    Reply rel = api->get("/friendships/show.json", {{"target_screen_name", "吴昊"}}, demo);
    EXPECT_TRUE(rel.json["source"]["following"].asBool());
    EXPECT_TRUE(rel.json["source"]["followed_by"].asBool());
    EXPECT_TRUE(isError(api->post("/friendships/create.json", {{"screen_name", "吴昊"}}, demo), 403));
    EXPECT_FALSE(api->post("/friendships/destroy.json", {{"screen_name", "吴昊"}}, demo).json["following"].asBool());
    EXPECT_TRUE(isError(api->post("/friendships/create.json", {{"user_id", me}}, demo), 403));

    // Direct messages by screen name and by user id.
    Reply dm1 = api->post("/direct_messages/new.json", {{"screen_name", "李四"}, {"text", "你好"}}, demo);
    ASSERT_EQ(dm1.status, 200) << dm1.body;
    EXPECT_EQ(dm1.json["recipient_screen_name"].asString(), "李四");
    std::string lisi = dm1.json["recipient_id"].asString();
    Reply dm2 = api->post("/direct_messages/new.json", {{"user_id", lisi}, {"text", "再见"}}, demo);
    EXPECT_EQ(dm2.json["recipient_id"].asString(), lisi);
    EXPECT_EQ(api->get("/direct_messages/sent.json", {{"count", "1"}}, demo).json[0]["id"], dm2.json["id"]);
    EXPECT_TRUE(isError(api->post("/direct_messages/new.json", {{"text", "给谁"}}, demo), 400));
    EXPECT_TRUE(isError(api->post("/direct_messages/new.json", {{"screen_name", "没有这个人"}, {"text", "x"}}, demo), 404));
    EXPECT_EQ(api->del("/direct_messages/destroy/" + dm2.json["id"].asString() + ".json", demo).json["id"], dm2.json["id"]);
}

TEST_F(Server, UploadsStoreThePictureWithinTheSizeLimit) {
    const std::string png = devserver::statusPicturePng(9, 640, 480);
    auto upload = [&](const std::string& bytes, const std::string& text, const std::string& signedText) {
        Call c;
        c.method = "POST";
        c.path = "/statuses/upload.json";
        c.form = {{"status", signedText}};
        std::string header = authorization(api->base(), c, demo);
        c.form.clear();
        httplib::MultipartFormDataItems items{{"pic", bytes, "photo.png", "image/png"}, {"status", text, "", ""}};
        return toReply(api->http().Post("/statuses/upload.json", {{"Authorization", header}}, items));
    };
    Reply ok = upload(png, "带图片的微博", "带图片的微博");
    ASSERT_EQ(ok.status, 200) << ok.body;
    // The three sizes: 120 and 440 pixels wide, and the original as sent.
    const int widths[] = {120, 440, 640};
    int k = 0;
    for (auto key : {"thumbnail_pic", "bmiddle_pic", "original_pic"}) {
        std::string url = ok.json[key].asString();
        ASSERT_EQ(url.find(api->base()), 0u) << url;
        auto r = api->http().Get(url.substr(api->base().size()).c_str());
        ASSERT_TRUE(r);
        EXPECT_EQ(r->get_header_value("Content-Type"), "image/png");
        int w = 0, h = 0;
        std::vector<std::uint8_t> rgba;
        ASSERT_TRUE(devserver::decodePng(r->body, w, h, rgba)) << key;
        EXPECT_EQ(w, widths[k]);
        EXPECT_EQ(h, widths[k] * 3 / 4);
        ++k;
    }
    EXPECT_EQ(api->http().Get(ok.json["original_pic"].asString().substr(api->base().size()).c_str())->body, png);
    // The text fields take part in the signature; the picture does not.
    EXPECT_TRUE(isError(upload(png, "改过的文字", "带图片的微博"), 401));
    EXPECT_TRUE(isError(upload("#!/bin/sh\necho not a picture\n", "文字", "文字"), 400));
    // Too big: the error object, unless the service already closed the connection while the client was still
    // sending the rest (then there is no answer at all). Either way nothing is stored, as the next line shows.
    const Reply big = upload(std::string("\x89PNG\r\n\x1a\n", 8) + std::string(6u << 20, 'x'), "大", "大");
    EXPECT_TRUE(isError(big, 413) || big.status == 0) << big.status << " " << big.body;
    EXPECT_EQ(api->get(kHome, {{"count", "1"}}, demo).json[0]["text"].asString(), "带图片的微博");
}

TEST_F(Server, TokenExchangeByPinAndByXAuth) {
    // Request token, authorisation page, PIN, access token.
    Call rt;
    rt.path = "/oauth/request_token";
    Reply requestToken = api->send(rt, {});
    ASSERT_EQ(requestToken.status, 200) << requestToken.body;
    auto pairs = devserver::parseForm(requestToken.body);
    ASSERT_GE(pairs.size(), 2u);
    Credentials req{pairs[0].second, pairs[1].second};
    ASSERT_EQ(pairs[0].first, "oauth_token");
    auto pageReply = api->http().Get(("/oauth/authorize?oauth_token=" + req.token).c_str());
    ASSERT_TRUE(pageReply);
    EXPECT_NE(pageReply->body.find("<form"), std::string::npos);
    auto refused = api->http().Post("/oauth/authorize", formBody({{"oauth_token", req.token}, {"login", "demo@plumet.local"}, {"password", "bad"}}),
                                    "application/x-www-form-urlencoded");
    EXPECT_EQ(refused->status, 401);
    Call early;
    early.path = "/oauth/access_token";
    early.oauthExtra = {{"oauth_verifier", "123456"}};
    EXPECT_TRUE(isError(api->send(early, req), 401));  // not authorised yet
    auto granted = api->http().Post("/oauth/authorize",
                                    formBody({{"oauth_token", req.token}, {"login", "demo@plumet.local"}, {"password", "plumet"}}),
                                    "application/x-www-form-urlencoded");
    ASSERT_EQ(granted->status, 200);
    std::size_t at = granted->body.find("<span id=\"pin\">");
    ASSERT_NE(at, std::string::npos);
    std::string pin = granted->body.substr(at + 15, 6);
    EXPECT_NE(pin[0], '0');
    Call wrong = early;
    wrong.oauthExtra = {{"oauth_verifier", pin == "111111" ? "222222" : "111111"}};
    EXPECT_TRUE(isError(api->send(wrong, req), 401));
    Call right = early;
    right.oauthExtra = {{"oauth_verifier", pin}};
    Reply access = api->send(right, req);
    ASSERT_EQ(access.status, 200) << access.body;
    auto got = devserver::parseForm(access.body);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2].first, "user_id");
    EXPECT_EQ(got[2].second, std::to_string(server->demo().userId));
    EXPECT_EQ(api->get("/account/verify_credentials.json", {}, Credentials{got[0].second, got[1].second}).json["screen_name"].asString(), "演示账号");
    EXPECT_TRUE(isError(api->send(right, req), 401));  // a request token serves once

    // xAuth: user name and password in the header, "source" in the form.
    Call x;
    x.method = "POST";
    x.path = "/oauth/access_token";
    x.form = {{"source", kKey}};
    x.oauthExtra = {{"x_auth_mode", "client_auth"}, {"x_auth_username", "zhangsan@plumet.local"}, {"x_auth_password", "plumet"}};
    Reply xa = api->send(x, {});
    ASSERT_EQ(xa.status, 200) << xa.body;
    EXPECT_NE(xa.body.find("user_id=1600000002"), std::string::npos);
    x.oauthExtra[2].second = "wrong";
    EXPECT_TRUE(isError(api->send(x, {}), 403));
    EXPECT_TRUE(isError(api->send(rt, {"unknown", "x"}), 401));
}

TEST_F(Server, WebPagesAndFilesAreServedFromTheDatabaseOnly) {
    auto get = [&](const std::string& path) { return api->http().Get(path.c_str()); };
    auto topic = get("/k/" + devserver::percentEncode("天气"));
    ASSERT_TRUE(topic);
    EXPECT_EQ(topic->status, 200);
    EXPECT_NE(topic->body.find("#天气#"), std::string::npos);
    EXPECT_NE(topic->body.find("class=\"status\""), std::string::npos);

    Reply info = api->plain("/mblog/sinaurl_info.php?url=v3Fk9a");
    ASSERT_TRUE(info.json["data"]["v3Fk9a"].isObject()) << info.body;
    const Json::Value& video = info.json["data"]["v3Fk9a"];
    EXPECT_EQ(video["type"].asString(), "video");
    EXPECT_EQ(api->plain("/mblog/sinaurl_info.php?url=aB7dQe").json["data"]["aB7dQe"]["type"].asString(), "webpage");
    EXPECT_EQ(api->plain("/mblog/sinaurl_info.php?url=unknown").json["data"].size(), 0u);
    for (auto key : {"screen", "flash", "mp4", "icon"}) {
        std::string url = video[key].asString();
        ASSERT_EQ(url.find(api->base()), 0u);
        auto r = get(url.substr(api->base().size()));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << key;
    }
    auto player = get(video["flash"].asString().substr(api->base().size()));
    EXPECT_NE(player->body.find("<video"), std::string::npos);
    EXPECT_EQ(get(video["mp4"].asString().substr(api->base().size()))->body.substr(4, 4), "ftyp");
    auto shortUrl = get("/v3Fk9a");
    EXPECT_EQ(shortUrl->status, 302);

    // Every emoji code point of the six ranges has its picture; code points outside do not.
    int served = 0;
    for (auto& range : devserver::emojiRanges())
        for (std::uint32_t cp = range.first; cp <= range.second; ++cp) {
            char name[16];
            std::snprintf(name, sizeof name, "%x%x%x.png", 0xE0 | (cp >> 12), 0x80 | ((cp >> 6) & 0x3F), 0x80 | (cp & 0x3F));
            auto r = get(std::string("/t3/style/images/common/face/emimage/") + name);
            served += r && r->status == 200 && devserver::sniffPictureType(r->body) == "image/png";
        }
    EXPECT_EQ(served, 471);
    EXPECT_TRUE(isError(api->plain("/t3/style/images/common/face/emimage/ee8080.png"), 404));
    EXPECT_TRUE(isError(api->plain("/t3/style/images/common/face/emimage/EE8081.png"), 404));

    for (auto& e : api->get("/emotions.json", {}, demo).json) {
        auto r = get(e["url"].asString().substr(api->base().size()));
        EXPECT_EQ(devserver::sniffPictureType(r->body), "image/png") << e["phrase"].asString();
    }
    Reply gifStatus = api->get("/statuses/user_timeline.json", {{"count", "200"}, {"user_id", sql("SELECT user_id FROM statuses WHERE pic = 'g1'")}}, demo);
    std::string gifUrl;
    for (auto& s : gifStatus.json)
        if (s["original_pic"].asString().find(".gif") != std::string::npos) gifUrl = s["thumbnail_pic"].asString();
    ASSERT_FALSE(gifUrl.empty());
    EXPECT_EQ(devserver::sniffPictureType(get(gifUrl.substr(api->base().size()))->body), "image/gif");
    std::string uid = sql("SELECT user_id FROM statuses LIMIT 1"), sid = sql("SELECT id FROM statuses LIMIT 1");
    auto statusPage = get("/" + uid + "/statuses/" + sid);
    EXPECT_EQ(statusPage->status, 200);
    EXPECT_TRUE(isError(api->plain("/1/statuses/" + sid), 404));
    EXPECT_EQ(get("/feedback")->status, 200);
    auto thanks = api->http().Post("/feedback", formBody({{"text", "很好用"}, {"contact", "demo"}}), "application/x-www-form-urlencoded");
    EXPECT_EQ(thanks->status, 200);
    EXPECT_EQ(sql("SELECT text FROM feedback"), "很好用");

    // Nothing outside the database is reachable, however the path is written.
    for (const std::string p : {"/pic/large/../../../../etc/passwd", "/pic/large/%2e%2e%2f%2e%2e%2fetc%2fpasswd",
                                 "/t3/style/images/common/face/emimage/..%2F..%2F..%2Fetc%2Fpasswd",
                                 "/avatar/..%2F..%2Fetc/passwd", "/expression/../../etc/passwd.png", "/video/..%2f1.mp4",
                                 "/pic/large/u..%2F..%2Fetc.png", "//etc/passwd", "/k/../../etc/passwd"}) {
        auto r = get(p);
        ASSERT_TRUE(r) << p;
        EXPECT_EQ(r->body.find("root:"), std::string::npos) << p;
        if (p.rfind("/k/", 0) != 0) {
            EXPECT_TRUE(isError(toReply(r), 404)) << p;
        }
    }
}

TEST_F(Server, ConcurrentWritersKeepTheDatabaseSound) {
    const int threads = 8, each = 15;
    std::atomic<int> ok{0};
    std::vector<std::thread> pool;
    std::string target = sql("SELECT id FROM statuses ORDER BY id DESC LIMIT 1");
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            Api own("127.0.0.1", server->port());
            for (int i = 0; i < each; ++i) {
                std::string n = std::to_string(t) + "-" + std::to_string(i);
                ok += own.post("/statuses/update.json", {{"status", "并发 " + n}}, demo).status == 200;
                ok += own.post("/statuses/comment.json", {{"id", target}, {"comment", "并发评论 " + n}}, demo).status == 200;
                ok += own.get(kHome, {{"count", "5"}}, demo).status == 200;
            }
        });
    for (auto& th : pool) th.join();
    EXPECT_EQ(ok.load(), threads * each * 3);
    EXPECT_EQ(sql("SELECT count(*) FROM statuses WHERE text LIKE '并发 %'"), std::to_string(threads * each));
    EXPECT_EQ(sql("SELECT count(*) FROM comments WHERE text LIKE '并发评论 %'"), std::to_string(threads * each));
    EXPECT_EQ(sql("PRAGMA integrity_check"), "ok");
}

TEST_F(Server, ExistingDatabaseStartsFastAndRecordsFollowTheListeningPort) {
    EXPECT_TRUE(server->createdDatabase());
    std::string token = demo.token;
    api.reset();
    server->stop();
    server.reset();
    auto t0 = std::chrono::steady_clock::now();
    startServer();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_FALSE(server->createdDatabase());
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(demo.token, token);  // tokens survive a restart
    // Addresses written inside records name the port the server listens on now.
    Reply home = api->get(kHome, {{"count", "50"}}, demo);
    int checked = 0;
    for (auto& s : home.json) {
        EXPECT_EQ(s["user"]["profile_image_url"].asString().find(api->base() + "/avatar/"), 0u);
        if (s.isMember("thumbnail_pic")) {
            EXPECT_EQ(s["thumbnail_pic"].asString().find(api->base()), 0u);
            ++checked;
        }
        std::string text = s["text"].asString();
        if (text.find("http://127.0.0.1:") != std::string::npos && text.find("Http://") == std::string::npos) {
            EXPECT_NE(text.find(api->base()), std::string::npos) << text;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
    // --reset starts over with a new world.
    api.reset();
    server->stop();
    server.reset();
    options.reset = true;
    startServer();
    EXPECT_TRUE(server->createdDatabase());
    EXPECT_NE(demo.token, token);
    EXPECT_TRUE(isError(api->get(kHome, {}, {token, "x"}), 401));
}

TEST_F(Server, EveryFreshDatabaseHoldsTheSameDemoWorld) {
    const std::string demoId = std::to_string(server->demo().userId);
    // What the README promises of the world.
    EXPECT_EQ(sql("SELECT count(*) FROM users"), "291");
    EXPECT_EQ(sql("SELECT count(*) FROM statuses"), "420");
    EXPECT_EQ(sql("SELECT count(*) FROM follows WHERE follower = " + demoId), "8");
    EXPECT_EQ(sql("SELECT max(n) FROM (SELECT count(*) n FROM comments c JOIN statuses s ON s.id = c.status_id "
                  "WHERE s.user_id = " + demoId + " GROUP BY c.status_id)"), "121");
    EXPECT_EQ(sql("SELECT count(DISTINCT CASE WHEN sender_id = " + demoId + " THEN recipient_id ELSE sender_id END) "
                  "FROM messages"), "4");
    EXPECT_EQ(sql("SELECT count(*) FROM favorites WHERE user_id = " + demoId), "25");
    EXPECT_EQ(sql("SELECT group_concat(slug) FROM (SELECT slug FROM lists WHERE owner_id = " + demoId + " ORDER BY id)"),
              "classmates,netfriends");
    EXPECT_EQ(sql("SELECT max(n) FROM (SELECT count(*) n FROM list_members GROUP BY list_id)"), "282");
    EXPECT_EQ(sql("SELECT count(DISTINCT category) || ',' || sum(category = '') FROM emotions"), "4,3");
    EXPECT_EQ(sql("SELECT count(*) FROM short_urls WHERE kind = 'video'"), "3");

    // A second world, seeded apart, is the same item for item (times aside: the two starts may straddle a second).
    devserver::Options other = options;
    other.dbPath = dir.file("second.sqlite");
    devserver::DevServer second(other);
    std::string error;
    ASSERT_TRUE(second.start(&error)) << error;
    second.stop();
    const char* contents[] = {
        "SELECT group_concat(id || login || screen_name || location || description, '|') FROM users",
        "SELECT group_concat(follower || '>' || followee, '|') FROM follows",
        "SELECT group_concat(id || user_id || text || ifnull(retweeted_id, '') || ifnull(pic, ''), '|') FROM statuses",
        "SELECT group_concat(id || status_id || user_id || text || ifnull(reply_comment_id, ''), '|') FROM comments",
        "SELECT group_concat(id || sender_id || recipient_id || text, '|') FROM messages",
        "SELECT group_concat(status_id || '@' || seq, '|') FROM favorites",
        "SELECT group_concat(id || owner_id || name || slug || mode, '|') FROM lists",
        "SELECT group_concat(list_id || ':' || user_id || ':' || position, '|') FROM list_members",
        "SELECT group_concat(code || kind || title || target || ifnull(video_id, ''), '|') FROM short_urls",
        "SELECT group_concat(id || phrase || category || is_hot || is_common, '|') FROM emotions",
        "SELECT group_concat(user_id || ':' || new_status || comments || mentions || dm || followers, '|') FROM unread",
    };
    for (const char* query : contents) {
        const std::string first = sql(query);
        EXPECT_FALSE(first.empty()) << query;
        EXPECT_EQ(sqlAt(other.dbPath, query), first) << query;
    }
}
