// The project's own client driven through every operation against the development service,
// started as a child process (PLUMET_DEVSERVER) on a free loopback port with a fresh database.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "DevServerTestSupport.h"
#include "devserver/Media.h"
#include "model/WeiboParser.h"
#include "service/WeiboAPI.h"

using namespace dstest;
using weibo::SinaWeibo;
using weibo::SinaWeiboOptions;

namespace {

class Client : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("PLUMET_DEVSERVER")) GTEST_SKIP() << "PLUMET_DEVSERVER is not set";
        server = std::make_unique<ChildServer>(dir.file("devserver.sqlite"), extraArgs());
        ASSERT_TRUE(server->ready()) << server->output();
        client = connect();
        ASSERT_TRUE(client->acquireOAuthAccessToken(server->value("DemoLogin"), server->value("DemoPassword")));
        me = std::stoull(client->oAuth().oAuthUserId());
    }
    virtual std::vector<std::string> extraArgs() { return {}; }

    std::unique_ptr<SinaWeibo> connect() {
        auto c = std::make_unique<SinaWeibo>();
        c->setBaseUrls(server->value("WeiboHost"), server->value("Weibo2Host"));
        c->oAuth().setConsumerKey("5127730916");
        c->oAuth().setConsumerSecret("9f1c0a7e52d84b3690e1c7a4f2b85d03");
        return c;
    }

    static std::string errorOf(const std::string& body) {
        std::string error, code;
        weibo::parseError(body, error, code);
        return code + " " + error;
    }

    TempDir dir;
    std::unique_ptr<ChildServer> server;
    std::unique_ptr<SinaWeibo> client;
    std::uint64_t me = 0;
};

}  // namespace

TEST_F(Client, ChildProcessPrintsTheAddressesTheSettingsNeed) {
    const std::string base = "http://127.0.0.1:" + std::to_string(server->port());
    EXPECT_GT(server->port(), 0);
    EXPECT_EQ(server->value("WeiboHost"), base);
    EXPECT_EQ(server->value("Weibo2Host"), base + "/2");
    EXPECT_EQ(server->value("WebHost"), base);
    EXPECT_EQ(server->value("StaticImageHost"), base);
    EXPECT_EQ(server->value("FeedbackURL"), base + "/feedback");
    EXPECT_EQ(std::to_string(me), server->value("DemoUserId"));
    EXPECT_FALSE(server->value("DemoAccessToken").empty());
}

TEST_F(Client, TokenExchangeByPasswordAndByPin) {
    auto other = connect();
    EXPECT_FALSE(other->acquireOAuthAccessToken(server->value("DemoLogin"), "wrong password"));
    EXPECT_TRUE(other->oAuth().oAuthTokenKey().empty());

    std::string url;
    ASSERT_TRUE(other->acquireAuthorizeUrl(url));
    const std::string prefix = server->value("WeiboHost") + "/oauth/authorize?oauth_token=";
    ASSERT_EQ(url.rfind(prefix, 0), 0u) << url;
    Api web("127.0.0.1", server->port());
    auto page = web.http().Post("/oauth/authorize",
                                formBody({{"oauth_token", url.substr(prefix.size())}, {"login", "lisi@plumet.local"}, {"password", "plumet"}}),
                                "application/x-www-form-urlencoded");
    ASSERT_TRUE(page);
    std::size_t at = page->body.find("<span id=\"pin\">");
    ASSERT_NE(at, std::string::npos) << page->body;
    ASSERT_TRUE(other->acquireOAuthAccessToken(page->body.substr(at + 15, 6)));
    auto users = weibo::parseString<weibo::WBUser>(other->accountVerify());
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0]->screen_name, "李四");
    EXPECT_EQ(std::to_string(users[0]->id), other->oAuth().oAuthUserId());
}

