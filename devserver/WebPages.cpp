// The web pages and files of the service: the start page, the authorisation and feedback forms, topic and
// status pages, the short-address information and redirects, and the generated pictures and videos.
#include <algorithm>
#include <map>
#include <mutex>

#include "devserver/Media.h"
#include "devserver/ServerImpl.h"

namespace devserver {

namespace {

using Segments = std::vector<std::string>;

std::int64_t nowSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}
bool startsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

bool allDigits(const std::string& s) {
    return !s.empty() && s.size() < 20 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}
bool tokenChars(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-';
    });
}

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" + htmlEscape(title) +
           "</title><style>body{font-family:sans-serif;max-width:720px;margin:2em auto;line-height:1.6}"
           ".status{border-bottom:1px solid #ddd;padding:.6em 0}.meta{color:#888;font-size:small}</style></head><body>" +
           body + "</body></html>\n";
}

bool sendHtml(httplib::Response& res, int status, const std::string& title, const std::string& body) {
    res.status = status;
    res.set_content(page(title, body), "text/html; charset=utf-8");
    return true;
}

// Generated pictures are cached; the cache is dropped whole when it grows past its budget.
class PictureCache {
public:
    template <typename Make>
    std::string get(const std::string& key, Make make) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = map_.find(key);
            if (it != map_.end()) return it->second;
        }
        std::string bytes = make();
        std::lock_guard<std::mutex> lock(mutex_);
        if (size_ + bytes.size() > (64u << 20)) {
            map_.clear();
            size_ = 0;
        }
        if (map_.emplace(key, bytes).second) size_ += bytes.size();
        return bytes;
    }

private:
    std::mutex mutex_;  // guards map_ and size_
    std::map<std::string, std::string> map_;
    std::size_t size_ = 0;
};

PictureCache& pictures() {
    static PictureCache cache;
    return cache;
}

bool sendPng(httplib::Response& res, const std::string& bytes) {
    res.set_header("Cache-Control", "max-age=86400");
    res.set_content(bytes, "image/png");
    return true;
}

// --- pages ---------------------------------------------------------------------------------------

bool startPage(Ctx& c, const Segments&) {
    const DevServer::Impl& impl = c.impl;
    std::string body = "<h1>Plumet 开发服务</h1><p>Plumet 设置需要的地址：</p><pre>" + htmlEscape(impl.settingsLines()) +
                       "</pre><p>演示账号：" + htmlEscape(impl.demoAccount.login) + " / " +
                       htmlEscape(impl.demoAccount.password) + "</p><p><a href=\"/feedback\">意见反馈</a></p>";
    return sendHtml(c.res, 200, "Plumet 开发服务", body);
}

std::string authorizeForm(const std::string& token, const std::string& message) {
    return "<h1>授权 Plumet 访问你的账号</h1>" + message +
           "<form method=\"post\" action=\"/oauth/authorize\"><input type=\"hidden\" name=\"oauth_token\" value=\"" +
           htmlEscape(token) +
           "\"><p>账号：<input name=\"login\"></p><p>密码：<input name=\"password\" type=\"password\"></p>"
           "<p><button type=\"submit\">授权</button></p></form>";
}

