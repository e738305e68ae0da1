// The service's API operations: reading timelines and records, the writes, and their answers.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "devserver/Media.h"
#include "devserver/ServerImpl.h"

namespace devserver {

namespace {

std::string shown(const std::string& value) { return value.size() > 40 ? value.substr(0, 40) + "..." : value; }

[[noreturn]] void badParam(const std::string& name, const std::string& value, const char* expect) {
    fail(400, "10008", "param error: " + name + " expects " + expect + ", got (" + shown(value) + ")");
}
[[noreturn]] void missing(const std::string& name) { fail(400, "10016", "miss required parameter (" + name + ")"); }

std::int64_t clampId(std::uint64_t v) { return v > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(v); }

struct Paging {
    std::int64_t since = 0, max = 0, offset = 0;
    int count = 20;
};

Paging paging(Ctx& c, int defaultCount, bool cursorIds = true) {
    Paging p;
    if (cursorIds) {
        p.since = clampId(c.id("since_id"));
        p.max = clampId(c.id("max_id"));
    }
    p.count = c.integer("count", defaultCount);
    int page = c.integer("page", 1);
    if (p.count < 1) badParam("count", c.str("count"), "a positive number");
    if (page < 1) badParam("page", c.str("page"), "a positive number");
    p.count = std::min(p.count, 200);
    p.offset = static_cast<std::int64_t>(page - 1) * p.count;
    return p;
}

std::string pictureExtension(Ctx& c, const std::string& key) {
    if (key.empty()) return std::string();
    if (key[0] == 's') return "png";
    if (key[0] == 'g') return "gif";
    auto st = c.db.prepare("SELECT mime FROM pictures WHERE key = ?1");
    st.bind(1, key);
    std::string mime = st.step() ? st.text(0) : std::string();
    if (mime == "image/jpeg") return "jpg";
    if (mime == "image/gif") return "gif";
    if (mime == "image/bmp") return "bmp";
    if (mime == "image/webp") return "webp";
    return "png";
}

Json::Value idValue(std::uint64_t id) { return Json::Value(static_cast<Json::UInt64>(id)); }

Json::Value countOf(Ctx& c, const char* sql, std::uint64_t id) {
    auto st = c.db.prepare(sql);
    st.bind(1, id);
    return Json::Value(static_cast<Json::Int>(st.step() ? st.i64(0) : 0));
}

bool exists(Ctx& c, const char* sql, std::uint64_t a, std::uint64_t b = 0) {
    auto st = c.db.prepare(sql);
    st.bind(1, a);
    if (b) st.bind(2, b);
    return st.step();
}

Json::Value commentJson(Ctx& c, std::uint64_t id, bool withStatus, int depth = 0) {
    std::uint64_t statusId = 0, userId = 0, replyId = 0;
    std::string text, source;
    std::int64_t created = 0;
    {
        auto st = c.db.prepare(
            "SELECT status_id, user_id, text, source, created_at, reply_comment_id FROM comments WHERE id = ?1");
        st.bind(1, id);
        if (!st.step()) return Json::Value(Json::nullValue);
        statusId = st.u64(0);
        userId = st.u64(1);
        text = st.text(2);
        source = st.text(3);
        created = st.i64(4);
        replyId = st.isNull(5) ? 0 : st.u64(5);
    }
    Json::Value v(Json::objectValue);
    v["created_at"] = serviceDate(created);
    v["id"] = idValue(id);
    v["mid"] = std::to_string(id);
    v["idstr"] = std::to_string(id);
    v["text"] = c.impl.expand(text);
    v["source"] = c.impl.expand(source);
    v["favorited"] = false;
    v["truncated"] = false;
    v["user"] = userJson(c, userId);
    if (withStatus) v["status"] = statusJson(c, statusId);
    if (replyId && depth < 1) {
        Json::Value r = commentJson(c, replyId, false, depth + 1);
        if (!r.isNull()) v["reply_comment"] = r;
    }
    return v;
}

Json::Value messageJson(Ctx& c, std::uint64_t id) {
    auto st = c.db.prepare("SELECT sender_id, recipient_id, text, created_at FROM messages WHERE id = ?1");
    st.bind(1, id);
    if (!st.step()) return Json::Value(Json::nullValue);
    std::uint64_t sender = st.u64(0), recipient = st.u64(1);
    std::string text = st.text(2);
    std::int64_t created = st.i64(3);
    Json::Value v(Json::objectValue);
    v["id"] = idValue(id);
    v["idstr"] = std::to_string(id);
    v["text"] = c.impl.expand(text);
    v["sender_id"] = idValue(sender);
    v["recipient_id"] = idValue(recipient);
    v["created_at"] = serviceDate(created);
    v["sender"] = userJson(c, sender);
    v["recipient"] = userJson(c, recipient);
    v["sender_screen_name"] = v["sender"]["screen_name"];
    v["recipient_screen_name"] = v["recipient"]["screen_name"];
    return v;
}

std::uint64_t latestStatusOf(Ctx& c, std::uint64_t userId) {
    auto st = c.db.prepare("SELECT id FROM statuses WHERE user_id = ?1 ORDER BY id DESC LIMIT 1");
    st.bind(1, userId);
    return st.step() ? st.u64(0) : 0;
}

Json::Value userWithStatus(Ctx& c, std::uint64_t userId) {
    Json::Value u = userJson(c, userId);
    if (std::uint64_t s = latestStatusOf(c, userId)) u["status"] = statusJson(c, s, 1);
    return u;
}

std::vector<std::uint64_t> ids(Statement& st) {
    std::vector<std::uint64_t> out;
    while (st.step()) out.push_back(st.u64(0));
    return out;
}

void sendJson(Ctx& c, const Json::Value& v) { c.res.set_content(writeJson(v), "application/json; charset=utf-8"); }

template <typename Render>
void sendArray(Ctx& c, const std::vector<std::uint64_t>& list, Render render) {
    Json::Value arr(Json::arrayValue);
    for (auto id : list) {
        Json::Value v = render(id);
        if (!v.isNull()) arr.append(v);
    }
    sendJson(c, arr);
}

void sendStatuses(Ctx& c, const std::vector<std::uint64_t>& list) {
    sendArray(c, list, [&](std::uint64_t id) { return statusJson(c, id); });
}
void sendComments(Ctx& c, const std::vector<std::uint64_t>& list) {
    sendArray(c, list, [&](std::uint64_t id) { return commentJson(c, id, true); });
}
void sendMessages(Ctx& c, const std::vector<std::uint64_t>& list) {
    sendArray(c, list, [&](std::uint64_t id) { return messageJson(c, id); });
}

// Resolves a user named by user_id / screen_name (or the given names); 0 when neither is given.
std::uint64_t namedUser(Ctx& c, const char* idKey, const char* nameKey, bool allowEmptyName = false) {
    if (c.has(idKey) && !c.str(idKey).empty()) {
        std::uint64_t id = c.id(idKey);
        if (!exists(c, "SELECT 1 FROM users WHERE id = ?1", id)) fail(404, "20003", "user does not exist");
        return id;
    }
    if (c.has(nameKey) && !(allowEmptyName && c.str(nameKey).empty())) {
        std::uint64_t id = world::userIdByScreenName(c.db, c.str(nameKey));
        if (!id) fail(404, "20003", "user does not exist");
        return id;
    }
    return 0;
}

std::string checkedText(Ctx& c, const char* key, std::size_t limit = 280) {
    if (!c.has(key)) missing(key);
    std::string text = c.str(key);
    text.erase(std::remove(text.begin(), text.end(), kBaseMarker), text.end());
    if (!isValidUtf8(text)) badParam(key, "", "UTF-8 text");
    bool blank = std::all_of(text.begin(), text.end(), [](char ch) { return ch == ' ' || ch == '\n' || ch == '\t' || ch == '\r'; });
    if (blank) fail(400, "40012", "content is null");
    if (weiboLength(text) > limit) fail(400, "40025", "text too long, please input text less than 140 characters");
    return text;
}

void checkCoordinate(Ctx& c, const char* key) {
    if (!c.has(key)) return;
    std::string v = c.str(key);
    char* end = nullptr;
    double d = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !(d >= -180.0 && d <= 180.0)) badParam(key, v, "a coordinate");
}

std::uint64_t requireStatus(Ctx& c, std::uint64_t id) {
    if (!exists(c, "SELECT 1 FROM statuses WHERE id = ?1", id)) fail(404, "20101", "target weibo does not exist");
    return id;
}

std::int64_t now() { return static_cast<std::int64_t>(std::time(nullptr)); }

const std::string kSource = std::string("<a href=\"") + kBaseMarker + "/\" rel=\"nofollow\">Plumet</a>";

// --- reading --------------------------------------------------------------------------------------

void homeTimeline(Ctx& c) {
    Paging p = paging(c, 20);
    auto st = c.db.prepare(
        "SELECT id FROM statuses WHERE (user_id = ?1 OR user_id IN (SELECT followee FROM follows WHERE follower = ?1)) "
        "AND id > ?2 AND (?3 = 0 OR id <= ?3) ORDER BY id DESC LIMIT ?4 OFFSET ?5");
    st.bind(1, c.viewer).bind(2, p.since).bind(3, p.max).bind(4, p.count).bind(5, p.offset);
    auto list = ids(st);
    // Reading the newest page counts as having seen the new statuses.
    if (!p.max && p.offset == 0) {
        bool pending = false;
        {
            auto q = c.db.prepare("SELECT new_status FROM unread WHERE user_id = ?1");
            q.bind(1, c.viewer);
            pending = q.step() && q.i64(0) != 0;
        }
        if (pending)
            c.afterRead = [&c] {
                WriteTransaction tx(c.db);
                c.db.prepare("UPDATE unread SET new_status = 0 WHERE user_id = ?1").bind(1, c.viewer).run();
                tx.commit();
            };
    }
    sendStatuses(c, list);
}

void userTimeline(Ctx& c) {
    std::uint64_t user = namedUser(c, "user_id", "screen_name", true);
    if (!user) user = c.viewer;
    Paging p = paging(c, 20);
    auto st = c.db.prepare("SELECT id FROM statuses WHERE user_id = ?1 AND id > ?2 AND (?3 = 0 OR id <= ?3) "
                           "ORDER BY id DESC LIMIT ?4 OFFSET ?5");
    st.bind(1, user).bind(2, p.since).bind(3, p.max).bind(4, p.count).bind(5, p.offset);
    sendStatuses(c, ids(st));
}

void publicTimeline(Ctx& c) {
    Paging p = paging(c, 20, false);
    auto st = c.db.prepare("SELECT id FROM statuses ORDER BY id DESC LIMIT ?1");
    st.bind(1, p.count);
    sendStatuses(c, ids(st));
}

void mentionsTimeline(Ctx& c) {
    Paging p = paging(c, 20);
    auto st = c.db.prepare("SELECT status_id FROM mentions WHERE user_id = ?1 AND status_id > ?2 AND "
                           "(?3 = 0 OR status_id <= ?3) ORDER BY status_id DESC LIMIT ?4 OFFSET ?5");
    st.bind(1, c.viewer).bind(2, p.since).bind(3, p.max).bind(4, p.count).bind(5, p.offset);
    sendStatuses(c, ids(st));
}

void commentsTimeline(Ctx& c, int which) {
    Paging p = paging(c, 20);
    static const char* const conditions[] = {
        // received: on my statuses or answering my comments, written by others
        "c.user_id <> ?1 AND (s.user_id = ?1 OR r.user_id = ?1)",
        // written by me
        "c.user_id = ?1",
        // both
        "(c.user_id = ?1 OR s.user_id = ?1 OR r.user_id = ?1)"};
    std::string sql = std::string("SELECT c.id FROM comments c JOIN statuses s ON s.id = c.status_id LEFT JOIN comments r "
                                  "ON r.id = c.reply_comment_id WHERE ") +
                      conditions[which] + " AND c.id > ?2 AND (?3 = 0 OR c.id <= ?3) ORDER BY c.id DESC LIMIT ?4 OFFSET ?5";
    auto st = c.db.prepare(sql);
    st.bind(1, c.viewer).bind(2, p.since).bind(3, p.max).bind(4, p.count).bind(5, p.offset);
    sendComments(c, ids(st));
}

void statusComments(Ctx& c) {
    std::uint64_t id = requireStatus(c, c.requiredId("id"));
    Paging p = paging(c, 20, false);
    auto st = c.db.prepare("SELECT id FROM comments WHERE status_id = ?1 ORDER BY id DESC LIMIT ?2 OFFSET ?3");
    st.bind(1, id).bind(2, p.count).bind(3, p.offset);
    sendComments(c, ids(st));
}

void directMessages(Ctx& c, bool sent) {
    Paging p = paging(c, 20);
    auto st = c.db.prepare(sent ? "SELECT id FROM messages WHERE sender_id = ?1 AND id > ?2 AND (?3 = 0 OR id <= ?3) "
                                  "ORDER BY id DESC LIMIT ?4 OFFSET ?5"
                                : "SELECT id FROM messages WHERE recipient_id = ?1 AND id > ?2 AND (?3 = 0 OR id <= ?3) "
                                  "ORDER BY id DESC LIMIT ?4 OFFSET ?5");
    st.bind(1, c.viewer).bind(2, p.since).bind(3, p.max).bind(4, p.count).bind(5, p.offset);
    sendMessages(c, ids(st));
}

void favorites(Ctx& c) {
    int page = c.integer("page", 1);
    if (page < 1) badParam("page", c.str("page"), "a positive number");
    auto st = c.db.prepare("SELECT status_id FROM favorites WHERE user_id = ?1 ORDER BY seq DESC LIMIT 20 OFFSET ?2");
    st.bind(1, c.viewer).bind(2, static_cast<std::int64_t>(page - 1) * 20);
    sendStatuses(c, ids(st));
}

void counts(Ctx& c) {
    if (!c.has("ids") || c.str("ids").empty()) missing("ids");
    std::string text = c.str("ids");
    std::vector<std::uint64_t> list;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::uint64_t id = 0;
        if (!parseU64(text.substr(start, end - start), id)) badParam("ids", text, "status ids separated by commas");
        list.push_back(id);
        if (list.size() > 100) fail(400, "10008", "param error: at most 100 ids");
        start = end + 1;
    }
    Json::Value arr(Json::arrayValue);
    for (auto id : list) {
        if (!exists(c, "SELECT 1 FROM statuses WHERE id = ?1", id)) continue;
        Json::Value v(Json::objectValue);
        v["id"] = idValue(id);
        v["comments"] = countOf(c, "SELECT count(*) FROM comments WHERE status_id = ?1", id);
        v["rt"] = countOf(c, "SELECT count(*) FROM statuses WHERE retweeted_id = ?1", id);
        arr.append(v);
    }
    sendJson(c, arr);
}