TEST_F(Client, ReadingOperationsAnswerRecordsOfEveryKind) {
    SinaWeiboOptions five;
    five.count_ = 5;
    auto home = weibo::parseString<weibo::WBStatus>(client->timelineFriends(five));
    ASSERT_EQ(home.size(), 5u);
    for (std::size_t i = 1; i < home.size(); ++i) EXPECT_GT(home[i - 1]->id, home[i]->id);
    for (auto& s : home) EXPECT_TRUE(s->user->isValid());
    SinaWeiboOptions older;
    older.max_id_ = home[2]->id;
    older.count_ = 2;
    auto page = weibo::parseString<weibo::WBStatus>(client->timelineFriends(older));
    ASSERT_EQ(page.size(), 2u);
    EXPECT_EQ(page[0]->id, home[2]->id);

    SinaWeiboOptions byName;
    byName.screen_name_ = "赵敏-Zhao";
    auto zhao = weibo::parseString<weibo::WBStatus>(client->timelineUser(byName));
    ASSERT_FALSE(zhao.empty());
    for (auto& s : zhao) EXPECT_EQ(s->user->screen_name, "赵敏-Zhao");
    bool sawRepostOfRepost = false;
    SinaWeiboOptions many;
    many.count_ = 200;
    for (auto& s : weibo::parseString<weibo::WBStatus>(client->timelinePublic(many)))
        if (s->retweeted_status && s->text.find("//@") != std::string::npos) sawRepostOfRepost = s->retweeted_status->isValid();
    EXPECT_TRUE(sawRepostOfRepost);

    auto mentions = weibo::parseString<weibo::WBStatus>(client->timelineMentions());
    ASSERT_FALSE(mentions.empty());
    EXPECT_NE(mentions[0]->text.find("@演示账号"), std::string::npos);
    auto toMe = weibo::parseString<weibo::WBComment>(client->timelineCommentsToMe());
    ASSERT_FALSE(toMe.empty());
    for (auto& c : toMe) EXPECT_NE(c->user->id, me);
    auto byMe = weibo::parseString<weibo::WBComment>(client->timelineCommentsByMe());
    ASSERT_FALSE(byMe.empty());
    for (auto& c : byMe) EXPECT_EQ(c->user->id, me);
    EXPECT_GE(weibo::parseString<weibo::WBComment>(client->timelineAllMyComments()).size(), toMe.size());
    SinaWeiboOptions fifty;
    fifty.count_ = 50;
    fifty.page_ = 1;
    EXPECT_FALSE(weibo::parseString<weibo::WBComment>(client->timelineComments(toMe[0]->status->id, fifty)).empty());
    EXPECT_EQ(client->timelineComments(0).value, "");

    auto inbox = weibo::parseString<weibo::WBMessage>(client->directMessages());
    auto sent = weibo::parseString<weibo::WBMessage>(client->directMessagesSent());
    ASSERT_FALSE(inbox.empty());
    ASSERT_FALSE(sent.empty());
    std::set<std::uint64_t> correspondents;
    for (auto& m : inbox) {
        EXPECT_EQ(m->recipient_id, me);
        EXPECT_EQ(m->sender->id, m->sender_id);
        correspondents.insert(m->sender_id);
    }
    EXPECT_GE(correspondents.size(), 3u);
    for (auto& m : sent) EXPECT_EQ(m->sender_id, me);

    auto favs = weibo::parseString<weibo::WBStatus>(client->favorites());
    EXPECT_EQ(favs.size(), 20u);
    for (auto& f : favs) EXPECT_TRUE(f->favorited);
    auto unread = weibo::parseUnread(client->statusUnread());
    ASSERT_TRUE(unread);
    EXPECT_GE(unread->new_status, 0);

    std::vector<std::uint64_t> ids;
    for (auto& s : home) ids.push_back(s->id);
    auto counts = weibo::parseCounts(client->statusCounts(ids));
    EXPECT_EQ(counts.size(), ids.size());
    auto shown = weibo::parseString<weibo::WBStatus>(client->statusShowById(home[0]->id));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->text, home[0]->text);

    SinaWeiboOptions who;
    who.screen_name_ = "陈晓雨";
    auto user = weibo::parseString<weibo::WBUser>(client->userShow(who));
    ASSERT_EQ(user.size(), 1u);
    EXPECT_TRUE(user[0]->verified);
    EXPECT_GT(user[0]->followers_count, 0);

    // The emotion catalogue: several categories in runs, one of them without a name.
    auto emotions = weibo::parseString<weibo::WBEmotion>(client->emotions());
    std::vector<std::string> categories;
    for (auto& e : emotions)
        if (categories.empty() || categories.back() != e->category) categories.push_back(e->category);
    EXPECT_GE(categories.size(), 3u);
    EXPECT_EQ(std::count(categories.begin(), categories.end(), std::string()), 1);
    bool hasAiNi = false;
    for (auto& e : emotions) hasAiNi = hasAiNi || e->phrase == "爱你";
    EXPECT_TRUE(hasAiNi);

    SinaWeiboOptions rel;
    rel.target_screen_name_ = "张三";
    auto friendship = weibo::parseFriendship(client->friendshipsShow(rel));
    ASSERT_TRUE(friendship);
    EXPECT_EQ(friendship->source->id, me);
    EXPECT_TRUE(friendship->source->following);
    EXPECT_TRUE(friendship->source->followed_by);

    // The two operations of the version-2 base.
    Json::Value idsAnswer;
    std::istringstream(client->friendshipsIds()) >> idsAnswer;
    EXPECT_EQ(idsAnswer["ids"].size(), 8u);
    auto suggestions = weibo::parseString<weibo::WBSuggestionAtUser>(client->searchSuggestionsAtUsers("张", 0));
    ASSERT_EQ(suggestions.size(), 1u);
    EXPECT_EQ(suggestions[0]->nickname, "张三");

    // Lists and their members, page by page until the next cursor is 0.
    SinaWeiboOptions listType;
    listType.listType_ = 1;
    auto lists = weibo::parseLists(client->userLists(std::to_string(me), listType));
    ASSERT_EQ(lists.size(), 2u);
    for (auto& list : lists) {
        std::set<std::uint64_t> members;
        int previous = 0, next = 0, total = 0, cursor = -1, pages = 0;
        do {
            SinaWeiboOptions c;
            c.cursor_ = cursor;
            auto got = weibo::parseListMembers(client->membersOfUserList(std::to_string(me), std::to_string(list->id), c),
                                               previous, next, total);
            for (auto& m : got) members.insert(m->user->id);
            cursor = next;
        } while (next != 0 && ++pages < 50);
        EXPECT_EQ(static_cast<int>(members.size()), list->member_count) << list->name;
        EXPECT_EQ(total, list->member_count);
        if (list->member_count > 250) {
            EXPECT_GT(pages, 10);
            auto member = weibo::parseString<weibo::WBUser>(
                client->isUserMemberOfList(std::to_string(*members.begin()), std::to_string(me), std::to_string(list->id)));
            EXPECT_EQ(member.size(), 1u);
        }
    }
}