// GET shows the sign-in form for a live request token; POST checks the account and shows the PIN.
bool authorizePage(Ctx& c, const Segments&) {
    const bool post = c.method == "POST";
    const ParamList form = post ? parseForm(c.req.body) : ParamList();
    auto value = [&](const std::string& key) {
        for (auto& kv : form)
            if (kv.first == key) return kv.second;
        return c.req.has_param(key.c_str()) ? c.req.get_param_value(key.c_str()) : std::string();
    };
    const std::string token = value("oauth_token");
    std::int64_t created = 0;
    bool known = false, used = false;
    {
        auto st = c.db.prepare("SELECT created_at, used FROM request_tokens WHERE token = ?1");
        st.bind(1, token);
        if (st.step()) {
            known = true;
            created = st.i64(0);
            used = st.i64(1) != 0;
        }
    }
    if (!known || used || nowSeconds() - created > 3600)
        return sendHtml(c.res, 400, "授权失败", "<h1>授权失败</h1><p>请求令牌无效或已过期，请在 Plumet 中重新获取授权码。</p>");
    if (!post) return sendHtml(c.res, 200, "授权", authorizeForm(token, ""));
    std::uint64_t userId = 0;
    {
        auto st = c.db.prepare("SELECT id FROM users WHERE (login = ?1 OR screen_name = ?1) AND password = ?2");
        st.bind(1, value("login")).bind(2, value("password"));
        if (st.step()) userId = st.u64(0);
    }
    if (!userId) return sendHtml(c.res, 401, "授权", authorizeForm(token, "<p style=\"color:#c00\">账号或密码错误</p>"));
    std::string pin;
    {
        std::lock_guard<std::mutex> lock(c.impl.rngMutex);
        pin = std::to_string(100000 + c.impl.rng() % 900000);
    }
    {
        WriteTransaction tx(c.db);
        c.db.prepare("UPDATE request_tokens SET pin = ?2, user_id = ?3 WHERE token = ?1").bind(1, token).bind(2, pin).bind(3, userId).run();
        tx.commit();
    }
    return sendHtml(c.res, 200, "授权成功",
                    "<h1>授权成功</h1><p>请把下面的授权码填入 Plumet：</p><p style=\"font-size:2em\">授权码：<span id=\"pin\">" +
                        pin + "</span></p>");
}

// GET shows the form; POST stores a bounded, valid UTF-8 text.
bool feedbackPage(Ctx& c, const Segments&) {
    if (c.method != "POST")
        return sendHtml(c.res, 200, "意见反馈",
                        "<h1>意见反馈</h1><form method=\"post\" action=\"/feedback\"><p><textarea name=\"text\" rows=\"6\" "
                        "cols=\"60\"></textarea></p><p>联系方式：<input name=\"contact\"></p><p><button type=\"submit\">提交</button></p></form>");
    std::string text, contact;
    for (auto& kv : parseForm(c.req.body)) {
        if (kv.first == "text") text = kv.second;
        if (kv.first == "contact") contact = kv.second;
    }
    if (text.empty() || text.size() > 4000 || contact.size() > 200 || !isValidUtf8(text) || !isValidUtf8(contact))
        return sendHtml(c.res, 400, "意见反馈", "<h1>意见反馈</h1><p>请填写 4000 字节以内的反馈内容。</p><p><a href=\"/feedback\">返回</a></p>");
    WriteTransaction tx(c.db);
    c.db.prepare("INSERT INTO feedback(text, contact, created_at) VALUES(?1, ?2, ?3)").bind(1, text).bind(2, contact).bind(3, nowSeconds()).run();
    tx.commit();
    return sendHtml(c.res, 200, "意见反馈", "<h1>谢谢你的反馈！</h1>");
}

// /k/<topic>: the newest statuses that carry #topic#.
bool topicPage(Ctx& c, const Segments&) {
    const std::string topic = c.path.substr(3);
    auto st = c.db.prepare("SELECT id FROM statuses WHERE instr(text, ?1) > 0 ORDER BY id DESC LIMIT 50");
    st.bind(1, "#" + topic + "#");
    std::vector<std::uint64_t> found;
    while (st.step()) found.push_back(st.u64(0));
    std::string body = "<h1>#" + htmlEscape(topic) + "#</h1>";
    if (found.empty()) body += "<p>还没有关于这个话题的微博。</p>";
    for (auto id : found) {
        Json::Value s = statusJson(c, id);
        body += "<div class=\"status\"><b>" + htmlEscape(s["user"]["screen_name"].asString()) + "</b>：" +
                htmlEscape(s["text"].asString()) + "<div class=\"meta\">" + htmlEscape(s["created_at"].asString()) + "</div></div>";
    }
    return sendHtml(c.res, 200, "#" + topic + "#", body);
}