void unread(Ctx& c) {
    std::uint64_t since = c.id("since_id");
    int withNew = c.integer("with_new_status", 0);
    auto st = c.db.prepare("SELECT new_status, comments, mentions, dm, followers FROM unread WHERE user_id = ?1");
    st.bind(1, c.viewer);
    Json::Value v(Json::objectValue);
    std::int64_t values[5] = {0, 0, 0, 0, 0};
    if (st.step())
        for (int i = 0; i < 5; ++i) values[i] = st.i64(i);
    if (withNew && since) {
        auto q = c.db.prepare("SELECT count(*) FROM statuses WHERE user_id IN (SELECT followee FROM follows WHERE "
                              "follower = ?1) AND id > ?2");
        q.bind(1, c.viewer).bind(2, clampId(since));
        values[0] = q.step() ? q.i64(0) : 0;
    }
    v["new_status"] = static_cast<Json::Int>(values[0]);
    v["comments"] = static_cast<Json::Int>(values[1]);
    v["mentions"] = static_cast<Json::Int>(values[2]);
    v["dm"] = static_cast<Json::Int>(values[3]);
    v["followers"] = static_cast<Json::Int>(values[4]);
    sendJson(c, v);
}

void showStatus(Ctx& c, const std::string& idText) {
    std::string t = idText;
    if (!t.empty() && t[0] == ':') t.erase(0, 1);
    if (t.empty()) t = c.str("id");
    std::uint64_t id = 0;
    if (!parseU64(t, id)) badParam("id", t, "a status id");
    sendJson(c, statusJson(c, requireStatus(c, id)));
}

