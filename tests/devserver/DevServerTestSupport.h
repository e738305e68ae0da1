#pragma once
// Helpers of the development-service tests: a temporary folder, an RFC 5849 signer written apart
// from the server's verifier (so that a fault in one is not mirrored by the other), signed HTTP
// calls through cpp-httplib; the child-process server is the shared launcher.
#include <httplib.h>
#include <json/json.h>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../support/DevServerProcess.h"
#include "service/HMAC_SHA1.h"
#include "service/base64.h"

namespace dstest {

inline const char* kKey = "5127730916";
inline const char* kSecret = "9f1c0a7e52d84b3690e1c7a4f2b85d03";

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/plumet-devserver-test-XXXXXX";
        path_ = ::mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string enc(const std::string& s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Credentials {
    std::string token, secret;
};

// Everything one signed request needs. Query and form values are given decoded.
struct Call {
    std::string method = "GET";
    std::string path;          // e.g. "/statuses/friends_timeline.json"
    Pairs query;               // written percent-encoded unless rawQuery is set
    bool rawQuery = false;     // write query values as raw UTF-8, the way an older client did
    Pairs form;                // url-encoded body (POST)
    Pairs oauthExtra;          // more header parameters (oauth_verifier, x_auth_*)
    std::string nonce;         // empty: random
    long long timestamp = 0;   // 0: now
    std::string consumerSecret = kSecret;
    std::string consumerKey = kKey;
};

inline std::string randomNonce() {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    static const char a[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string n;
    for (int i = 0; i < 24; ++i) n += a[rng() % 62];
    return n;
}

// Returns the Authorization header value for the call against base (e.g. http://127.0.0.1:1234).
inline std::string authorization(const std::string& base, const Call& call, const Credentials& cred,
                                 std::string* target = nullptr) {
    Pairs oauth = {{"oauth_consumer_key", call.consumerKey},
                   {"oauth_nonce", call.nonce.empty() ? randomNonce() : call.nonce},
                   {"oauth_signature_method", "HMAC-SHA1"},
                   {"oauth_timestamp", std::to_string(call.timestamp ? call.timestamp : std::time(nullptr))},
                   {"oauth_version", "1.0"}};
    if (!cred.token.empty()) oauth.emplace_back("oauth_token", cred.token);
    for (auto& kv : call.oauthExtra) oauth.push_back(kv);
    Pairs all;
    for (const Pairs* list : {&call.query, &call.form, const_cast<const Pairs*>(&oauth)})
        for (auto& kv : *list) all.emplace_back(enc(kv.first), enc(kv.second));
    std::sort(all.begin(), all.end());
    std::string params;
    for (auto& kv : all) params += (params.empty() ? "" : "&") + kv.first + "=" + kv.second;
    std::string baseString = call.method + "&" + enc(base + call.path) + "&" + enc(params);
    std::string signature = base64_encode(CHMAC_SHA1::digest(enc(call.consumerSecret) + "&" + enc(cred.secret), baseString));
    std::string header = "OAuth ";
    for (auto& kv : oauth) header += kv.first + "=\"" + enc(kv.second) + "\", ";
    header += "oauth_signature=\"" + enc(signature) + "\"";
    if (target) {
        *target = call.path;
        for (std::size_t i = 0; i < call.query.size(); ++i)
            *target += (i ? "&" : "?") + call.query[i].first + "=" +
                       (call.rawQuery ? call.query[i].second : enc(call.query[i].second));
    }
    return header;
}

inline std::string formBody(const Pairs& form) {
    std::string body;
    for (auto& kv : form) body += (body.empty() ? "" : "&") + enc(kv.first) + "=" + enc(kv.second);
    return body;
}

struct Reply {
    int status = 0;
    std::string body;
    Json::Value json;
    bool parsed = false;
};

inline Reply toReply(const httplib::Result& r) {
    Reply out;
    if (!r) return out;
    out.status = r->status;
    out.body = r->body;
    Json::CharReaderBuilder b;
    std::string errs;
    std::unique_ptr<Json::CharReader> reader(b.newCharReader());
    out.parsed = reader->parse(out.body.data(), out.body.data() + out.body.size(), &out.json, &errs);
    return out;
}

// Whether a reply is the service's error object with this status.
inline bool isError(const Reply& r, int status) {
    return r.status == status && r.parsed && r.json.isObject() && r.json["error"].isString() &&
           r.json["error_code"].isString() && r.json["error_code"].asString() == std::to_string(status) &&
           r.json["request"].isString();
}

class Api {
public:
    Api(std::string host, int port) : base_("http://" + host + ":" + std::to_string(port)), http_(host, port) {
        http_.set_read_timeout(30);
        http_.set_keep_alive(true);
        http_.set_tcp_nodelay(true);
    }
    const std::string& base() const { return base_; }
    httplib::Client& http() { return http_; }

    Reply send(const Call& call, const Credentials& cred) {
        std::string target;
        httplib::Headers headers{{"Authorization", authorization(base_, call, cred, &target)}};
        if (call.method == "GET") return toReply(http_.Get(target.c_str(), headers));
        if (call.method == "DELETE") return toReply(http_.Delete(target.c_str(), headers));
        return toReply(http_.Post(target.c_str(), headers, formBody(call.form), "application/x-www-form-urlencoded"));
    }
    Reply get(const std::string& path, const Pairs& query, const Credentials& cred) {
        Call c;
        c.path = path;
        c.query = query;
        return send(c, cred);
    }
    Reply post(const std::string& path, const Pairs& form, const Credentials& cred) {
        Call c;
        c.method = "POST";
        c.path = path;
        c.form = form;
        return send(c, cred);
    }
    Reply del(const std::string& path, const Credentials& cred) {
        Call c;
        c.method = "DELETE";
        c.path = path;
        return send(c, cred);
    }
    Reply plain(const std::string& path) { return toReply(http_.Get(path.c_str())); }

private:
    std::string base_;
    httplib::Client http_;
};

// The executable started as a child process on a free port with its own database.
using ChildServer = testsupport::DevServerProcess;

}  // namespace dstest