TEST_F(Client, WritingOperationsAnswerTheRecordsTheyMakeOrRemove) {
    SinaWeiboOptions where;
    where.latitude_ = 39.9f;
    where.longtitude_ = 116.4f;
    auto posted = weibo::parseString<weibo::WBStatus>(client->statusUpdate("端到端测试 #Plumet# [哈哈] \xee\x80\x81", where));
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0]->user->id, me);

    const std::string picture = dir.file("upload.png");
    std::ofstream(picture, std::ios::binary) << devserver::statusPicturePng(3, 80, 60);
    auto withPic = weibo::parseString<weibo::WBStatus>(client->statusUpload("带图片 上传", picture));
    ASSERT_EQ(withPic.size(), 1u) << client->getLastWebResponse();
    EXPECT_FALSE(withPic[0]->original_pic.empty());
    // A picture over 5 MB is refused with the error object, not a cut connection.
    const std::string huge = dir.file("huge.png");
    std::ofstream(huge, std::ios::binary) << devserver::statusPicturePng(5, 2600, 2100);
    std::string tooLarge = client->statusUpload("太大了", huge);
    EXPECT_NE(errorOf(tooLarge).find("413"), std::string::npos) << tooLarge;
    const std::string notPicture = dir.file("notes.txt");
    std::ofstream(notPicture) << "plain text, not a picture";
    std::string refused = client->statusUpload("不是图片", notPicture);
    EXPECT_TRUE(weibo::parseString<weibo::WBStatus>(refused).empty());
    EXPECT_NE(errorOf(refused).find("400"), std::string::npos);

    SinaWeiboOptions home;
    home.count_ = 30;
    std::uint64_t other = 0;
    for (auto& s : weibo::parseString<weibo::WBStatus>(client->timelineFriends(home)))
        if (s->user->id != me && !s->retweeted_status) other = other ? other : s->id;
    ASSERT_NE(other, 0u);
    SinaWeiboOptions repostOptions;
    repostOptions.status_ = "转发看看";
    repostOptions.is_comment_ = 1;
    auto repost = weibo::parseString<weibo::WBStatus>(client->statusRepost(other, repostOptions));
    ASSERT_EQ(repost.size(), 1u);
    ASSERT_TRUE(repost[0]->retweeted_status);
    EXPECT_EQ(repost[0]->retweeted_status->id, other);

    SinaWeiboOptions ori;
    ori.comment_ori_ = 1;
    auto comment = weibo::parseString<weibo::WBComment>(client->statusComment(repost[0]->id, "评论转发", ori));
    ASSERT_EQ(comment.size(), 1u);
    EXPECT_EQ(comment[0]->status->id, repost[0]->id);
    auto onOriginal = weibo::parseString<weibo::WBComment>(client->timelineComments(other));
    ASSERT_GE(onOriginal.size(), 2u);  // is_comment and comment_ori both landed on the original
    EXPECT_EQ(onOriginal[0]->text, "评论转发");

    auto reply = weibo::parseString<weibo::WBComment>(client->statusReply(comment[0]->id, "自己回复自己", repost[0]->id));
    ASSERT_EQ(reply.size(), 1u);
    ASSERT_TRUE(reply[0]->reply_comment);
    EXPECT_EQ(reply[0]->reply_comment->id, comment[0]->id);

    SinaWeiboOptions toId;
    toId.user_id_ = 1600000003;
    auto dm = weibo::parseString<weibo::WBMessage>(client->directMessagesNew("", "私信内容", toId));
    ASSERT_EQ(dm.size(), 1u);
    EXPECT_EQ(dm[0]->recipient_id, 1600000003u);
    SinaWeiboOptions toName;
    toName.screen_name_ = "周杰";
    EXPECT_EQ(weibo::parseString<weibo::WBMessage>(client->directMessagesNew("", "你好", toName)).at(0)->recipient_screen_name, "周杰");
    EXPECT_EQ(weibo::parseString<weibo::WBMessage>(client->directMessagesNew("吴昊", "按名字", SinaWeiboOptions())).at(0)->recipient_screen_name,
              "吴昊");
    SinaWeiboOptions nobody;
    nobody.screen_name_ = "不存在的人";
    EXPECT_NE(errorOf(client->directMessagesNew("", "x", nobody)).find("404"), std::string::npos);

    auto fav = weibo::parseString<weibo::WBStatus>(client->favoritesCreate(other));
    ASSERT_EQ(fav.size(), 1u);
    EXPECT_TRUE(fav[0]->favorited);
    EXPECT_EQ(weibo::parseString<weibo::WBStatus>(client->favorites()).at(0)->id, other);
    auto unfav = weibo::parseString<weibo::WBStatus>(client->favoritesDestroy(other));
    ASSERT_EQ(unfav.size(), 1u);
    EXPECT_FALSE(unfav[0]->favorited);

    SinaWeiboOptions wu;
    wu.screen_name_ = "吴昊";
    auto followed = weibo::parseString<weibo::WBUser>(client->friendshipsCreate(wu));
    ASSERT_EQ(followed.size(), 1u);
    EXPECT_TRUE(followed[0]->following);
    EXPECT_FALSE(weibo::parseString<weibo::WBUser>(client->friendshipsDestroy(wu)).at(0)->following);

    EXPECT_EQ(client->statusResetCount(1).value.find("true"), 10u);  // {"result":true}
    auto unread = weibo::parseUnread(client->statusUnread());
    ASSERT_TRUE(unread);
    EXPECT_EQ(unread->comments, 0);

    EXPECT_EQ(weibo::parseString<weibo::WBComment>(client->commentDestroyById(reply[0]->id)).at(0)->id, reply[0]->id);
    EXPECT_EQ(weibo::parseString<weibo::WBMessage>(client->directMessagesDestroyById(dm[0]->id)).at(0)->id, dm[0]->id);
    EXPECT_EQ(weibo::parseString<weibo::WBStatus>(client->statusDestroyById(posted[0]->id)).at(0)->id, posted[0]->id);
    std::string again = client->statusDestroyById(posted[0]->id);
    EXPECT_TRUE(weibo::parseString<weibo::WBStatus>(again).empty());
    EXPECT_NE(errorOf(again).find("404"), std::string::npos);
    EXPECT_NE(errorOf(client->statusDestroyById(other)).find("403"), std::string::npos);
}

