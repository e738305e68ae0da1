#pragma once
// A loopback HTTP server that records every request the client sends, and an independent check of the
// OAuth signature done the way a server does it (decode what was sent, encode once, sort, sign).
#include "service/HMAC_SHA1.h"
#include "service/base64.h"
#include "service/urlencode.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace servicetest {

struct Part {
    std::string name, filename, content;
};

struct Captured {
    std::string method;
    std::string target;  // as sent
    std::string path;    // target up to "?"
    std::string query;   // target after "?", as sent
    std::string body;    // as sent (empty for a multipart form, whose parts are below)
    std::vector<Part> parts;  // of a multipart/form-data body, in the order sent
    std::string contentType;
    std::string contentLength;
    std::string authorization;  // cpp-httplib hands it over percent-decoded
    std::size_t authorizationCount = 0;
};

// Name/value pairs of "a=1&b=2", values decoded.
inline std::vector<std::pair<std::string, std::string>> formPairs(const std::string& text)
{
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string piece = text.substr(start, end - start);
        const std::size_t eq = piece.find('=');
        if (eq != std::string::npos)
            out.emplace_back(urldecode(piece.substr(0, eq)), urldecode(piece.substr(eq + 1)));
        start = end + 1;
    }
    return out;
}

struct HeaderParams {
    std::vector<std::pair<std::string, std::string>> pairs;  // in the order written
    bool wellFormed = false;
    std::string value(const std::string& name) const
    {
        for (const auto& p : pairs)
            if (p.first == name)
                return p.second;
        return std::string();
    }
    std::string names() const
    {
        std::string out;
        for (const auto& p : pairs)
            out += (out.empty() ? "" : ",") + p.first;
        return out;
    }
};

// Parses `OAuth a="1",b="2"` (the value of the Authorization header).
inline HeaderParams parseAuthorization(const std::string& value)
{
    HeaderParams h;
    const std::string prefix = "OAuth ";
    if (value.compare(0, prefix.size(), prefix) != 0)
        return h;
    std::size_t pos = prefix.size();
    while (pos < value.size()) {
        const std::size_t eq = value.find("=\"", pos);
        if (eq == std::string::npos)
            return h;
        const std::size_t close = value.find('"', eq + 2);
        if (close == std::string::npos)
            return h;
        h.pairs.emplace_back(value.substr(pos, eq - pos), value.substr(eq + 2, close - eq - 2));
        pos = close + 1;
        if (pos < value.size()) {
            if (value[pos] != ',')
                return h;
            ++pos;
        }
    }
    h.wellFormed = true;
    return h;
}

// Empty when the request's signature is right for these secrets; otherwise what went wrong.
inline std::string checkSignature(const Captured& r, const std::string& origin, const std::string& consumerSecret,
                                  const std::string& tokenSecret)
{
    const HeaderParams header = parseAuthorization(r.authorization);
    if (!header.wellFormed)
        return "malformed Authorization: " + r.authorization;
    std::vector<std::string> params;
    for (const auto& [name, value] : header.pairs)
        if (name != "oauth_signature")
            params.push_back(name + "=" + urlencode(value));
    for (const auto& [name, value] : formPairs(r.query))
        params.push_back(urlencode(name) + "=" + urlencode(value));
    if (r.contentType.rfind("application/x-www-form-urlencoded", 0) == 0)
        for (const auto& [name, value] : formPairs(r.body))
            params.push_back(urlencode(name) + "=" + urlencode(value));
    for (const Part& part : r.parts)
        if (part.filename.empty())
            params.push_back(urlencode(part.name) + "=" + urlencode(part.content));
    std::sort(params.begin(), params.end());
    std::string joined;
    for (const std::string& p : params)
        joined += (joined.empty() ? "" : "&") + p;
    const std::string base = r.method + "&" + urlencode(origin + r.path) + "&" + urlencode(joined);
    const std::string expected = base64_encode(CHMAC_SHA1::digest(consumerSecret + "&" + tokenSecret, base));
    // cpp-httplib hands header values over already percent-decoded; decoding "%XX" once more changes
    // nothing in Base64 text, and "+" must stay "+" here.
    std::string sent = header.value("oauth_signature");
    for (std::size_t at; (at = sent.find('%')) != std::string::npos && at + 2 < sent.size();)
        sent.replace(at, 3, urldecode(sent.substr(at, 3)));
    return sent == expected ? std::string() : "signature " + sent + " != " + expected + " over " + base;
}