void showUser(Ctx& c) {
    std::uint64_t user = namedUser(c, "user_id", "screen_name");
    if (!user) {
        if (c.has("id")) {
            std::string v = c.str("id");
            std::uint64_t n = 0;
            user = parseU64(v, n) && exists(c, "SELECT 1 FROM users WHERE id = ?1", n) ? n : world::userIdByScreenName(c.db, v);
            if (!user) fail(404, "20003", "user does not exist");
        } else {
            missing("user_id or screen_name");
        }
    }
    sendJson(c, userWithStatus(c, user));
}

void emotions(Ctx& c) {
    std::string type = c.str("type");
    auto st = c.db.prepare("SELECT id, phrase, type, category, is_hot, is_common, order_number FROM emotions "
                           "WHERE (?1 = '' OR type = ?1) ORDER BY id");
    st.bind(1, type);
    Json::Value arr(Json::arrayValue);
    while (st.step()) {
        Json::Value v(Json::objectValue);
        v["phrase"] = st.text(1);
        v["value"] = st.text(1);
        v["type"] = st.text(2);
        v["url"] = c.impl.base + "/expression/" + std::to_string(st.i64(0)) + ".png";
        v["icon"] = v["url"];
        v["is_hot"] = st.i64(4) != 0;
        v["is_common"] = st.i64(5) != 0;
        v["order_number"] = static_cast<Json::Int>(st.i64(6));
        v["category"] = st.text(3);
        arr.append(v);
    }
    sendJson(c, arr);
}