TEST_F(Client, ShortAddressesInStatusTextLeadToVideos) {
    SinaWeiboOptions all;
    all.count_ = 200;
    std::string base = server->value("WebHost");
    std::set<std::string> paths;
    for (auto& s : weibo::parseString<weibo::WBStatus>(client->timelinePublic(all))) {
        std::size_t at = 0;
        while ((at = s->text.find(base + "/", at)) != std::string::npos) {
            at += base.size() + 1;
            std::size_t end = at;
            while (end < s->text.size() && (std::isalnum(static_cast<unsigned char>(s->text[end])) || s->text[end] == '_' ||
                                            s->text[end] == '-' || s->text[end] == '/'))
                ++end;
            paths.insert(s->text.substr(at, end - at));
        }
    }
    Api web("127.0.0.1", server->port());
    int videos = 0, others = 0;
    for (auto& p : paths) {
        auto r = web.http().Get(("/mblog/sinaurl_info.php?url=" + p).c_str());
        ASSERT_TRUE(r);
        auto video = weibo::parseVideo(r->body, p);
        if (video && video->isValid()) {
            ++videos;
            auto mp4 = web.http().Get(video->mp4.substr(base.size()).c_str());
            EXPECT_EQ(mp4->get_header_value("Content-Type"), "video/mp4");
            EXPECT_EQ(web.http().Get(video->flash.substr(base.size()).c_str())->status, 200);
        } else {
            ++others;
        }
    }
    EXPECT_GE(videos, 1);  // short addresses that carry videos
    EXPECT_GT(others, 0);  // ordinary addresses and a short address to a web page
}

namespace {
class ClientWithActivity : public Client {
protected:
    std::vector<std::string> extraArgs() override { return {"--activity", "1"}; }
};
}  // namespace

TEST_F(ClientWithActivity, ActivityRaisesTheCountersThePollReads) {
    for (int type = 1; type <= 3; ++type) client->statusResetCount(type);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    boost::optional<weibo::WBUnread> unread;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        unread = weibo::parseUnread(client->statusUnread());
    } while (std::chrono::steady_clock::now() < deadline && !(unread && unread->comments > 0 && unread->mentions > 0 && unread->dm > 0));
    ASSERT_TRUE(unread);
    EXPECT_GT(unread->comments, 0);
    EXPECT_GT(unread->mentions, 0);
    EXPECT_GT(unread->dm, 0);
    SinaWeiboOptions one;
    one.count_ = 1;
    EXPECT_NE(weibo::parseString<weibo::WBStatus>(client->timelineMentions(one)).at(0)->text.find("@演示账号"), std::string::npos);
}
