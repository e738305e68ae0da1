// Server lifecycle, request routing, the signature check of API calls, the token exchange and the
// web pages and pictures.
#include "devserver/DevServer.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "devserver/Media.h"
#include "devserver/ServerImpl.h"

namespace devserver {

const char* const kConsumerKey = "5127730916";
const char* const kConsumerSecret = "9f1c0a7e52d84b3690e1c7a4f2b85d03";

namespace {

std::int64_t nowSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}
bool startsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

void makeDirectories(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0700);
}

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" + htmlEscape(title) +
           "</title><style>body{font-family:sans-serif;max-width:720px;margin:2em auto;line-height:1.6}"
           ".status{border-bottom:1px solid #ddd;padding:.6em 0}.meta{color:#888;font-size:small}</style></head><body>" +
           body + "</body></html>\n";
}

void sendHtml(httplib::Response& res, int status, const std::string& title, const std::string& body) {
    res.status = status;
    res.set_content(page(title, body), "text/html; charset=utf-8");
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

bool allDigits(const std::string& s) {
    return !s.empty() && s.size() < 20 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}
bool tokenChars(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-';
    });
}

std::string formPairs(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string out;
    for (auto& kv : pairs) {
        if (!out.empty()) out += '&';
        out += kv.first + "=" + percentEncode(kv.second);
    }
    return out;
}

}  // namespace

std::string defaultDatabasePath() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.local/share";
    }
    return base + "/Plumet/devserver.sqlite";
}

std::string writeJson(const Json::Value& value) {
    static const Json::StreamWriterBuilder builder = [] {
        Json::StreamWriterBuilder b;
        b["indentation"] = "";
        b["emitUTF8"] = true;
        return b;
    }();
    return Json::writeString(builder, value);
}

Json::Value errorJson(const std::string& requestPath, const ApiError& e) {
    Json::Value v(Json::objectValue);
    v["request"] = sanitizeUtf8(requestPath);
    v["error_code"] = std::to_string(e.status);
    v["error"] = sanitizeUtf8(e.code + ":Error: " + e.message);
    return v;
}

void sendError(httplib::Response& res, const std::string& requestPath, const ApiError& e) {
    res.status = e.status;
    res.set_content(writeJson(errorJson(requestPath, e)), "application/json; charset=utf-8");
}

std::string DevServer::Impl::expand(const std::string& stored) const {
    if (stored.find(kBaseMarker) == std::string::npos) return stored;
    std::string out;
    out.reserve(stored.size() + 32);
    for (char c : stored) {
        if (c == kBaseMarker) out += base;
        else out += c;
    }
    return out;
}

std::string DevServer::Impl::token(std::size_t length) {
    std::lock_guard<std::mutex> lock(rngMutex);
    return world::randomToken(rng, length);
}

// --- routing --------------------------------------------------------------------------------------

void DevServer::Impl::handle(const httplib::Request& req, httplib::Response& res) {
    std::string target = req.target.empty() ? req.path : req.target;
    std::size_t q = target.find('?');
    std::string rawPath = target.substr(0, q);
    if (rawPath.empty() || rawPath[0] != '/') rawPath = "/" + rawPath;
    std::string decoded = percentDecode(rawPath, false);
    std::string path = decoded;
    if (path == "/2" || startsWith(path, "/2/")) path = path.size() > 2 ? path.substr(2) : "/";
    try {
        if (rawPath.size() > 4096) throw ApiError{414, "10001", "request path too long"};
        if (endsWith(path, ".json")) return handleApi(req, res, rawPath, path.substr(0, path.size() - 5), decoded);
        if (path == "/oauth/request_token" || path == "/oauth/access_token")
            return handleApi(req, res, rawPath, path, decoded);
        if (handleDevControl(req, res, path)) return;
        if (handleWeb(req, res, path)) return;
        throw ApiError{404, "10022", "no such request: " + decoded};
    } catch (const ApiError& e) {
        sendError(res, decoded, e);
    } catch (const std::exception& e) {
        sendError(res, decoded, ApiError{500, "10001", std::string("system error: ") + e.what()});
    }
}