Json::Value followSide(Ctx& c, std::uint64_t who, std::uint64_t other) {
    Json::Value v(Json::objectValue);
    v["id"] = idValue(who);
    v["screen_name"] = userJson(c, who)["screen_name"];
    v["following"] = exists(c, "SELECT 1 FROM follows WHERE follower = ?1 AND followee = ?2", who, other);
    v["followed_by"] = exists(c, "SELECT 1 FROM follows WHERE follower = ?1 AND followee = ?2", other, who);
    v["notifications_enabled"] = false;
    return v;
}

void friendshipShow(Ctx& c) {
    std::uint64_t source = namedUser(c, "source_id", "source_screen_name");
    if (!source) source = c.viewer;
    std::uint64_t target = namedUser(c, "target_id", "target_screen_name");
    if (!target) missing("target_id or target_screen_name");
    Json::Value v(Json::objectValue);
    v["source"] = followSide(c, source, target);
    v["target"] = followSide(c, target, source);
    sendJson(c, v);
}

void friendIds(Ctx& c) {
    std::uint64_t user = namedUser(c, "uid", "screen_name");
    if (!user) user = c.viewer;
    auto st = c.db.prepare("SELECT followee FROM follows WHERE follower = ?1 ORDER BY created_at DESC, followee");
    st.bind(1, user);
    Json::Value arr(Json::arrayValue);
    for (auto id : ids(st)) arr.append(idValue(id));
    Json::Value v(Json::objectValue);
    v["total_number"] = static_cast<Json::Int>(arr.size());
    v["ids"] = arr;
    v["next_cursor"] = 0;
    v["previous_cursor"] = 0;
    sendJson(c, v);
}

void atUsers(Ctx& c) {
    if (!c.has("q") || c.str("q").empty()) missing("q");
    if (!c.has("type")) missing("type");
    int type = c.integer("type", 0);
    if (type != 0 && type != 1) badParam("type", c.str("type"), "0 or 1");
    int count = c.integer("count", 10);
    if (count < 1) badParam("count", c.str("count"), "a positive number");
    count = std::min(count, 50);
    int range = c.integer("range", 2);
    (void)range;
    // Like the service, a name matches when it holds the typed text anywhere, Latin letters in either case
    // ("li" finds 刘洋_Liu); names that begin with it come first.
    auto st = c.db.prepare(type == 0
                               ? "SELECT u.id, u.screen_name FROM follows f JOIN users u ON u.id = f.followee WHERE "
                                 "f.follower = ?1 AND instr(lower(u.screen_name), lower(?2)) > 0 "
                                 "ORDER BY instr(lower(u.screen_name), lower(?2)) != 1, u.id LIMIT ?3"
                               : "SELECT u.id, u.screen_name FROM follows f JOIN users u ON u.id = f.follower WHERE "
                                 "f.followee = ?1 AND instr(lower(u.screen_name), lower(?2)) > 0 "
                                 "ORDER BY instr(lower(u.screen_name), lower(?2)) != 1, u.id LIMIT ?3");
    st.bind(1, c.viewer).bind(2, c.str("q")).bind(3, count);
    Json::Value arr(Json::arrayValue);
    while (st.step()) {
        Json::Value v(Json::objectValue);
        v["uid"] = std::to_string(st.u64(0));
        v["nickname"] = st.text(1);
        v["remark"] = "";
        arr.append(v);
    }
    sendJson(c, arr);
}

Json::Value listJson(Ctx& c, std::uint64_t listId) {
    auto st = c.db.prepare("SELECT owner_id, name, slug, description, mode FROM lists WHERE id = ?1");
    st.bind(1, listId);
    if (!st.step()) return Json::Value(Json::nullValue);
    std::uint64_t owner = st.u64(0);
    Json::Value v(Json::objectValue);
    v["id"] = idValue(listId);
    v["idstr"] = std::to_string(listId);
    v["name"] = st.text(1);
    v["slug"] = st.text(2);
    v["description"] = st.text(3);
    v["mode"] = st.text(4);
    v["uri"] = "/" + std::to_string(owner) + "/" + st.text(2);
    v["subscriber_count"] = 0;
    v["member_count"] = countOf(c, "SELECT count(*) FROM list_members WHERE list_id = ?1", listId);
    v["user"] = userJson(c, owner);
    v["full_name"] = "@" + v["user"]["screen_name"].asString() + "/" + st.text(2);
    return v;
}

std::uint64_t numericSegment(const std::string& text, const char* what) {
    std::uint64_t v = 0;
    if (!parseU64(text, v)) badParam(what, text, "a number");
    return v;
}

void userLists(Ctx& c, const std::string& userText) {
    std::uint64_t user = numericSegment(userText, "user");
    if (!exists(c, "SELECT 1 FROM users WHERE id = ?1", user)) fail(404, "20003", "user does not exist");
    c.integer("listType", 0);
    auto st = c.db.prepare("SELECT id FROM lists WHERE owner_id = ?1 AND (mode = 'public' OR owner_id = ?2) ORDER BY id");
    st.bind(1, user).bind(2, c.viewer);
    Json::Value arr(Json::arrayValue);
    for (auto id : ids(st)) arr.append(listJson(c, id));
    Json::Value v(Json::objectValue);
    v["lists"] = arr;
    v["next_cursor"] = 0;
    v["previous_cursor"] = 0;
    sendJson(c, v);
}