class LoopbackServer {
public:
    using Responder = std::function<void(const Captured&, httplib::Response&)>;

    LoopbackServer()
    {
        server_.Get(".*", [this](const httplib::Request& q, httplib::Response& s) { handle(q, q.body, s); });
        server_.Delete(".*", [this](const httplib::Request& q, httplib::Response& s) { handle(q, q.body, s); });
        server_.Post(".*", [this](const httplib::Request& q, httplib::Response& s, const httplib::ContentReader& read) {
            std::string body;
            std::vector<Part> parts;
            if (q.is_multipart_form_data()) {
                read(
                    [&parts](const httplib::MultipartFormData& head) {
                        parts.push_back({head.name, head.filename, std::string()});
                        return true;
                    },
                    [&parts](const char* data, std::size_t n) {
                        parts.back().content.append(data, n);
                        return true;
                    });
            } else {
                read([&body](const char* data, std::size_t n) {
                    body.append(data, n);
                    return true;
                });
            }
            handle(q, body, s, std::move(parts));
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!server_.is_running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    }

    ~LoopbackServer()
    {
        server_.stop();
        thread_.join();
    }

    int port() const { return port_; }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

    void setResponder(Responder r)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        responder_ = std::move(r);
    }

    std::vector<Captured> requests() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

    std::size_t count() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_.size();
    }

    Captured last() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_.empty() ? Captured() : requests_.back();
    }

private:
    void handle(const httplib::Request& q, const std::string& body, httplib::Response& s,
                std::vector<Part> parts = {})
    {
        Captured c;
        c.method = q.method;
        c.target = q.target;
        const std::size_t mark = q.target.find('?');
        c.path = q.target.substr(0, mark);
        c.query = mark == std::string::npos ? std::string() : q.target.substr(mark + 1);
        c.body = body;
        c.parts = std::move(parts);
        c.contentType = q.get_header_value("Content-Type");
        c.contentLength = q.get_header_value("Content-Length");
        c.authorization = q.get_header_value("Authorization");
        c.authorizationCount = q.get_header_value_count("Authorization");
        Responder responder;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(c);
            responder = responder_;
        }
        if (responder)
            responder(c, s);
        else
            s.set_content("{\"path\":\"" + c.path + "\"}", "application/json");
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    mutable std::mutex mutex_;  // guards requests_ and responder_
    std::vector<Captured> requests_;
    Responder responder_;
};

// A loopback port with nobody listening on it.
inline int unusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// Accepts connections (the kernel completes them) and never answers.
class SilentListener {
public:
    SilentListener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd_, 8);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~SilentListener() { ::close(fd_); }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    int fd_ = -1;
    int port_ = 0;
};

// Answers every connection with the same raw bytes once its request has come, then closes it: for answers no
// well-behaved server sends (a length it never delivers, a reset in the middle).
class ScriptedListener {
public:
    explicit ScriptedListener(std::string answer) : answer_(std::move(answer))
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd_, 8);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] {
            for (;;) {
                const int c = ::accept(fd_, nullptr, nullptr);
                if (c < 0)
                    return;  // the listening socket was shut down
                std::string request;
                char buffer[4096];
                while (request.find("\r\n\r\n") == std::string::npos) {
                    const ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
                    if (n <= 0)
                        break;
                    request.append(buffer, std::size_t(n));
                }
                ::send(c, answer_.data(), answer_.size(), MSG_NOSIGNAL);
                ::close(c);
            }
        });
    }
    ~ScriptedListener() { stop(); }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
    void stop()
    {
        if (fd_ < 0)
            return;
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
        fd_ = -1;
    }

private:
    std::string answer_;
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// Waits up to `seconds` for the condition; true when it held.
template <class Condition>
bool waitFor(Condition condition, double seconds = 10.0)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace servicetest