void DevServer::Impl::handleApi(const httplib::Request& req, httplib::Response& res, const std::string& rawPath,
                                const std::string& path, const std::string& requestPath) {
    SignedRequest signedReq;
    signedReq.method = req.method;
    std::string host = req.get_header_value("Host");
    for (auto& ch : host) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (endsWith(host, ":80")) host.resize(host.size() - 3);
    if (!host.empty()) signedReq.baseUrls.push_back("http://" + host + rawPath);
    std::string own = "http://127.0.0.1:" + std::to_string(boundPort) + rawPath;
    if (signedReq.baseUrls.empty() || signedReq.baseUrls[0] != own) signedReq.baseUrls.push_back(own);
    std::size_t q = req.target.find('?');
    if (q != std::string::npos) signedReq.rawQuery = req.target.substr(q + 1);
    std::string contentType = req.get_header_value("Content-Type");
    bool form = startsWith(contentType, "application/x-www-form-urlencoded");
    if (form) signedReq.formBody = req.body;
    if (req.is_multipart_form_data())
        for (auto& kv : req.files)
            if (kv.second.filename.empty()) signedReq.multipartFields.emplace_back(kv.first, kv.second.content);
    signedReq.authorization = req.get_header_value("Authorization");

    ParamList header;
    if (signedReq.authorization.empty()) throw ApiError{401, "40101", "missing Authorization header (OAuth 1.0)"};
    if (!parseAuthorizationHeader(signedReq.authorization, header))
        throw ApiError{401, "40101", "malformed OAuth Authorization header"};

    if (path == "/oauth/request_token" || path == "/oauth/access_token")
        return handleTokenEndpoint(req, res, path, requestPath, signedReq, header);
    auto lease = store->acquire();
    Connection& db = *lease;

    // Every API call needs an access token of our consumer and a valid signature.
    const std::uint64_t ts = checkProtocolParams(header);
    const std::string nonce = headerParam(header, "oauth_nonce");
    std::string tokenKey = headerParam(header, "oauth_token");
    if (tokenKey.empty()) throw ApiError{401, "40111", "missing oauth_token"};
    std::string secret;
    std::uint64_t userId = 0;
    {
        std::shared_lock<std::shared_mutex> lock(tokenMutex);
        auto it = tokenCache.find(tokenKey);
        if (it != tokenCache.end()) {
            secret = it->second.first;
            userId = it->second.second;
        }
    }
    if (!userId) {
        auto st = db.prepare("SELECT secret, user_id FROM access_tokens WHERE token = ?1 AND consumer = ?2");
        st.bind(1, tokenKey).bind(2, std::string(kConsumerKey));
        if (st.step()) {
            secret = st.text(0);
            userId = st.u64(1);
            std::unique_lock<std::shared_mutex> lock(tokenMutex);
            tokenCache[tokenKey] = {secret, userId};
        }
    }
    if (!userId) throw ApiError{401, "40111", "token invalid or expired"};
    if (!verifySignature(signedReq, header, kConsumerSecret, secret))
        throw ApiError{401, "40107", "signature invalid"};
    if (!nonces.remember(kConsumerKey, tokenKey, static_cast<std::int64_t>(ts), nonce, serviceNow()))
        throw ApiError{401, "40110", "nonce already used"};

    Ctx ctx{req, res, *this, db, req.method == "HEAD" ? std::string("GET") : req.method, path, requestPath, {}, userId, {}, {}};
    for (auto& kv : splitQueryRaw(signedReq.rawQuery))
        ctx.params.emplace_back(percentDecode(kv.first, false), percentDecode(kv.second, false));
    if (form)
        for (auto& kv : parseForm(req.body)) ctx.params.push_back(kv);
    for (auto& kv : signedReq.multipartFields) ctx.params.push_back(kv);
    dispatchApi(ctx);
}

// The protocol parameters every signed request carries, API call or token exchange; answers the timestamp.
std::uint64_t DevServer::Impl::checkProtocolParams(const ParamList& header) const {
    if (headerParam(header, "oauth_consumer_key") != kConsumerKey) throw ApiError{401, "40113", "unknown consumer key"};
    if (headerParam(header, "oauth_signature_method") != "HMAC-SHA1")
        throw ApiError{401, "40102", "unsupported signature method (HMAC-SHA1 expected)"};
    const std::string version = headerParam(header, "oauth_version");
    if (!version.empty() && version != "1.0") throw ApiError{401, "40102", "unsupported OAuth version"};
    std::uint64_t ts = 0;
    if (!parseU64(headerParam(header, "oauth_timestamp"), ts) ||
        std::llabs(static_cast<long long>(ts) - serviceNow()) > options.timestampWindow)
        throw ApiError{401, "40109", "timestamp refused (missing or outside the allowed window)"};
    if (headerParam(header, "oauth_nonce").empty()) throw ApiError{401, "40110", "missing oauth_nonce"};
    return ts;
}

