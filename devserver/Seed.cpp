// The demo world: what the first start writes into an empty database, and the activity that
// --activity simulates around the demo account.
#include <algorithm>

#include "devserver/ServerImpl.h"

namespace devserver {
namespace world {

namespace {

// Characters that may continue an @name: letters, digits and marks of any script, "_" and "-".
// Punctuation of the CJK and full-width blocks, general punctuation and the private-use emoji end it.
bool nameCodePoint(std::uint32_t cp) {
    if (cp < 0x80) return std::isalnum(static_cast<int>(cp)) || cp == '_' || cp == '-';
    if (cp <= 0xBF) return false;
    if (cp >= 0x2000 && cp <= 0x2BFF) return false;
    if (cp >= 0x3000 && cp <= 0x303F) return false;
    if (cp >= 0xE000 && cp <= 0xF8FF) return false;
    if (cp >= 0xFE30 && cp <= 0xFE6F) return false;
    if (cp >= 0xFF00 && cp <= 0xFF0F) return false;
    if (cp >= 0xFF1A && cp <= 0xFF20) return false;
    if (cp >= 0xFF3B && cp <= 0xFF40) return false;
    if (cp >= 0xFF5B && cp <= 0xFF65) return false;
    return true;
}

std::vector<std::string> mentionedNames(const std::string& text) {
    std::vector<std::string> names;
    std::size_t i = 0;
    while ((i = text.find('@', i)) != std::string::npos) {
        ++i;
        std::size_t j = i;
        while (j < text.size()) {
            unsigned char c = static_cast<unsigned char>(text[j]);
            std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
            if (j + len > text.size()) break;
            std::uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
            for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[j + k]) & 0x3F);
            if (!nameCodePoint(cp)) break;
            j += len;
        }
        std::string name = text.substr(i, j - i);
        // A name written directly before an address: the address is not part of the name.
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, "http") == 0) name.resize(name.size() - 4);
        if (!name.empty()) names.push_back(name);
        i = j;
    }
    return names;
}

void bump(Connection& db, std::uint64_t userId, const char* column) {
    std::string sql = std::string("INSERT INTO unread(user_id, ") + column + ") VALUES(?1, 1) ON CONFLICT(user_id) DO UPDATE SET " +
                      column + " = " + column + " + 1";
    db.prepare(sql).bind(1, userId).run();
}

struct Person {
    const char* login;
    const char* screenName;
    const char* province;
    const char* city;
    const char* location;
    const char* description;
    const char* gender;
    bool verified;
};

const Person kPeople[] = {
    {"demo@plumet.local", "演示账号", "11", "8", "北京 海淀区", "Plumet 的演示账号，随便看看。", "m", false},
    {"zhangsan@plumet.local", "张三", "31", "1", "上海 黄浦区", "喜欢摄影和旅行", "m", true},
    {"lisi@plumet.local", "李四", "44", "1", "广东 广州", "程序员，写代码也写诗", "m", false},
    {"wangxiaoming@plumet.local", "王小明", "32", "1", "江苏 南京", "", "m", false},
    {"chenxiaoyu@plumet.local", "陈晓雨", "33", "1", "浙江 杭州", "雨天读书，晴天爬山", "f", true},
    {"liuyang@plumet.local", "刘洋_Liu", "51", "1", "四川 成都", "火锅爱好者", "m", false},
    {"zhaomin@plumet.local", "赵敏-Zhao", "42", "1", "湖北 武汉", "热干面代言人", "f", false},
    {"sunwukong@plumet.local", "孙悟空", "61", "1", "陕西 西安", "七十二变", "m", true},
    {"zhoujie@plumet.local", "周杰", "71", "1", "台湾 台北", "唱歌的", "m", false},
    {"wuhao@plumet.local", "吴昊", "37", "2", "山东 青岛", "海边长大的", "m", false},
    {"zhengshuang@plumet.local", "郑爽", "12", "1", "天津 和平区", "相声听多了", "f", false},
};
constexpr int kPeopleCount = sizeof kPeople / sizeof kPeople[0];