// The information of a comma-separated list of short addresses (full or bare codes); unknown ones are left out.
bool shortUrlInfo(Ctx& c, const Segments&) {
    if (!c.req.has_param("url")) throw ApiError{400, "10016", "miss required parameter (url)"};
    const std::string list = c.req.get_param_value("url");
    const std::string& base = c.impl.base;
    Json::Value data(Json::objectValue);
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        std::string key = list.substr(start, end - start), code = key;
        start = end + 1;
        if (startsWith(code, "http://")) {
            std::size_t slash = code.find('/', 7);
            code = slash == std::string::npos ? std::string() : code.substr(slash + 1);
        }
        if (!tokenChars(code)) continue;
        auto st = c.db.prepare("SELECT kind, title, video_id FROM short_urls WHERE code = ?1");
        st.bind(1, code);
        if (!st.step()) continue;
        Json::Value v(Json::objectValue);
        std::string vid = std::to_string(st.i64(2));
        v["url"] = base + "/" + code;
        v["type"] = st.text(0);
        v["title"] = st.text(1);
        bool video = st.text(0) == "video";
        v["screen"] = video ? base + "/video/" + vid + "/screen.png" : "";
        v["flash"] = video ? base + "/video/" + vid + "/player" : "";
        v["mp4"] = video ? base + "/video/" + vid + ".mp4" : "";
        v["icon"] = base + "/video/icon.png";
        data[key] = v;
    }
    Json::Value answer(Json::objectValue);
    answer["code"] = "A00006";
    answer["data"] = data;
    c.res.set_content(writeJson(answer), "application/json; charset=utf-8");
    return true;
}

const std::string kEmojiPrefix = "/t3/style/images/common/face/emimage/";