std::uint64_t visibleList(Ctx& c, const std::string& userText, const std::string& listText) {
    std::uint64_t user = numericSegment(userText, "user"), list = numericSegment(listText, "list");
    auto st = c.db.prepare("SELECT owner_id, mode FROM lists WHERE id = ?1");
    st.bind(1, list);
    if (!st.step() || st.u64(0) != user) fail(404, "20601", "list does not exist");
    if (st.text(1) != "public" && user != c.viewer) fail(403, "20602", "list is private");
    return list;
}

void listMembers(Ctx& c, const std::string& userText, const std::string& listText) {
    std::uint64_t list = visibleList(c, userText, listText);
    int cursor = c.integer("cursor", -1);
    if (cursor < -1) badParam("cursor", c.str("cursor"), "-1 or a cursor from a previous page");
    const int pageSize = 20;
    std::int64_t offset = cursor <= 0 ? 0 : cursor;
    std::int64_t total = countOf(c, "SELECT count(*) FROM list_members WHERE list_id = ?1", list).asInt64();
    auto st = c.db.prepare("SELECT user_id FROM list_members WHERE list_id = ?1 ORDER BY position LIMIT ?2 OFFSET ?3");
    st.bind(1, list).bind(2, pageSize).bind(3, offset);
    Json::Value users(Json::arrayValue);
    for (auto id : ids(st)) users.append(userWithStatus(c, id));
    Json::Value v(Json::objectValue);
    v["users"] = users;
    v["next_cursor"] = static_cast<Json::Int>(offset + pageSize < total ? offset + pageSize : 0);
    v["previous_cursor"] = static_cast<Json::Int>(offset > 0 ? std::max<std::int64_t>(offset - pageSize, 0) : 0);
    v["total_number"] = static_cast<Json::Int>(total);
    sendJson(c, v);
}

void isListMember(Ctx& c, const std::string& ownerText, const std::string& listText, const std::string& memberText) {
    std::uint64_t list = visibleList(c, ownerText, listText);
    std::uint64_t member = numericSegment(memberText, "member");
    if (!exists(c, "SELECT 1 FROM list_members WHERE list_id = ?1 AND user_id = ?2", list, member))
        fail(404, "20603", "user is not a member of the list");
    sendJson(c, userWithStatus(c, member));
}

// --- writing --------------------------------------------------------------------------------------

void update(Ctx& c, bool upload) {
    std::string text = checkedText(c, "status");
    checkCoordinate(c, "lat");
    checkCoordinate(c, "long");
    c.id("in_reply_to_status_id");
    std::string pic;
    if (upload) {
        if (!c.req.has_file("pic")) missing("pic");
        auto file = c.req.get_file_value("pic");
        if (file.content.size() > c.impl.options.uploadLimit) fail(413, "40046", "picture too large (5 MB at most)");
        std::string mime = sniffPictureType(file.content);
        if (mime.empty()) fail(400, "40045", "unsupported picture type");
        pic = "u" + c.impl.token(20);
    }
    WriteTransaction tx(c.db);
    if (upload) {
        auto file = c.req.get_file_value("pic");
        std::string mime = sniffPictureType(file.content);
        auto store = [&](const std::string& key, const std::string& bytes) {
            c.db.prepare("INSERT INTO pictures(key, mime, data) VALUES(?1, ?2, ?3)").bind(1, key).bind(2, mime).bindBlob(3, bytes).run();
        };
        store(pic, file.content);
        // Smaller sizes are made where the picture can be read here (PNG); others serve the original.
        if (mime == "image/png") {
            std::string thumbnail = scaledPng(file.content, 120), middle = scaledPng(file.content, 440);
            if (!thumbnail.empty()) store(pic + ":thumbnail", thumbnail);
            if (!middle.empty()) store(pic + ":bmiddle", middle);
        }
    }
    std::uint64_t id = world::createStatus(c.db, c.viewer, text, kSource, now(), 0, pic);
    if (c.has("lat") || c.has("long") || c.has("annotations")) {
        auto st = c.db.prepare("UPDATE statuses SET lat = ?2, lon = ?3, annotations = ?4 WHERE id = ?1");
        st.bind(1, id);
        if (c.has("lat")) st.bind(2, std::strtod(c.str("lat").c_str(), nullptr)); else st.bindNull(2);
        if (c.has("long")) st.bind(3, std::strtod(c.str("long").c_str(), nullptr)); else st.bindNull(3);
        if (c.has("annotations")) st.bind(4, c.str("annotations")); else st.bindNull(4);
        st.run();
    }
    tx.commit();
    sendJson(c, statusJson(c, id));
}

void repost(Ctx& c) {
    std::uint64_t target = requireStatus(c, c.requiredId("id"));
    std::string text = c.has("status") && !c.str("status").empty() ? checkedText(c, "status") : std::string("转发微博");
    int isComment = c.integer("is_comment", 0);
    if (isComment < 0 || isComment > 3) badParam("is_comment", c.str("is_comment"), "0 to 3");
    WriteTransaction tx(c.db);
    std::uint64_t root = target;
    {
        auto st = c.db.prepare("SELECT retweeted_id FROM statuses WHERE id = ?1");
        st.bind(1, target);
        if (st.step() && !st.isNull(0)) root = st.u64(0);
    }
    std::int64_t t = now();
    std::uint64_t id = world::createStatus(c.db, c.viewer, text, kSource, t, root, "");
    if (isComment & 1) world::createComment(c.db, c.viewer, target, text, kSource, t, 0);
    if ((isComment & 2) && (root != target || !(isComment & 1))) world::createComment(c.db, c.viewer, root, text, kSource, t, 0);
    tx.commit();
    sendJson(c, statusJson(c, id));
}

