// Server lifecycle, request routing, the signature check of API calls and the token exchange. The web
// pages and pictures are in WebPages.cpp.
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

namespace {

// One token exchange: the three flows share the signature and nonce check and the issue of an access token.
struct TokenExchange {
    DevServer::Impl& impl;
    Connection& db;
    httplib::Response& res;
    const SignedRequest& signedReq;
    const ParamList& header;
    std::uint64_t ts;
    std::string nonce;
    std::string tokenKey;
    std::int64_t now;

    void checkSignatureAndNonce(const std::string& tokenSecret) {
        if (!verifySignature(signedReq, header, kConsumerSecret, tokenSecret))
            throw ApiError{401, "40107", "signature invalid"};
        if (!impl.nonces.remember(kConsumerKey, tokenKey, static_cast<std::int64_t>(ts), nonce, now))
            throw ApiError{401, "40110", "nonce already used"};
    }

    void issueAccessToken(std::uint64_t userId) {
        std::string token = impl.token(32), secret = impl.token(32);
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
    }

    void requestToken() {
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
        std::string token = impl.token(32), secret = impl.token(32);
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
    }

    // xAuth: user name and password in the signed header, signed without a token.
    void xAuth(const std::string& mode, const std::string& method) {
        if (mode != "client_auth") throw ApiError{400, "40120", "unsupported x_auth_mode"};
        if (method != "POST") throw ApiError{405, "10021", "xAuth needs POST"};
        checkSignatureAndNonce(std::string());
        // The header's quoted values may stand unencoded; a value that decodes differently is tried both ways.
        std::string userRaw, passwordRaw;
        for (auto& kv : header) {
            if (kv.first == "x_auth_username") userRaw = kv.second;
            if (kv.first == "x_auth_password") passwordRaw = kv.second;
        }
        std::uint64_t userId = 0;
        for (int decoded = 1; decoded >= 0 && !userId; --decoded) {
            const std::string user = decoded ? percentDecode(userRaw, false) : userRaw;
            const std::string password = decoded ? percentDecode(passwordRaw, false) : passwordRaw;
            auto st = db.prepare("SELECT id FROM users WHERE (login = ?1 OR screen_name = ?1) AND password = ?2");
            st.bind(1, user).bind(2, password);
            if (st.step()) userId = st.u64(0);
        }
        if (!userId) throw ApiError{403, "21302", "username or password error"};
        issueAccessToken(userId);
    }

    // PIN flow: the request token, authorised on the web page, and the PIN shown there; each token once.
    void pinExchange() {
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
};

}  // namespace

void DevServer::Impl::handleTokenEndpoint(const httplib::Request& req, httplib::Response& res, const std::string& path,
                                          const std::string& requestPath, const SignedRequest& signedReq,
                                          const ParamList& header) {
    (void)requestPath;
    auto lease = store->acquire();
    const std::uint64_t ts = checkProtocolParams(header);
    TokenExchange exchange{*this, *lease, res, signedReq, header, ts, headerParam(header, "oauth_nonce"),
                           headerParam(header, "oauth_token"), serviceNow()};
    if (path == "/oauth/request_token") return exchange.requestToken();
    const std::string mode = headerParam(header, "x_auth_mode");
    if (!mode.empty()) return exchange.xAuth(mode, req.method);
    exchange.pinExchange();
}

// --- web pages and files (WebPages.cpp) ------------------------------------------------------------

bool DevServer::Impl::handleWeb(const httplib::Request& req, httplib::Response& res, const std::string& path) {
    auto lease = store->acquire();
    Ctx ctx{req, res, *this, *lease, req.method, path, path, {}, 0, {}, {}};
    return dispatchWeb(ctx);
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