void DevServer::Impl::handleTokenEndpoint(const httplib::Request& req, httplib::Response& res, const std::string& path,
                                          const std::string& requestPath, const SignedRequest& signedReq,
                                          const ParamList& header) {
    (void)requestPath;
    auto lease = store->acquire();
    Connection& db = *lease;
    const std::uint64_t ts = checkProtocolParams(header);
    const std::string nonce = headerParam(header, "oauth_nonce");
    const std::string tokenKey = headerParam(header, "oauth_token");
    const std::int64_t now = serviceNow();
    auto checkSignatureAndNonce = [&](const std::string& tokenSecret) {
        if (!verifySignature(signedReq, header, kConsumerSecret, tokenSecret))
            throw ApiError{401, "40107", "signature invalid"};
        if (!nonces.remember(kConsumerKey, tokenKey, static_cast<std::int64_t>(ts), nonce, now))
            throw ApiError{401, "40110", "nonce already used"};
    };
    auto issueAccessToken = [&](std::uint64_t userId) {
        std::string token = this->token(32), secret = this->token(32);
        WriteTransaction tx(db);
        db.prepare("INSERT INTO access_tokens(token, secret, consumer, user_id, created_at) VALUES(?1, ?2, ?3, ?4, ?5)")
            .bind(1, token)
            .bind(2, secret)
            .bind(3, std::string(kConsumerKey))
            .bind(4, userId)
            .bind(5, now)
            .run();
        tx.commit();
        res.set_content(formPairs({{"oauth_token", token}, {"oauth_token_secret", secret}, {"user_id", std::to_string(userId)}}),
                        "application/x-www-form-urlencoded");
    };

    if (path == "/oauth/request_token") {
        // A signer that still holds an older token signs with its secret; accept it when we know it.
        std::string tokenSecret;
        if (!tokenKey.empty()) {
            auto st = db.prepare("SELECT secret FROM access_tokens WHERE token = ?1 UNION ALL "
                                 "SELECT secret FROM request_tokens WHERE token = ?1");
            st.bind(1, tokenKey);
            if (!st.step()) throw ApiError{401, "40111", "token invalid or expired"};
            tokenSecret = st.text(0);
        }
        checkSignatureAndNonce(tokenSecret);
        std::string token = this->token(32), secret = this->token(32);
        WriteTransaction tx(db);
        db.prepare("INSERT INTO request_tokens(token, secret, consumer, created_at) VALUES(?1, ?2, ?3, ?4)")
            .bind(1, token)
            .bind(2, secret)
            .bind(3, std::string(kConsumerKey))
            .bind(4, now)
            .run();
        tx.commit();
        res.set_content(formPairs({{"oauth_token", token}, {"oauth_token_secret", secret}, {"oauth_callback_confirmed", "true"}}),
                        "application/x-www-form-urlencoded");
        return;
    }

    std::string mode = headerParam(header, "x_auth_mode");
    if (!mode.empty()) {
        if (mode != "client_auth") throw ApiError{400, "40120", "unsupported x_auth_mode"};
        if (req.method != "POST") throw ApiError{405, "10021", "xAuth needs POST"};
        checkSignatureAndNonce(std::string());
        // The header's quoted values may stand unencoded; a value that decodes differently is tried both ways.
        std::string user, password, userRaw, passwordRaw;
        for (auto& kv : header) {
            if (kv.first == "x_auth_username") userRaw = kv.second;
            if (kv.first == "x_auth_password") passwordRaw = kv.second;
        }
        std::uint64_t userId = 0;
        for (int decoded = 1; decoded >= 0 && !userId; --decoded) {
            user = decoded ? percentDecode(userRaw, false) : userRaw;
            password = decoded ? percentDecode(passwordRaw, false) : passwordRaw;
            auto st = db.prepare("SELECT id FROM users WHERE (login = ?1 OR screen_name = ?1) AND password = ?2");
            st.bind(1, user).bind(2, password);
            if (st.step()) userId = st.u64(0);
        }
        if (!userId) throw ApiError{403, "21302", "username or password error"};
        issueAccessToken(userId);
        return;
    }

    // PIN flow: the request token, authorised on the web page, and the PIN shown there.
    if (tokenKey.empty()) throw ApiError{401, "40111", "missing oauth_token"};
    std::string secret, pin;
    std::uint64_t userId = 0;
    std::int64_t created = 0;
    bool used = false;
    {
        auto st = db.prepare("SELECT secret, pin, user_id, created_at, used FROM request_tokens WHERE token = ?1");
        st.bind(1, tokenKey);
        if (!st.step()) throw ApiError{401, "40111", "token invalid or expired"};
        secret = st.text(0);
        pin = st.text(1);
        userId = st.u64(2);
        created = st.i64(3);
        used = st.i64(4) != 0;
    }
    checkSignatureAndNonce(secret);
    if (used || now - created > 3600) throw ApiError{401, "40111", "token invalid or expired"};
    if (!userId || pin.empty()) throw ApiError{401, "40112", "request token not yet authorised"};
    if (headerParam(header, "oauth_verifier") != pin) throw ApiError{401, "40118", "oauth_verifier (PIN) invalid"};
    {
        WriteTransaction tx(db);
        db.prepare("UPDATE request_tokens SET used = 1 WHERE token = ?1 AND used = 0").bind(1, tokenKey).run();
        bool first = db.changes() > 0;
        tx.commit();
        if (!first) throw ApiError{401, "40111", "token invalid or expired"};
    }
    issueAccessToken(userId);
}