void comment(Ctx& c, bool reply) {
    std::uint64_t cid = reply ? c.requiredId("cid") : c.id("cid");
    std::uint64_t statusId = requireStatus(c, c.requiredId("id"));
    std::string text = checkedText(c, "comment");
    int withoutMention = c.integer("without_mention", 0);
    int commentOri = reply ? 0 : c.integer("comment_ori", 0);
    std::uint64_t replyAuthor = 0;
    if (cid) {
        auto st = c.db.prepare("SELECT status_id, user_id FROM comments WHERE id = ?1");
        st.bind(1, cid);
        if (!st.step()) fail(404, "20201", "target comment does not exist");
        if (st.u64(0) != statusId) fail(400, "20202", "the comment does not belong to this weibo");
        replyAuthor = st.u64(1);
    }
    if (reply && !withoutMention)
        text = "回复@" + userJson(c, replyAuthor)["screen_name"].asString() + ":" + text;
    WriteTransaction tx(c.db);
    std::int64_t t = now();
    std::uint64_t id = world::createComment(c.db, c.viewer, statusId, text, kSource, t, cid);
    if (commentOri == 1) {
        std::uint64_t root = 0;
        {
            auto st = c.db.prepare("SELECT retweeted_id FROM statuses WHERE id = ?1");
            st.bind(1, statusId);
            if (st.step() && !st.isNull(0)) root = st.u64(0);
        }
        if (root && exists(c, "SELECT 1 FROM statuses WHERE id = ?1", root))
            world::createComment(c.db, c.viewer, root, text, kSource, t, 0);
    }
    tx.commit();
    sendJson(c, commentJson(c, id, true));
}

std::uint64_t trailingId(const std::string& path, const std::string& prefix) {
    std::string rest = path.substr(prefix.size());
    std::uint64_t id = 0;
    if (!parseU64(rest, id) || id == 0) badParam("id", rest, "an id");
    return id;
}

void destroyStatus(Ctx& c, std::uint64_t id) {
    std::uint64_t owner = 0;
    {
        auto st = c.db.prepare("SELECT user_id FROM statuses WHERE id = ?1");
        st.bind(1, id);
        if (!st.step()) fail(404, "20101", "target weibo does not exist");
        owner = st.u64(0);
    }
    if (owner != c.viewer) fail(403, "20102", "not your own weibo");
    Json::Value answer = statusJson(c, id);
    WriteTransaction tx(c.db);
    c.db.prepare("UPDATE comments SET reply_comment_id = NULL WHERE reply_comment_id IN (SELECT id FROM comments WHERE status_id = ?1)").bind(1, id).run();
    c.db.prepare("DELETE FROM comments WHERE status_id = ?1").bind(1, id).run();
    c.db.prepare("DELETE FROM mentions WHERE status_id = ?1").bind(1, id).run();
    c.db.prepare("DELETE FROM favorites WHERE status_id = ?1").bind(1, id).run();
    c.db.prepare("DELETE FROM statuses WHERE id = ?1").bind(1, id).run();
    tx.commit();
    sendJson(c, answer);
}

void destroyComment(Ctx& c, std::uint64_t id) {
    std::uint64_t author = 0, statusOwner = 0;
    {
        auto st = c.db.prepare("SELECT c.user_id, s.user_id FROM comments c LEFT JOIN statuses s ON s.id = c.status_id WHERE c.id = ?1");
        st.bind(1, id);
        if (!st.step()) fail(404, "20201", "target comment does not exist");
        author = st.u64(0);
        statusOwner = st.isNull(1) ? 0 : st.u64(1);
    }
    if (author != c.viewer && statusOwner != c.viewer) fail(403, "20203", "not your own comment");
    Json::Value answer = commentJson(c, id, true);
    WriteTransaction tx(c.db);
    c.db.prepare("UPDATE comments SET reply_comment_id = NULL WHERE reply_comment_id = ?1").bind(1, id).run();
    c.db.prepare("DELETE FROM comments WHERE id = ?1").bind(1, id).run();
    tx.commit();
    sendJson(c, answer);
}

void favoriteCreate(Ctx& c) {
    std::uint64_t id = requireStatus(c, c.requiredId("id"));
    WriteTransaction tx(c.db);
    if (exists(c, "SELECT 1 FROM favorites WHERE user_id = ?1 AND status_id = ?2", c.viewer, id))
        fail(403, "20704", "this weibo is already a favourite");
    c.db.prepare("INSERT INTO favorites(user_id, status_id, created_at, seq) VALUES(?1, ?2, ?3, "
                 "(SELECT coalesce(max(seq), 0) + 1 FROM favorites WHERE user_id = ?1))")
        .bind(1, c.viewer)
        .bind(2, id)
        .bind(3, now())
        .run();
    tx.commit();
    sendJson(c, statusJson(c, id));
}

void favoriteDestroy(Ctx& c, std::uint64_t id) {
    WriteTransaction tx(c.db);
    c.db.prepare("DELETE FROM favorites WHERE user_id = ?1 AND status_id = ?2").bind(1, c.viewer).bind(2, id).run();
    if (!c.db.changes()) fail(403, "20705", "this weibo is not a favourite");
    tx.commit();
    Json::Value v = statusJson(c, id);
    if (v.isNull()) {
        v = Json::Value(Json::objectValue);
        v["id"] = idValue(id);
    }
    sendJson(c, v);
}

void messageNew(Ctx& c) {
    std::string text = checkedText(c, "text", 600);
    std::uint64_t recipient = 0;
    if (c.has("id") && !c.str("id").empty()) {
        std::string v = c.str("id");
        std::uint64_t n = 0;
        recipient = parseU64(v, n) && exists(c, "SELECT 1 FROM users WHERE id = ?1", n) ? n : world::userIdByScreenName(c.db, v);
        if (!recipient) fail(404, "20003", "user does not exist");
    } else {
        recipient = namedUser(c, "user_id", "screen_name");
    }
    if (!recipient) missing("user_id or screen_name");
    if (recipient == c.viewer) fail(403, "20307", "cannot send a message to yourself");
    WriteTransaction tx(c.db);
    std::uint64_t id = world::createMessage(c.db, c.viewer, recipient, text, now());
    tx.commit();
    sendJson(c, messageJson(c, id));
}