const char* const kTemplates[] = {
    "今天天气不错 #天气# 出去走走 [哈哈]",
    "@{U} 你看这个视频 {B}/{V}",
    "推荐一个页面 {B}/feedback 欢迎提意见 [赞]",
    "@{U}{B}/{V} 名字后面直接跟着地址",
    "[愛你] 繁体写的表情也能认出来",
    "早上好\xee\x80\x81\xee\x90\x95 今天也要加油\xee\x80\xa2\xee\x94\xb7",
    "#周末去哪儿# 和 @{U} 一起去爬山 [嘻嘻]",
    "这个短地址不是视频 {B}/{W}",
    "#美食# 今晚吃火锅 [馋嘴] [乾杯]",
    "地址路径后面的问号不算地址 {B}/k/abc-def?from=plumet 看看",
    "没有闭合的话题 #未闭合 还有空话题 ## 和空表情 []",
    "@{U}：全角冒号结束名字 [可爱]",
    "大写开头 Http://127.0.0.1/feedback 不算链接，小写的 {B}/feedback 才算",
    "第{N}条普通微博，随便写点什么。\xee\x81\x97",
    "分享图片 #摄影# [围观]",
    "@{U} @{U2} 周末一起吃饭吗？[偷笑]",
    "听说 #Plumet# 是个不错的客户端 {B}/k/Plumet",
    "今天的 #天气# 有点冷 [泪] \xee\x81\x88",
    "学习中…… [思考] 有问题问 @{U}",
    "[不存在的表情] 不在表情库里的代码原样显示 [威武]",
};
constexpr int kTemplateCount = sizeof kTemplates / sizeof kTemplates[0];

const char* const kVideoCodes[] = {"v3Fk9a", "pLm2Qx", "Zq8_w-"};
const char* const kWebCodes[] = {"aB7dQe", "k9TzLm"};

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    std::size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
    return s;
}

const char* const kSources[] = {"Plumet", "网页", "手机客户端"};

std::string sourceHtml(int which) {
    return std::string("<a href=\"") + kBaseMarker + "/\" rel=\"nofollow\">" + kSources[which % 3] + "</a>";
}

}  // namespace

std::string randomToken(std::mt19937_64& rng, std::size_t length) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string out;
    for (std::size_t i = 0; i < length; ++i) out += alphabet[rng() % 36];
    return out;
}

std::uint64_t userIdByScreenName(Connection& db, const std::string& screenName) {
    auto st = db.prepare("SELECT id FROM users WHERE screen_name = ?1");
    st.bind(1, screenName);
    return st.step() ? st.u64(0) : 0;
}