// --- web pages and files --------------------------------------------------------------------------

bool DevServer::Impl::handleWeb(const httplib::Request& req, httplib::Response& res, const std::string& path) {
    const bool get = req.method == "GET" || req.method == "HEAD";
    const bool post = req.method == "POST";
    auto lease = store->acquire();
    Connection& db = *lease;
    httplib::Response& r = res;
    Ctx ctx{req, res, *this, db, req.method, path, path, {}, 0, {}, {}};

    auto png = [&](const std::string& bytes) {
        r.set_header("Cache-Control", "max-age=86400");
        r.set_content(bytes, "image/png");
        return true;
    };

    if (path == "/" && get) {
        std::string body = "<h1>Plumet 开发服务</h1><p>Plumet 设置需要的地址：</p><pre>" + htmlEscape(settingsLines()) +
                           "</pre><p>演示账号：" + htmlEscape(demoAccount.login) + " / " + htmlEscape(demoAccount.password) +
                           "</p><p><a href=\"/feedback\">意见反馈</a></p>";
        sendHtml(r, 200, "Plumet 开发服务", body);
        return true;
    }

    if (path == "/oauth/authorize") {
        ParamList form = post ? parseForm(req.body) : ParamList();
        auto value = [&](const std::string& key) {
            for (auto& kv : form)
                if (kv.first == key) return kv.second;
            return req.has_param(key.c_str()) ? req.get_param_value(key.c_str()) : std::string();
        };
        std::string token = value("oauth_token");
        std::int64_t created = 0;
        bool known = false, used = false;
        {
            auto st = db.prepare("SELECT created_at, used FROM request_tokens WHERE token = ?1");
            st.bind(1, token);
            if (st.step()) {
                known = true;
                created = st.i64(0);
                used = st.i64(1) != 0;
            }
        }
        if (!known || used || nowSeconds() - created > 3600) {
            sendHtml(r, 400, "授权失败", "<h1>授权失败</h1><p>请求令牌无效或已过期，请在 Plumet 中重新获取授权码。</p>");
            return true;
        }
        auto formHtml = [&](const std::string& message) {
            return "<h1>授权 Plumet 访问你的账号</h1>" + message +
                   "<form method=\"post\" action=\"/oauth/authorize\"><input type=\"hidden\" name=\"oauth_token\" value=\"" +
                   htmlEscape(token) +
                   "\"><p>账号：<input name=\"login\"></p><p>密码：<input name=\"password\" type=\"password\"></p>"
                   "<p><button type=\"submit\">授权</button></p></form>";
        };
        if (!post) {
            sendHtml(r, 200, "授权", formHtml(""));
            return true;
        }
        std::uint64_t userId = 0;
        {
            auto st = db.prepare("SELECT id FROM users WHERE (login = ?1 OR screen_name = ?1) AND password = ?2");
            st.bind(1, value("login")).bind(2, value("password"));
            if (st.step()) userId = st.u64(0);
        }
        if (!userId) {
            sendHtml(r, 401, "授权", formHtml("<p style=\"color:#c00\">账号或密码错误</p>"));
            return true;
        }
        std::string pin;
        {
            std::lock_guard<std::mutex> lock(rngMutex);
            pin = std::to_string(100000 + rng() % 900000);
        }
        {
            WriteTransaction tx(db);
            db.prepare("UPDATE request_tokens SET pin = ?2, user_id = ?3 WHERE token = ?1").bind(1, token).bind(2, pin).bind(3, userId).run();
            tx.commit();
        }
        sendHtml(r, 200, "授权成功",
                 "<h1>授权成功</h1><p>请把下面的授权码填入 Plumet：</p><p style=\"font-size:2em\">授权码：<span id=\"pin\">" + pin +
                     "</span></p>");
        return true;
    }

    if (path == "/feedback") {
        if (post) {
            ParamList form = parseForm(req.body);
            std::string text, contact;
            for (auto& kv : form) {
                if (kv.first == "text") text = kv.second;
                if (kv.first == "contact") contact = kv.second;
            }
            if (text.empty() || text.size() > 4000 || contact.size() > 200 || !isValidUtf8(text) || !isValidUtf8(contact)) {
                sendHtml(r, 400, "意见反馈", "<h1>意见反馈</h1><p>请填写 4000 字节以内的反馈内容。</p><p><a href=\"/feedback\">返回</a></p>");
                return true;
            }
            WriteTransaction tx(db);
            db.prepare("INSERT INTO feedback(text, contact, created_at) VALUES(?1, ?2, ?3)").bind(1, text).bind(2, contact).bind(3, nowSeconds()).run();
            tx.commit();
            sendHtml(r, 200, "意见反馈", "<h1>谢谢你的反馈！</h1>");
            return true;
        }
        sendHtml(r, 200, "意见反馈",
                 "<h1>意见反馈</h1><form method=\"post\" action=\"/feedback\"><p><textarea name=\"text\" rows=\"6\" "
                 "cols=\"60\"></textarea></p><p>联系方式：<input name=\"contact\"></p><p><button type=\"submit\">提交</button></p></form>");
        return true;
    }
    if (!get) return false;

    if (startsWith(path, "/k/")) {
        std::string topic = path.substr(3);
        auto st = db.prepare("SELECT id FROM statuses WHERE instr(text, ?1) > 0 ORDER BY id DESC LIMIT 50");
        st.bind(1, "#" + topic + "#");
        std::vector<std::uint64_t> found;
        while (st.step()) found.push_back(st.u64(0));
        std::string body = "<h1>#" + htmlEscape(topic) + "#</h1>";
        if (found.empty()) body += "<p>还没有关于这个话题的微博。</p>";
        for (auto id : found) {
            Json::Value s = statusJson(ctx, id);
            body += "<div class=\"status\"><b>" + htmlEscape(s["user"]["screen_name"].asString()) + "</b>：" +
                    htmlEscape(s["text"].asString()) + "<div class=\"meta\">" + htmlEscape(s["created_at"].asString()) + "</div></div>";
        }
        sendHtml(r, 200, "#" + topic + "#", body);
        return true;
    }

    if (path == "/mblog/sinaurl_info.php") {
        if (!req.has_param("url")) throw ApiError{400, "10016", "miss required parameter (url)"};
        std::string list = req.get_param_value("url");
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
            auto st = db.prepare("SELECT kind, title, video_id FROM short_urls WHERE code = ?1");
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
        r.set_content(writeJson(answer), "application/json; charset=utf-8");
        return true;
    }

    const std::string emojiPrefix = "/t3/style/images/common/face/emimage/";
    if (startsWith(path, emojiPrefix)) {
        std::string name = path.substr(emojiPrefix.size());
        // Six lowercase hex digits: the three UTF-8 bytes of one private-use code point.
        if (name.size() != 10 || !endsWith(name, ".png")) return false;
        std::uint32_t bytes[3];
        for (int i = 0; i < 3; ++i) {
            std::string h = name.substr(i * 2, 2);
            if (!std::all_of(h.begin(), h.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }))
                return false;
            bytes[i] = static_cast<std::uint32_t>(std::stoul(h, nullptr, 16));
        }
        if ((bytes[0] & 0xF0) != 0xE0 || (bytes[1] & 0xC0) != 0x80 || (bytes[2] & 0xC0) != 0x80) return false;
        std::uint32_t cp = ((bytes[0] & 0x0F) << 12) | ((bytes[1] & 0x3F) << 6) | (bytes[2] & 0x3F);
        if (!isEmojiCodePoint(cp)) return false;
        return png(pictures().get("emoji" + name, [&] { return emojiPng(cp); }));
    }

    const auto seg = pathSegments(path);

    if (seg.size() == 2 && seg[0] == "expression" && endsWith(seg[1], ".png")) {
        std::string id = seg[1].substr(0, seg[1].size() - 4);
        std::uint64_t n = 0;
        if (!allDigits(id) || !parseU64(id, n) || n > 1000000) return false;
        auto st = db.prepare("SELECT 1 FROM emotions WHERE id = ?1");
        st.bind(1, n);
        if (!st.step()) return false;
        return png(pictures().get("emotion" + id, [&] { return emotionPng(static_cast<int>(n)); }));
    }

    if (seg.size() == 3 && seg[0] == "avatar" && allDigits(seg[1]) && (seg[2] == "50.png" || seg[2] == "180.png")) {
        std::uint64_t uid = 0;
        parseU64(seg[1], uid);
        auto st = db.prepare("SELECT 1 FROM users WHERE id = ?1");
        st.bind(1, uid);
        if (!st.step()) return false;
        int size = seg[2] == "50.png" ? 50 : 180;
        return png(pictures().get("avatar" + seg[1] + "/" + seg[2], [&] { return avatarPng(uid, size); }));
    }

    if (seg.size() == 3 && seg[0] == "pic" && (seg[1] == "thumbnail" || seg[1] == "bmiddle" || seg[1] == "large")) {
        std::size_t dot = seg[2].rfind('.');
        if (dot == std::string::npos) return false;
        std::string key = seg[2].substr(0, dot), ext = seg[2].substr(dot + 1);
        int sizeIndex = seg[1] == "thumbnail" ? 0 : seg[1] == "bmiddle" ? 1 : 2;
        if (key.size() > 1 && key.size() < 10 && (key[0] == 's' || key[0] == 'g') && allDigits(key.substr(1))) {
            // Only pictures that a status carries exist.
            auto known = db.prepare("SELECT 1 FROM statuses WHERE pic = ?1 LIMIT 1");
            known.bind(1, key);
            if (!known.step()) return false;
            std::uint32_t n = static_cast<std::uint32_t>(std::stoul(key.substr(1)));
            if (key[0] == 's' && ext == "png") {
                static const int dims[3][2] = {{120, 90}, {440, 330}, {800, 600}};
                return png(pictures().get("pic" + path, [&] { return statusPicturePng(n, dims[sizeIndex][0], dims[sizeIndex][1]); }));
            }
            if (key[0] == 'g' && ext == "gif") {
                static const int dims[3][2] = {{120, 90}, {240, 180}, {400, 300}};
                r.set_content(pictures().get("pic" + path, [&] { return animatedStatusGif(n, dims[sizeIndex][0], dims[sizeIndex][1]); }),
                              "image/gif");
                return true;
            }
            return false;
        }
        if (key.size() > 1 && key[0] == 'u' && tokenChars(key)) {
            // The original as sent, and smaller copies where they could be made.
            auto st = db.prepare("SELECT mime, data FROM pictures WHERE key IN (?1, ?2) ORDER BY key = ?1 LIMIT 1");
            st.bind(1, key).bind(2, key + ":" + seg[1]);
            if (!st.step()) return false;
            r.set_content(st.text(1), st.text(0).c_str());
            return true;
        }
        return false;
    }

    if (seg.size() >= 2 && seg[0] == "video") {
        if (seg.size() == 2 && seg[1] == "icon.png") return png(pictures().get("icon", [] { return iconPng(); }));
        std::string idText = seg[1];
        bool mp4 = seg.size() == 2 && endsWith(idText, ".mp4");
        if (mp4) idText = idText.substr(0, idText.size() - 4);
        std::uint64_t parsed = 0;
        if (!allDigits(idText) || !parseU64(idText, parsed) || parsed > 1000000) return false;
        std::int64_t vid = static_cast<std::int64_t>(parsed);
        std::string title;
        {
            auto st = db.prepare("SELECT title FROM short_urls WHERE kind = 'video' AND video_id = ?1");
            st.bind(1, vid);
            if (!st.step()) return false;
            title = st.text(0);
        }
        if (mp4) {
            r.set_header("Accept-Ranges", "bytes");
            r.set_content(pictures().get("mp4" + idText, [&] { return makeMp4(128, 96, 10, static_cast<std::uint32_t>(vid)); }),
                          "video/mp4");
            return true;
        }
        if (seg.size() == 3 && seg[2] == "screen.png")
            return png(pictures().get("still" + idText, [&] { return videoStillPng(static_cast<int>(vid)); }));
        if (seg.size() == 3 && seg[2] == "player") {
            sendHtml(r, 200, title,
                     "<h1>" + htmlEscape(title) + "</h1><video controls autoplay loop width=\"512\" height=\"384\" poster=\"/video/" +
                         idText + "/screen.png\"><source src=\"/video/" + idText + ".mp4\" type=\"video/mp4\">你的浏览器不能播放这段视频。</video>");
            return true;
        }
        return false;
    }

    // The status web page: /<author id>/statuses/<status id>.
    if (seg.size() == 3 && allDigits(seg[0]) && seg[1] == "statuses" && allDigits(seg[2])) {
        std::uint64_t uid = 0, sid = 0;
        parseU64(seg[0], uid);
        parseU64(seg[2], sid);
        Json::Value s = statusJson(ctx, sid);
        if (s.isNull() || s["user"]["id"].asUInt64() != uid) return false;
        std::string body = "<div class=\"status\"><h2>" + htmlEscape(s["user"]["screen_name"].asString()) + "</h2><p>" +
                           htmlEscape(s["text"].asString()) + "</p>";
        if (s.isMember("retweeted_status"))
            body += "<blockquote>@" + htmlEscape(s["retweeted_status"]["user"]["screen_name"].asString()) + "：" +
                    htmlEscape(s["retweeted_status"]["text"].asString()) + "</blockquote>";
        if (s.isMember("bmiddle_pic")) body += "<p><img src=\"" + htmlEscape(s["bmiddle_pic"].asString()) + "\"></p>";
        body += "<div class=\"meta\">" + htmlEscape(s["created_at"].asString()) + "</div></div><h3>评论</h3>";
        auto st = db.prepare("SELECT c.text, u.screen_name FROM comments c JOIN users u ON u.id = c.user_id WHERE c.status_id = ?1 "
                             "ORDER BY c.id DESC LIMIT 50");
        st.bind(1, sid);
        while (st.step())
            body += "<div class=\"status\"><b>" + htmlEscape(st.text(1)) + "</b>：" + htmlEscape(expand(st.text(0))) + "</div>";
        sendHtml(r, 200, s["user"]["screen_name"].asString() + "的微博", body);
        return true;
    }

    // Short addresses: one path segment known to the short-address table.
    if (seg.size() == 1 && tokenChars(seg[0])) {
        auto st = db.prepare("SELECT kind, target, video_id FROM short_urls WHERE code = ?1");
        st.bind(1, seg[0]);
        if (!st.step()) return false;
        std::string to = st.text(0) == "video" ? "/video/" + std::to_string(st.i64(2)) + "/player" : st.text(1);
        r.set_redirect(base + to);
        return true;
    }
    return false;
}