void messageDestroy(Ctx& c, std::uint64_t id) {
    {
        auto st = c.db.prepare("SELECT sender_id, recipient_id FROM messages WHERE id = ?1");
        st.bind(1, id);
        if (!st.step()) fail(404, "20301", "message does not exist");
        if (st.u64(0) != c.viewer && st.u64(1) != c.viewer) fail(403, "20302", "not your own message");
    }
    Json::Value answer = messageJson(c, id);
    WriteTransaction tx(c.db);
    c.db.prepare("DELETE FROM messages WHERE id = ?1").bind(1, id).run();
    tx.commit();
    sendJson(c, answer);
}

void friendship(Ctx& c, bool create) {
    std::uint64_t target = namedUser(c, "user_id", "screen_name");
    if (!target) missing("user_id or screen_name");
    if (target == c.viewer) fail(403, "20504", "cannot follow yourself");
    WriteTransaction tx(c.db);
    if (create) {
        if (!world::follow(c.db, c.viewer, target, now())) fail(403, "20506", "already followed");
    } else if (!world::unfollow(c.db, c.viewer, target)) {
        fail(403, "20522", "not followed");
    }
    tx.commit();
    sendJson(c, userJson(c, target));
}

void resetCount(Ctx& c) {
    if (!c.has("type")) missing("type");
    int type = c.integer("type", 0);
    static const char* const columns[] = {nullptr, "comments", "mentions", "dm", "followers"};
    if (type < 1 || type > 4) badParam("type", c.str("type"), "1 to 4");
    WriteTransaction tx(c.db);
    c.db.prepare(std::string("UPDATE unread SET ") + columns[type] + " = 0 WHERE user_id = ?1").bind(1, c.viewer).run();
    tx.commit();
    Json::Value v(Json::objectValue);
    v["result"] = true;
    sendJson(c, v);
}

bool startsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }


bool allDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

[[noreturn]] void wrongMethod(Ctx& c) { fail(405, "10021", "HTTP method " + c.method + " is not supported for this request"); }

}  // namespace