std::uint64_t createStatus(Connection& db, std::uint64_t userId, const std::string& text, const std::string& source,
                           std::int64_t when, std::uint64_t retweetedId, const std::string& pic) {
    {
        auto st = db.prepare(
            "INSERT INTO statuses(user_id, text, source, created_at, retweeted_id, pic) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        st.bind(1, userId).bind(2, text).bind(3, source).bind(4, when);
        if (retweetedId) st.bind(5, retweetedId); else st.bindNull(5);
        if (!pic.empty()) st.bind(6, pic); else st.bindNull(6);
        st.run();
    }
    std::uint64_t id = static_cast<std::uint64_t>(db.lastInsertId());
    for (auto& name : mentionedNames(text)) {
        std::uint64_t uid = userIdByScreenName(db, name);
        if (!uid || uid == userId) continue;
        db.prepare("INSERT OR IGNORE INTO mentions(user_id, status_id) VALUES(?1, ?2)").bind(1, uid).bind(2, id).run();
        if (db.changes()) bump(db, uid, "mentions");
    }
    db.prepare("UPDATE unread SET new_status = new_status + 1 WHERE user_id IN "
               "(SELECT follower FROM follows WHERE followee = ?1)")
        .bind(1, userId)
        .run();
    return id;
}

std::uint64_t createComment(Connection& db, std::uint64_t userId, std::uint64_t statusId, const std::string& text,
                            const std::string& source, std::int64_t when, std::uint64_t replyCommentId) {
    {
        auto st = db.prepare(
            "INSERT INTO comments(status_id, user_id, text, source, created_at, reply_comment_id) VALUES(?1,?2,?3,?4,?5,?6)");
        st.bind(1, statusId).bind(2, userId).bind(3, text).bind(4, source).bind(5, when);
        if (replyCommentId) st.bind(6, replyCommentId); else st.bindNull(6);
        st.run();
    }
    std::uint64_t id = static_cast<std::uint64_t>(db.lastInsertId());
    std::uint64_t owner = 0, replyOwner = 0;
    {
        auto st = db.prepare("SELECT user_id FROM statuses WHERE id = ?1");
        st.bind(1, statusId);
        if (st.step()) owner = st.u64(0);
    }
    if (replyCommentId) {
        auto st = db.prepare("SELECT user_id FROM comments WHERE id = ?1");
        st.bind(1, replyCommentId);
        if (st.step()) replyOwner = st.u64(0);
    }
    if (owner && owner != userId) bump(db, owner, "comments");
    if (replyOwner && replyOwner != userId && replyOwner != owner) bump(db, replyOwner, "comments");
    return id;
}

std::uint64_t createMessage(Connection& db, std::uint64_t senderId, std::uint64_t recipientId, const std::string& text,
                            std::int64_t when) {
    db.prepare("INSERT INTO messages(sender_id, recipient_id, text, created_at) VALUES(?1, ?2, ?3, ?4)")
        .bind(1, senderId)
        .bind(2, recipientId)
        .bind(3, text)
        .bind(4, when)
        .run();
    std::uint64_t id = static_cast<std::uint64_t>(db.lastInsertId());
    bump(db, recipientId, "dm");
    return id;
}

bool follow(Connection& db, std::uint64_t follower, std::uint64_t followee, std::int64_t when) {
    db.prepare("INSERT OR IGNORE INTO follows(follower, followee, created_at) VALUES(?1, ?2, ?3)")
        .bind(1, follower)
        .bind(2, followee)
        .bind(3, when)
        .run();
    if (!db.changes()) return false;
    bump(db, followee, "followers");
    return true;
}

bool unfollow(Connection& db, std::uint64_t follower, std::uint64_t followee) {
    db.prepare("DELETE FROM follows WHERE follower = ?1 AND followee = ?2").bind(1, follower).bind(2, followee).run();
    return db.changes() > 0;
}

DemoAccount loadDemo(Connection& db) {
    DemoAccount demo;
    auto st = db.prepare(
        "SELECT u.id, u.login, u.password, u.screen_name, t.token, t.secret FROM meta m JOIN users u ON u.id = "
        "CAST(m.value AS INTEGER) LEFT JOIN access_tokens t ON t.token = (SELECT value FROM meta WHERE key = 'demo_token') "
        "WHERE m.key = 'demo_user'");
    if (st.step()) {
        demo.userId = st.u64(0);
        demo.login = st.text(1);
        demo.password = st.text(2);
        demo.screenName = st.text(3);
        demo.accessToken = st.text(4);
        demo.accessTokenSecret = st.text(5);
    }
    return demo;
}

namespace {

// Background people, enough for a list whose members take many cursor pages: every surname with every
// given name.
const char* const kSurnames[] = {"林", "黄", "何", "高", "罗", "郭", "马", "梁", "宋", "唐", "许", "韩", "冯", "邓",
                                 "曹", "彭", "曾", "肖", "田", "董"};
const char* const kGivenNames[] = {"晓峰", "子涵", "思远", "雨桐", "浩然", "欣怡", "俊杰", "梦琪", "志强", "佳怡", "文博",
                                   "诗涵", "宇轩", "雅婷"};

const char* const kVideoTitles[] = {"小猫弹钢琴", "城市延时摄影", "海边日落"};  // one per kVideoCodes entry

struct WebPage {
    const char* title;
    const char* target;
};
const WebPage kWebPages[] = {{"意见反馈", "/feedback"}, {"天气", "/k/天气"}};  // one per kWebCodes entry

// Emotion catalogue: several categories in order, and one group without a category name.
struct Emotion {
    const char* phrase;
    const char* category;
};
const Emotion kEmotions[] = {{"哈哈", "心情"}, {"嘻嘻", "心情"}, {"爱你", "心情"}, {"泪", "心情"}, {"偷笑", "心情"},
                             {"害羞", "心情"}, {"可爱", "心情"}, {"怒", "心情"}, {"晕", "心情"}, {"馋嘴", "心情"},
                             {"思考", "心情"}, {"围观", "心情"}, {"猪头", "动物"}, {"兔子", "动物"}, {"熊猫", "动物"},
                             {"小狗", "动物"}, {"蛋糕", "节日"}, {"干杯", "节日"}, {"礼物", "节日"}, {"月饼", "节日"},
                             {"围脖", "节日"}, {"威武", ""}, {"给力", ""}, {"赞", ""}};

// Direct messages: correspondents (index into kPeople), how many lines, and whether the demo account answers.
struct Chat {
    int person;
    int count;
    bool bothWays;
};
const Chat kChats[] = {{1, 8, true}, {2, 5, true}, {4, 6, true}, {9, 3, false}};
const char* const kChatLines[] = {"在吗？", "周末有空吗 [嘻嘻]", "有的，怎么了", "一起去看电影吧", "好呀 \xee\x80\x82",
                                  "那就这么定了", "不见不散 [爱你]", "收到"};

// Lists: owner and members are indexes into kPeople; withCrowd adds every background person.
struct SeededList {
    int owner;
    const char* name;
    const char* slug;
    const char* mode;
    std::vector<int> members;
    bool withCrowd;
};
const SeededList kLists[] = {
    {0, "同学", "classmates", "private", {1, 2, 3}, false},
    {0, "关注的网友", "netfriends", "public", {7, 8}, true},
    {1, "家人", "family", "public", {4, 5}, false},
};

constexpr int kStatusCount = 420;

// Fills the demo world one entity at a time. The order of the steps is part of the world: the ids and the
// random choices follow from it, so a fresh database always holds the same world.
class WorldSeeder {
public:
    WorldSeeder(Connection& db, std::int64_t now) : db_(db), now_(now), start_(now - 30LL * 86400) {}

    void run() {
        seedPeople();
        seedCrowd();
        db_.exec("INSERT INTO unread(user_id) SELECT id FROM users");
        seedFollows();
        seedShortUrls();
        seedEmotions();
        seedStatuses();
        seedLongCommentThread();
        seedMessages();
        seedFavorites();
        seedLists();
        seedCounters();
        seedDemoToken();
    }

private:
    // People: ids start at a ten-digit value like the service's.
    void seedPeople() {
        for (int i = 0; i < kPeopleCount; ++i) {
            const Person& p = kPeople[i];
            auto st = db_.prepare(
                "INSERT INTO users(id, login, password, screen_name, name, province, city, location, description, url, "
                "domain, gender, verified, created_at) VALUES(?1, ?2, ?3, ?4, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)");
            if (i == 0) st.bind(1, static_cast<std::int64_t>(1600000001)); else st.bindNull(1);
            std::string login = p.login;
            st.bind(2, login).bind(3, std::string("plumet")).bind(4, std::string(p.screenName)).bind(5, p.province);
            st.bind(6, p.city).bind(7, p.location).bind(8, p.description);
            st.bind(9, std::string(1, kBaseMarker) + "/k/" + login.substr(0, login.find('@')));
            st.bind(10, login.substr(0, login.find('@'))).bind(11, p.gender).bind(12, p.verified ? 1 : 0);
            st.bind(13, start_ - 86400LL * (400 + i * 37));
            st.run();
            people_.push_back(static_cast<std::uint64_t>(db_.lastInsertId()));
        }
        demo_ = people_[0];
    }

    void seedCrowd() {
        int n = 0;
        for (auto* s : kSurnames)
            for (auto* g : kGivenNames) {
                ++n;
                char login[64];
                std::snprintf(login, sizeof login, "user%04d@plumet.local", n);
                db_.prepare("INSERT INTO users(login, password, screen_name, name, province, city, location, description, "
                            "url, domain, gender, verified, created_at) VALUES(?1, 'plumet', ?2, ?2, '11', '1', '北京', '', '', "
                            "'', ?3, 0, ?4)")
                    .bind(1, std::string(login))
                    .bind(2, std::string(s) + g)
                    .bind(3, std::string(n % 2 ? "m" : "f"))
                    .bind(4, start_ - 86400LL * (n % 300))
                    .run();
                crowd_.push_back(static_cast<std::uint64_t>(db_.lastInsertId()));
            }
    }

    // Who follows whom: the demo account follows eight of the ten; several follow back.
    void seedFollows() {
        for (int i = 1; i <= 8; ++i) follow(db_, demo_, people_[i], start_);
        for (int i : {1, 2, 3, 9, 10}) follow(db_, people_[i], demo_, start_);
        for (int i = 1; i < kPeopleCount; ++i)
            for (int j = 1; j < kPeopleCount; ++j)
                if (i != j && (i * 7 + j * 3) % 4 == 0) follow(db_, people_[i], people_[j], start_);
        for (std::size_t i = 0; i < 40; ++i) follow(db_, crowd_[i], demo_, start_);
    }

    // Short addresses: three carry videos, two lead to ordinary pages.
    void seedShortUrls() {
        for (int v = 0; v < 3; ++v)
            db_.prepare("INSERT INTO short_urls(code, kind, title, target, video_id) VALUES(?1, 'video', ?2, '', ?3)")
                .bind(1, std::string(kVideoCodes[v]))
                .bind(2, std::string(kVideoTitles[v]))
                .bind(3, v + 1)
                .run();
        for (int w = 0; w < 2; ++w)
            db_.prepare("INSERT INTO short_urls(code, kind, title, target) VALUES(?1, 'webpage', ?2, ?3)")
                .bind(1, std::string(kWebCodes[w]))
                .bind(2, std::string(kWebPages[w].title))
                .bind(3, std::string(kWebPages[w].target))
                .run();
    }

    void seedEmotions() {
        int order = 0;
        for (auto& e : kEmotions) {
            ++order;
            db_.prepare("INSERT INTO emotions(id, phrase, type, category, is_hot, is_common, order_number) "
                        "VALUES(?1, ?2, 'face', ?3, ?4, ?5, ?1)")
                .bind(1, order)
                .bind(2, "[" + std::string(e.phrase) + "]")
                .bind(3, std::string(e.category))
                .bind(4, order % 5 == 1 ? 1 : 0)
                .bind(5, order <= 12 ? 1 : 0)
                .run();
        }
    }

    std::uint64_t pickOther(std::uint64_t not1, std::uint64_t not2 = 0) {
        for (;;) {
            std::uint64_t u = people_[rng_() % kPeopleCount];
            if (u != not1 && u != not2) return u;
        }
    }
    std::string nameOf(std::uint64_t uid) const {
        for (int i = 0; i < kPeopleCount; ++i)
            if (people_[i] == uid) return std::string(kPeople[i].screenName);
        return std::string();
    }

    // A repost of an earlier status; every other one reposts a repost, carrying the "//@name:" chain.
    // Moves the author off the reposted status's author.
    std::string repostText(int i, std::uint64_t& author, std::uint64_t& root) {
        std::size_t k = rng_() % ids_.size();
        if (i % 12 == 11) {
            for (std::size_t t = ids_.size(); t-- > 0;)
                if (roots_[t]) { k = t; break; }
        } else {
            while (roots_[k] && k > 0) --k;
        }
        std::string text;
        if (roots_[k]) {
            root = roots_[k];
            text = "转发一下 [威武] //@" + nameOf(authors_[k]) + ":" + texts_[k];
        } else {
            root = ids_[k];
            text = i % 4 == 1 ? "转发微博" : "说得好 [赞]";
        }
        if (authors_[k] == author) author = pickOther(author);
        return text;
    }

    // An original status from the templates, with names, addresses and sometimes a picture filled in.
    std::string templateText(int i, std::uint64_t author, std::string& pic) {
        int t = (i * 7) % kTemplateCount;
        std::string text = kTemplates[t];
        std::uint64_t u1 = pickOther(author), u2 = pickOther(author, u1);
        if (i % 3 == 0) u1 = author == demo_ ? u1 : demo_;
        text = replaceAll(text, "{U2}", nameOf(u2));
        text = replaceAll(text, "{U}", nameOf(u1));
        text = replaceAll(text, "{B}", std::string(1, kBaseMarker));
        text = replaceAll(text, "{V}", kVideoCodes[i % 3]);
        text = replaceAll(text, "{W}", kWebCodes[i % 2]);
        text = replaceAll(text, "{N}", std::to_string(i + 1));
        if (t == 14 || i % 7 == 3) pic = "s" + std::to_string(i + 1);
        if (i == 400) pic = "g1";
        return text;
    }

    // One to four comments, the third one a reply to the second when their authors differ.
    void seedComments(std::uint64_t statusId, std::uint64_t author, std::int64_t when) {
        int count = 1 + static_cast<int>(rng_() % 4);
        std::uint64_t last = 0, lastAuthor = 0;
        for (int c = 0; c < count; ++c) {
            std::uint64_t who = c == 1 && author != demo_ ? demo_ : pickOther(author);
            std::string ctext = c % 2 ? "说得对 [哈哈]" : "路过 \xee\x80\x81 看看";
            std::uint64_t reply = 0;
            if (c == 2 && last && lastAuthor != who) {
                ctext = "回复@" + nameOf(lastAuthor) + ":同意你的看法";
                reply = last;
            }
            last = createComment(db_, who, statusId, ctext, sourceHtml(c), when + 60 * (c + 1), reply);
            lastAuthor = who;
        }
    }

    // Statuses over the last thirty days (ids start at a sixteen-digit value like the service's), every
    // sixth a repost, with comments on every third.
    void seedStatuses() {
        db_.exec("INSERT INTO sqlite_sequence(name, seq) VALUES('statuses', 3400000000000000), "
                 "('comments', 3500000000000000), ('messages', 3600000000000000), ('lists', 20000)");
        for (int i = 0; i < kStatusCount; ++i) {
            std::int64_t when = start_ + static_cast<std::int64_t>(i) * (30LL * 86400 - 3600) / kStatusCount +
                                static_cast<std::int64_t>(rng_() % 600);
            std::uint64_t author = people_[(i * 5 + i / 11) % kPeopleCount];
            std::string pic;
            std::uint64_t root = 0;
            const std::string text = i % 6 == 5 && !ids_.empty() ? repostText(i, author, root) : templateText(i, author, pic);
            std::uint64_t id = createStatus(db_, author, text, sourceHtml(i), when, root, pic);
            ids_.push_back(id);
            authors_.push_back(author);
            roots_.push_back(root);
            texts_.push_back(text);
            if (author == demo_ && !root && i > 380 && !demoHeavyStatus_) demoHeavyStatus_ = id;
            if (i % 3 == 0) seedComments(id, author, when);
        }
    }

    // One status of the demo account with 120 more comments, so comment pages 1 to 3 exist.
    void seedLongCommentThread() {
        if (!demoHeavyStatus_) return;
        std::int64_t when = now_ - 7200;
        for (int c = 0; c < 120; ++c) {
            std::uint64_t who = people_[1 + c % (kPeopleCount - 1)];
            createComment(db_, who, demoHeavyStatus_, "第" + std::to_string(c + 1) + "条评论 [嘻嘻]", sourceHtml(c),
                          when + c * 30, 0);
        }
    }

    // Direct messages both ways with several correspondents, interleaved round by round.
    void seedMessages() {
        std::int64_t dmTime = now_ - 20 * 86400;
        for (int round = 0; round < 8; ++round)
            for (auto& ch : kChats) {
                if (round >= ch.count) continue;
                bool fromDemo = ch.bothWays && round % 2 == 1;
                std::uint64_t other = people_[ch.person];
                createMessage(db_, fromDemo ? demo_ : other, fromDemo ? other : demo_, kChatLines[round], dmTime);
                dmTime += 3 * 3600 + static_cast<std::int64_t>(rng_() % 3600);
            }
    }

    // Favourites of the demo account: two pages' worth.
    void seedFavorites() {
        int seq = 0;
        for (std::size_t k = 0; k < ids_.size() && seq < 25; k += 13) {
            ++seq;
            db_.prepare("INSERT OR IGNORE INTO favorites(user_id, status_id, created_at, seq) VALUES(?1, ?2, ?3, ?4)")
                .bind(1, demo_)
                .bind(2, ids_[k])
                .bind(3, start_ + seq * 3600)
                .bind(4, seq)
                .run();
        }
    }

    // Two lists of the demo account (one large enough for cursor paging), one of another user.
    void seedLists() {
        for (const SeededList& entry : kLists) {
            const std::string name = entry.name;
            db_.prepare("INSERT INTO lists(owner_id, name, slug, description, mode, created_at) VALUES(?1,?2,?3,?4,?5,?6)")
                .bind(1, people_[entry.owner])
                .bind(2, name)
                .bind(3, std::string(entry.slug))
                .bind(4, name + "的成员")
                .bind(5, std::string(entry.mode))
                .bind(6, start_)
                .run();
            std::uint64_t listId = static_cast<std::uint64_t>(db_.lastInsertId());
            std::vector<std::uint64_t> members;
            for (int m : entry.members) members.push_back(people_[m]);
            if (entry.withCrowd) members.insert(members.end(), crowd_.begin(), crowd_.end());
            int pos = 0;
            for (auto m : members)
                db_.prepare("INSERT OR IGNORE INTO list_members(list_id, user_id, position) VALUES(?1, ?2, ?3)")
                    .bind(1, listId)
                    .bind(2, m)
                    .bind(3, ++pos)
                    .run();
        }
    }

    // Counters as a returning user finds them: a few unread items waiting.
    void seedCounters() {
        db_.exec("UPDATE unread SET new_status = 0, comments = 0, mentions = 0, dm = 0, followers = 0");
        db_.prepare("UPDATE unread SET new_status = 3, comments = 2, mentions = 1, dm = 1, followers = 1 WHERE user_id = ?1")
            .bind(1, demo_)
            .run();
    }

    // A ready access token for the demo account (printed at start for tools such as the benchmark).
    void seedDemoToken() {
        std::mt19937_64 secretRng{std::random_device{}()};
        std::string token = randomToken(secretRng, 32), secret = randomToken(secretRng, 32);
        db_.prepare("INSERT INTO access_tokens(token, secret, consumer, user_id, created_at) VALUES(?1, ?2, ?3, ?4, ?5)")
            .bind(1, token)
            .bind(2, secret)
            .bind(3, std::string(kConsumerKey))
            .bind(4, demo_)
            .bind(5, now_)
            .run();
        db_.prepare("INSERT INTO meta(key, value) VALUES('demo_user', ?1), ('demo_token', ?2), ('seeded', ?3)")
            .bind(1, std::to_string(demo_))
            .bind(2, token)
            .bind(3, std::to_string(now_))
            .run();
    }

    Connection& db_;
    const std::int64_t now_;
    const std::int64_t start_;
    std::mt19937_64 rng_{20240601};
    std::vector<std::uint64_t> people_, crowd_;
    std::uint64_t demo_ = 0;
    // The statuses made so far, for reposts: id, author, the status a repost reposts (0 for none), text.
    std::vector<std::uint64_t> ids_, authors_, roots_;
    std::vector<std::string> texts_;
    std::uint64_t demoHeavyStatus_ = 0;
};

}  // namespace

DemoAccount seed(Connection& db, std::int64_t now) {
    WriteTransaction tx(db);
    WorldSeeder(db, now).run();
    tx.commit();
    return loadDemo(db);
}

void activity(Connection& db, std::mt19937_64& rng, std::int64_t now) {
    DemoAccount demo = loadDemo(db);
    if (!demo.userId) return;
    WriteTransaction tx(db);
    std::vector<std::uint64_t> others;
    {
        auto st = db.prepare("SELECT id FROM users WHERE id <> ?1 AND id < ?1 + ?2 ORDER BY id");
        st.bind(1, demo.userId).bind(2, static_cast<std::int64_t>(kPeopleCount));
        while (st.step()) others.push_back(st.u64(0));
    }
    if (others.empty()) return;
    auto pick = [&] { return others[rng() % others.size()]; };
    const char* phrases[] = {"刚刚看到一个有趣的东西", "今天加班到现在 [泪]", "晚饭吃什么好呢 [馋嘴]",
                             "#天气# 下雨了，记得带伞", "周末快乐 \xee\x80\x81"};
    std::string phrase = phrases[rng() % 5];
    createStatus(db, pick(), "@" + demo.screenName + " " + phrase, sourceHtml(0), now, 0, "");
    createStatus(db, pick(), phrase + " [哈哈]", sourceHtml(1), now, 0, "");

    std::vector<std::uint64_t> mine;
    {
        auto st = db.prepare("SELECT id FROM statuses WHERE user_id = ?1 ORDER BY id DESC LIMIT 10");
        st.bind(1, demo.userId);
        while (st.step()) mine.push_back(st.u64(0));
    }
    if (!mine.empty()) createComment(db, pick(), mine[rng() % mine.size()], "评论一下 [嘻嘻]", sourceHtml(2), now, 0);
    createMessage(db, pick(), demo.userId, "你好，" + phrase, now);
    std::uint64_t fan = 0;
    {
        auto st = db.prepare("SELECT id FROM users WHERE id NOT IN (SELECT follower FROM follows WHERE followee = ?1) "
                             "AND id <> ?1 ORDER BY id LIMIT 1");
        st.bind(1, demo.userId);
        if (st.step()) fan = st.u64(0);
    }
    if (fan) follow(db, fan, demo.userId, now);
    tx.commit();
}

}  // namespace world
}  // namespace devserver