// --- lifecycle ------------------------------------------------------------------------------------

DevServer::DevServer(Options options) : d(std::make_unique<Impl>()) {
    d->options = std::move(options);
    if (d->options.dbPath.empty()) d->options.dbPath = defaultDatabasePath();
    d->nonces.setWindow(d->options.timestampWindow);
}

DevServer::~DevServer() { stop(); }

bool DevServer::start(std::string* error) {
    auto failWith = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (d->options.host != "127.0.0.1" && d->options.host != "localhost")
        return failWith("the development service listens on the loopback address 127.0.0.1 only");
    d->clockOffset = d->options.clockOffset;
    try {
        makeDirectories(d->options.dbPath);
        if (d->options.reset)
            for (const char* suffix : {"", "-wal", "-shm"}) std::remove((d->options.dbPath + suffix).c_str());
        d->store = std::make_unique<Store>(d->options.dbPath);
        d->created = d->store->ensureSchema();
        auto lease = d->store->acquire();
        d->demoAccount = d->created ? world::seed(*lease, nowSeconds()) : world::loadDemo(*lease);
        if (!d->demoAccount.userId) return failWith("the database holds no demo world; start once with --reset");
    } catch (const std::exception& e) {
        return failWith(e.what());
    }

    auto& http = d->http;
    const int threads = std::max(2, d->options.threads);
    http.new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
    // Bodies somewhat over the picture limit are still read, so that the sender gets the error object
    // instead of a connection closed under its upload; far larger ones are cut off by the HTTP layer.
    http.set_payload_max_length(d->options.uploadLimit * 8);
    http.set_keep_alive_max_count(100000);
    http.set_keep_alive_timeout(2);
    http.set_tcp_nodelay(true);  // headers and body go out as separate writes
    http.set_read_timeout(10);
    http.set_write_timeout(10);
    Impl* impl = d.get();
    auto route = [impl](const httplib::Request& req, httplib::Response& res) {
        impl->handle(req, res);
        // A client whose timestamp is refused sets its clock by this.
        res.set_header("Date", httpDate(impl->serviceNow()));
    };
    http.Get(".*", route);
    http.Post(".*", route);
    http.Delete(".*", route);
    auto refuse = [](const httplib::Request& req, httplib::Response& res) {
        sendError(res, req.path, ApiError{405, "10021", "HTTP method " + req.method + " is not supported"});
    };
    http.Put(".*", refuse);
    http.Patch(".*", refuse);
    http.Options(".*", refuse);
    // Failures the HTTP layer answers itself (oversized bodies, bad request lines) also get the
    // service's error object.
    http.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        ApiError e{res.status, res.status == 413 ? "40046" : "10001",
                   res.status == 413 ? "request too large (pictures up to 5 MB)" : "request refused"};
        sendError(res, req.path, e);
        return httplib::Server::HandlerResponse::Handled;
    }));
    http.set_exception_handler([](const httplib::Request& req, httplib::Response& res, std::exception_ptr) {
        sendError(res, req.path, ApiError{500, "10001", "system error"});
    });

    if (d->options.port == 0) {
        d->boundPort = http.bind_to_any_port("127.0.0.1");
        if (d->boundPort <= 0) return failWith("cannot bind a free port on 127.0.0.1");
    } else {
        if (!http.bind_to_port("127.0.0.1", d->options.port))
            return failWith("cannot bind 127.0.0.1:" + std::to_string(d->options.port) + " (in use?)");
        d->boundPort = d->options.port;
    }
    d->base = "http://127.0.0.1:" + std::to_string(d->boundPort);
    d->listener = std::thread([impl] {
        impl->http.listen_after_bind();
        std::lock_guard<std::mutex> lock(impl->stopMutex);
        impl->stopped = true;
        impl->stopCv.notify_all();
    });
    if (d->options.activitySeconds > 0) {
        d->activityThread = std::thread([this, impl] {
            const auto interval = std::chrono::seconds(impl->options.activitySeconds);
            std::unique_lock<std::mutex> lock(impl->stopMutex);
            while (!impl->stopping) {
                if (impl->stopCv.wait_for(lock, interval, [impl] { return impl->stopping.load(); })) break;
                lock.unlock();
                activityTick();
                lock.lock();
            }
        });
    }
    // Ready once the listener accepts.
    for (int i = 0; i < 500 && !http.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return true;
}