std::vector<std::string> pathSegments(const std::string& path) {
    std::vector<std::string> out;
    std::size_t i = 1;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        out.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

std::uint64_t Ctx::id(const std::string& name, std::uint64_t fallback) const {
    auto* v = find(name);
    if (!v || v->empty()) return fallback;
    std::uint64_t out = 0;
    if (!parseU64(*v, out)) badParam(name, *v, "a number");
    return out;
}

std::uint64_t Ctx::requiredId(const std::string& name) const {
    auto* v = find(name);
    if (!v || v->empty()) missing(name);
    std::uint64_t out = id(name);
    if (out == 0) badParam(name, *v, "a non-zero id");
    return out;
}

int Ctx::integer(const std::string& name, int fallback) const {
    auto* v = find(name);
    if (!v || v->empty()) return fallback;
    int out = 0;
    if (!parseI32(*v, out)) badParam(name, *v, "a number");
    return out;
}

Json::Value userJson(Ctx& c, std::uint64_t userId) {
    auto cached = c.userCache.find(userId);
    if (cached != c.userCache.end()) return cached->second;
    Json::Value v(Json::objectValue);
    {
        auto st = c.db.prepare("SELECT screen_name, name, province, city, location, description, url, domain, gender, "
                               "verified, created_at FROM users WHERE id = ?1");
        st.bind(1, userId);
        if (!st.step()) return Json::Value(Json::nullValue);
        v["id"] = idValue(userId);
        v["idstr"] = std::to_string(userId);
        v["screen_name"] = st.text(0);
        v["name"] = st.text(1);
        v["province"] = st.text(2);
        v["city"] = st.text(3);
        v["location"] = st.text(4);
        v["description"] = st.text(5);
        v["url"] = c.impl.expand(st.text(6));
        v["domain"] = st.text(7);
        v["gender"] = st.text(8);
        v["verified"] = st.i64(9) != 0;
        v["created_at"] = serviceDate(st.i64(10));
    }
    v["profile_image_url"] = c.impl.base + "/avatar/" + std::to_string(userId) + "/50.png";
    v["avatar_large"] = c.impl.base + "/avatar/" + std::to_string(userId) + "/180.png";
    v["followers_count"] = countOf(c, "SELECT count(*) FROM follows WHERE followee = ?1", userId);
    v["friends_count"] = countOf(c, "SELECT count(*) FROM follows WHERE follower = ?1", userId);
    v["statuses_count"] = countOf(c, "SELECT count(*) FROM statuses WHERE user_id = ?1", userId);
    v["favourites_count"] = countOf(c, "SELECT count(*) FROM favorites WHERE user_id = ?1", userId);
    v["following"] = c.viewer && exists(c, "SELECT 1 FROM follows WHERE follower = ?1 AND followee = ?2", c.viewer, userId);
    v["allow_all_act_msg"] = true;
    v["geo_enabled"] = false;
    c.userCache[userId] = v;
    return v;
}

Json::Value statusJson(Ctx& c, std::uint64_t statusId, int depth) {
    std::uint64_t userId = 0, retweeted = 0;
    std::string text, source, pic, inReplyTo;
    std::int64_t created = 0;
    {
        auto st = c.db.prepare("SELECT user_id, text, source, created_at, retweeted_id, pic, in_reply_to_status_id "
                               "FROM statuses WHERE id = ?1");
        st.bind(1, statusId);
        if (!st.step()) return Json::Value(Json::nullValue);
        userId = st.u64(0);
        text = st.text(1);
        source = st.text(2);
        created = st.i64(3);
        retweeted = st.isNull(4) ? 0 : st.u64(4);
        pic = st.isNull(5) ? std::string() : st.text(5);
        inReplyTo = st.text(6);
    }
    Json::Value v(Json::objectValue);
    v["created_at"] = serviceDate(created);
    v["id"] = idValue(statusId);
    v["mid"] = std::to_string(statusId);
    v["idstr"] = std::to_string(statusId);
    v["text"] = c.impl.expand(text);
    v["source"] = c.impl.expand(source);
    v["favorited"] = c.viewer && exists(c, "SELECT 1 FROM favorites WHERE user_id = ?1 AND status_id = ?2", c.viewer, statusId);
    v["truncated"] = false;
    v["in_reply_to_status_id"] = inReplyTo;
    v["in_reply_to_user_id"] = "";
    v["in_reply_to_screen_name"] = "";
    if (!pic.empty()) {
        std::string file = pic + "." + pictureExtension(c, pic);
        v["thumbnail_pic"] = c.impl.base + "/pic/thumbnail/" + file;
        v["bmiddle_pic"] = c.impl.base + "/pic/bmiddle/" + file;
        v["original_pic"] = c.impl.base + "/pic/large/" + file;
    }
    v["geo"] = Json::Value(Json::nullValue);
    v["user"] = userJson(c, userId);
    if (retweeted && depth < 2) {
        Json::Value r = statusJson(c, retweeted, depth + 1);
        if (!r.isNull()) v["retweeted_status"] = r;
    }
    return v;
}

void dispatchApi(Ctx& c) {
    const std::string& p = c.path;
    const bool get = c.method == "GET" || c.method == "HEAD";
    const bool post = c.method == "POST";
    const bool del = c.method == "DELETE";

    struct Read { const char* path; void (*fn)(Ctx&); };
    static const Read reads[] = {
        {"/statuses/friends_timeline", homeTimeline},
        {"/statuses/home_timeline", homeTimeline},
        {"/statuses/user_timeline", userTimeline},
        {"/statuses/public_timeline", publicTimeline},
        {"/statuses/mentions", mentionsTimeline},
        {"/statuses/comments_to_me", [](Ctx& x) { commentsTimeline(x, 0); }},
        {"/statuses/comments_by_me", [](Ctx& x) { commentsTimeline(x, 1); }},
        {"/statuses/comments_timeline", [](Ctx& x) { commentsTimeline(x, 2); }},
        {"/statuses/comments", statusComments},
        {"/statuses/counts", counts},
        {"/statuses/unread", unread},
        {"/users/show", showUser},
        {"/account/verify_credentials", [](Ctx& x) { sendJson(x, userWithStatus(x, x.viewer)); }},
        {"/emotions", emotions},
        {"/favorites", favorites},
        {"/direct_messages", [](Ctx& x) { directMessages(x, false); }},
        {"/direct_messages/sent", [](Ctx& x) { directMessages(x, true); }},
        {"/friendships/show", friendshipShow},
        {"/friendships/friends/ids", friendIds},
        {"/search/suggestions/at_users", atUsers},
    };
    for (auto& r : reads)
        if (p == r.path) {
            if (!get) wrongMethod(c);
            // One snapshot for the whole answer: consistent, and the file locks are taken once.
            {
                ReadTransaction snapshot(c.db);
                r.fn(c);
            }
            if (c.afterRead) c.afterRead();
            return;
        }

    struct Write { const char* path; void (*fn)(Ctx&); };
    static const Write writes[] = {
        {"/statuses/update", [](Ctx& x) { update(x, false); }},
        {"/statuses/upload", [](Ctx& x) { update(x, true); }},
        {"/statuses/repost", repost},
        {"/statuses/comment", [](Ctx& x) { comment(x, false); }},
        {"/statuses/reply", [](Ctx& x) { comment(x, true); }},
        {"/statuses/reset_count", resetCount},
        {"/favorites/create", favoriteCreate},
        {"/direct_messages/new", messageNew},
        {"/friendships/create", [](Ctx& x) { friendship(x, true); }},
        {"/friendships/destroy", [](Ctx& x) { friendship(x, false); }},
    };
    for (auto& w : writes)
        if (p == w.path) {
            if (!post) wrongMethod(c);
            return w.fn(c);
        }

    struct Destroy { const char* prefix; void (*fn)(Ctx&, std::uint64_t); };
    static const Destroy destroys[] = {
        {"/statuses/destroy/", destroyStatus},
        {"/statuses/comment_destroy/", destroyComment},
        {"/favorites/destroy/", favoriteDestroy},
        {"/direct_messages/destroy/", messageDestroy},
    };
    for (auto& d : destroys)
        if (startsWith(p, d.prefix)) {
            if (!del && !post) wrongMethod(c);
            return d.fn(c, trailingId(p, d.prefix));
        }

    if (startsWith(p, "/statuses/show")) {
        if (!get) wrongMethod(c);
        std::string rest = p.substr(14);
        if (!rest.empty() && rest[0] != '/') fail(404, "10022", "no such request: " + c.requestPath);
        return showStatus(c, rest.empty() ? rest : rest.substr(1));
    }

    // The list paths carry the user and list ids as segments.
    auto seg = pathSegments(p);
    if (!seg.empty() && allDigits(seg[0])) {
        if (!get) wrongMethod(c);
        if (seg.size() == 2 && seg[1] == "lists") return userLists(c, seg[0]);
        if (seg.size() == 3 && seg[2] == "members") return listMembers(c, seg[0], seg[1]);
        if (seg.size() == 4 && seg[2] == "members") return isListMember(c, seg[0], seg[1], seg[3]);
    }
    fail(404, "10022", "no such request: " + c.requestPath);
}

}  // namespace devserver