// Six lowercase hex digits and ".png": the three UTF-8 bytes of one private-use code point.
bool emojiPicture(Ctx& c, const Segments&) {
    const std::string name = c.path.substr(kEmojiPrefix.size());
    if (name.size() != 10 || !endsWith(name, ".png")) return false;
    std::uint32_t bytes[3];
    for (int i = 0; i < 3; ++i) {
        std::string h = name.substr(i * 2, 2);
        if (!std::all_of(h.begin(), h.end(), [](char ch) { return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'); }))
            return false;
        bytes[i] = static_cast<std::uint32_t>(std::stoul(h, nullptr, 16));
    }
    if ((bytes[0] & 0xF0) != 0xE0 || (bytes[1] & 0xC0) != 0x80 || (bytes[2] & 0xC0) != 0x80) return false;
    std::uint32_t cp = ((bytes[0] & 0x0F) << 12) | ((bytes[1] & 0x3F) << 6) | (bytes[2] & 0x3F);
    if (!isEmojiCodePoint(cp)) return false;
    return sendPng(c.res, pictures().get("emoji" + name, [&] { return emojiPng(cp); }));
}

// /expression/<emotion id>.png
bool emotionPicture(Ctx& c, const Segments& seg) {
    std::string id = seg[1].substr(0, seg[1].size() - 4);
    std::uint64_t n = 0;
    if (!allDigits(id) || !parseU64(id, n) || n > 1000000) return false;
    auto st = c.db.prepare("SELECT 1 FROM emotions WHERE id = ?1");
    st.bind(1, n);
    if (!st.step()) return false;
    return sendPng(c.res, pictures().get("emotion" + id, [&] { return emotionPng(static_cast<int>(n)); }));
}

// /avatar/<user id>/50.png or 180.png
bool avatarPicture(Ctx& c, const Segments& seg) {
    std::uint64_t uid = 0;
    parseU64(seg[1], uid);
    auto st = c.db.prepare("SELECT 1 FROM users WHERE id = ?1");
    st.bind(1, uid);
    if (!st.step()) return false;
    int size = seg[2] == "50.png" ? 50 : 180;
    return sendPng(c.res, pictures().get("avatar" + seg[1] + "/" + seg[2], [&] { return avatarPng(uid, size); }));
}

// /pic/<size>/<key>.<extension>: generated pictures of the demo world ('s' still, 'g' animated) and
// the pictures people uploaded ('u', stored with their smaller copies).
bool statusPicture(Ctx& c, const Segments& seg) {
    std::size_t dot = seg[2].rfind('.');
    if (dot == std::string::npos) return false;
    std::string key = seg[2].substr(0, dot), ext = seg[2].substr(dot + 1);
    int sizeIndex = seg[1] == "thumbnail" ? 0 : seg[1] == "bmiddle" ? 1 : 2;
    if (key.size() > 1 && key.size() < 10 && (key[0] == 's' || key[0] == 'g') && allDigits(key.substr(1))) {
        // Only pictures that a status carries exist.
        auto known = c.db.prepare("SELECT 1 FROM statuses WHERE pic = ?1 LIMIT 1");
        known.bind(1, key);
        if (!known.step()) return false;
        std::uint32_t n = static_cast<std::uint32_t>(std::stoul(key.substr(1)));
        if (key[0] == 's' && ext == "png") {
            static const int dims[3][2] = {{120, 90}, {440, 330}, {800, 600}};
            return sendPng(c.res, pictures().get("pic" + c.path, [&] {
                return statusPicturePng(n, dims[sizeIndex][0], dims[sizeIndex][1]);
            }));
        }
        if (key[0] == 'g' && ext == "gif") {
            static const int dims[3][2] = {{120, 90}, {240, 180}, {400, 300}};
            c.res.set_content(pictures().get("pic" + c.path, [&] {
                return animatedStatusGif(n, dims[sizeIndex][0], dims[sizeIndex][1]);
            }), "image/gif");
            return true;
        }
        return false;
    }
    if (key.size() > 1 && key[0] == 'u' && tokenChars(key)) {
        // The original as sent, and smaller copies where they could be made.
        auto st = c.db.prepare("SELECT mime, data FROM pictures WHERE key IN (?1, ?2) ORDER BY key = ?1 LIMIT 1");
        st.bind(1, key).bind(2, key + ":" + seg[1]);
        if (!st.step()) return false;
        c.res.set_content(st.text(1), st.text(0).c_str());
        return true;
    }
    return false;
}

// /video/icon.png, /video/<id>.mp4, /video/<id>/screen.png and the player page /video/<id>/player.
bool videoFiles(Ctx& c, const Segments& seg) {
    if (seg.size() == 2 && seg[1] == "icon.png") return sendPng(c.res, pictures().get("icon", [] { return iconPng(); }));
    std::string idText = seg[1];
    bool mp4 = seg.size() == 2 && endsWith(idText, ".mp4");
    if (mp4) idText = idText.substr(0, idText.size() - 4);
    std::uint64_t parsed = 0;
    if (!allDigits(idText) || !parseU64(idText, parsed) || parsed > 1000000) return false;
    std::int64_t vid = static_cast<std::int64_t>(parsed);
    std::string title;
    {
        auto st = c.db.prepare("SELECT title FROM short_urls WHERE kind = 'video' AND video_id = ?1");
        st.bind(1, vid);
        if (!st.step()) return false;
        title = st.text(0);
    }
    if (mp4) {
        c.res.set_header("Accept-Ranges", "bytes");
        c.res.set_content(pictures().get("mp4" + idText, [&] { return makeMp4(128, 96, 10, static_cast<std::uint32_t>(vid)); }),
                          "video/mp4");
        return true;
    }
    if (seg.size() == 3 && seg[2] == "screen.png")
        return sendPng(c.res, pictures().get("still" + idText, [&] { return videoStillPng(static_cast<int>(vid)); }));
    if (seg.size() == 3 && seg[2] == "player")
        return sendHtml(c.res, 200, title,
                        "<h1>" + htmlEscape(title) + "</h1><video controls autoplay loop width=\"512\" height=\"384\" poster=\"/video/" +
                            idText + "/screen.png\"><source src=\"/video/" + idText +
                            ".mp4\" type=\"video/mp4\">你的浏览器不能播放这段视频。</video>");
    return false;
}

// /<author id>/statuses/<status id>: the status, its repost and picture, and its newest comments.
bool statusPage(Ctx& c, const Segments& seg) {
    std::uint64_t uid = 0, sid = 0;
    parseU64(seg[0], uid);
    parseU64(seg[2], sid);
    Json::Value s = statusJson(c, sid);
    if (s.isNull() || s["user"]["id"].asUInt64() != uid) return false;
    std::string body = "<div class=\"status\"><h2>" + htmlEscape(s["user"]["screen_name"].asString()) + "</h2><p>" +
                       htmlEscape(s["text"].asString()) + "</p>";
    if (s.isMember("retweeted_status"))
        body += "<blockquote>@" + htmlEscape(s["retweeted_status"]["user"]["screen_name"].asString()) + "：" +
                htmlEscape(s["retweeted_status"]["text"].asString()) + "</blockquote>";
    if (s.isMember("bmiddle_pic")) body += "<p><img src=\"" + htmlEscape(s["bmiddle_pic"].asString()) + "\"></p>";
    body += "<div class=\"meta\">" + htmlEscape(s["created_at"].asString()) + "</div></div><h3>评论</h3>";
    auto st = c.db.prepare("SELECT c.text, u.screen_name FROM comments c JOIN users u ON u.id = c.user_id WHERE c.status_id = ?1 "
                           "ORDER BY c.id DESC LIMIT 50");
    st.bind(1, sid);
    while (st.step())
        body += "<div class=\"status\"><b>" + htmlEscape(st.text(1)) + "</b>：" + htmlEscape(c.impl.expand(st.text(0))) + "</div>";
    return sendHtml(c.res, 200, s["user"]["screen_name"].asString() + "的微博", body);
}

// A short address: one path segment known to the short-address table, redirected to its target.
bool shortAddress(Ctx& c, const Segments& seg) {
    auto st = c.db.prepare("SELECT kind, target, video_id FROM short_urls WHERE code = ?1");
    st.bind(1, seg[0]);
    if (!st.step()) return false;
    std::string to = st.text(0) == "video" ? "/video/" + std::to_string(st.i64(2)) + "/player" : st.text(1);
    c.res.set_redirect(c.impl.base + to);
    return true;
}

// --- the table -----------------------------------------------------------------------------------

struct WebRoute {
    bool anyMethod;  // the forms take GET and POST; everything else answers GET (and HEAD) only
    bool (*matches)(const std::string& path, const Segments& seg);
    bool (*serve)(Ctx& c, const Segments& seg);
};

// The first route whose pattern matches serves the request; its false means "not found".
const WebRoute kWebRoutes[] = {
    {false, [](const std::string& p, const Segments&) { return p == "/"; }, startPage},
    {true, [](const std::string& p, const Segments&) { return p == "/oauth/authorize"; }, authorizePage},
    {true, [](const std::string& p, const Segments&) { return p == "/feedback"; }, feedbackPage},
    {false, [](const std::string& p, const Segments&) { return startsWith(p, "/k/"); }, topicPage},
    {false, [](const std::string& p, const Segments&) { return p == "/mblog/sinaurl_info.php"; }, shortUrlInfo},
    {false, [](const std::string& p, const Segments&) { return startsWith(p, kEmojiPrefix); }, emojiPicture},
    {false,
     [](const std::string&, const Segments& s) { return s.size() == 2 && s[0] == "expression" && endsWith(s[1], ".png"); },
     emotionPicture},
    {false,
     [](const std::string&, const Segments& s) {
         return s.size() == 3 && s[0] == "avatar" && allDigits(s[1]) && (s[2] == "50.png" || s[2] == "180.png");
     },
     avatarPicture},
    {false,
     [](const std::string&, const Segments& s) {
         return s.size() == 3 && s[0] == "pic" && (s[1] == "thumbnail" || s[1] == "bmiddle" || s[1] == "large");
     },
     statusPicture},
    {false, [](const std::string&, const Segments& s) { return s.size() >= 2 && s[0] == "video"; }, videoFiles},
    {false,
     [](const std::string&, const Segments& s) {
         return s.size() == 3 && allDigits(s[0]) && s[1] == "statuses" && allDigits(s[2]);
     },
     statusPage},
    {false, [](const std::string&, const Segments& s) { return s.size() == 1 && tokenChars(s[0]); }, shortAddress},
};

}  // namespace

bool dispatchWeb(Ctx& c) {
    const bool get = c.method == "GET" || c.method == "HEAD";
    const Segments seg = pathSegments(c.path);
    for (const WebRoute& route : kWebRoutes)
        if (route.matches(c.path, seg)) return (route.anyMethod || get) && route.serve(c, seg);
    return false;
}

}  // namespace devserver