void DevServer::activityTick() {
    if (!d->store) return;
    try {
        auto lease = d->store->acquire();
        std::lock_guard<std::mutex> lock(d->rngMutex);
        world::activity(*lease, d->rng, nowSeconds());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plumet-devserver: activity failed: %s\n", e.what());
    }
}

void DevServer::stop() {
    d->stopping = true;
    {
        std::lock_guard<std::mutex> lock(d->stopMutex);
        d->stopCv.notify_all();
    }
    if (d->activityThread.joinable()) d->activityThread.join();
    d->http.stop();
    if (d->listener.joinable()) d->listener.join();
}

void DevServer::wait() {
    std::unique_lock<std::mutex> lock(d->stopMutex);
    d->stopCv.wait(lock, [this] { return d->stopped || d->stopping.load(); });
}

int DevServer::port() const { return d->boundPort; }
std::string DevServer::baseUrl() const { return d->base; }
DemoAccount DevServer::demo() const { return d->demoAccount; }
bool DevServer::createdDatabase() const { return d->created; }

std::string DevServer::settingsLines() const { return d->settingsLines(); }

std::string DevServer::Impl::settingsLines() const {
    std::ostringstream out;
    out << "WeiboHost=" << base << "\n"
        << "Weibo2Host=" << base << "/2\n"
        << "WebHost=" << base << "\n"
        << "StaticImageHost=" << base << "\n"
        << "FeedbackURL=" << base << "/feedback\n"
        << "ConsumerKey=" << kConsumerKey << "\n"
        << "DemoLogin=" << demoAccount.login << "\n"
        << "DemoPassword=" << demoAccount.password << "\n"
        << "DemoScreenName=" << demoAccount.screenName << "\n"
        << "DemoUserId=" << demoAccount.userId << "\n"
        << "DemoAccessToken=" << demoAccount.accessToken << "\n"
        << "DemoAccessTokenSecret=" << demoAccount.accessTokenSecret << "\n";
    return out.str();
}

}  // namespace devserver
