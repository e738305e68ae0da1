#pragma once
// OAuth 1.0 HMAC-SHA1 verification after RFC 5849, rebuilt from the request as it arrived.
//
// The signature base string is made from the method, the base URL, and every parameter the
// request carries: the query (written raw or percent-encoded by the sender), an url-encoded form
// body, the text fields of a multipart form, and the Authorization header's parameters except
// oauth_signature and realm. Because senders differ in how they write values (raw UTF-8 in the
// query, '+' for a blank, unencoded values inside the header's quotes), a small set of readings
// is tried; each reading is an honest decoding of the same bytes, never a relaxation of the
// comparison itself.
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_set>
#include <map>
#include <vector>

#include "devserver/Codec.h"

namespace devserver {

struct SignedRequest {
    std::string method;                 // "GET", "POST", "DELETE"
    std::vector<std::string> baseUrls;  // scheme://host[:port]/path candidates, path as received
    std::string rawQuery;               // text after '?', as received
    std::string formBody;               // url-encoded body; empty for other bodies
    ParamList multipartFields;          // text fields of a multipart body, raw; file parts excluded
    std::string authorization;          // value of the Authorization header
};

// Parses `OAuth name="value", ...`. Values come back exactly as written inside the quotes.
// Returns false when the header is not an OAuth header or is malformed.
bool parseAuthorizationHeader(const std::string& value, ParamList& rawParams);

// RFC 5849 3.4.1.3.2: encode names and values, sort by name then value, join with '&' and '='.
std::string normalizeParameters(const ParamList& decoded);

// RFC 5849 3.4.1: METHOD&encoded(base URL)&encoded(normalized parameters).
std::string signatureBaseString(const std::string& method, const std::string& baseUrl,
                                const std::string& normalizedParams);

// Base64 of HMAC-SHA1 with key encoded(consumer secret) & encoded(token secret).
std::string hmacSignature(const std::string& consumerSecret, const std::string& tokenSecret,
                          const std::string& baseString);

// Looks up one parameter of the parsed header, percent-decoded; empty when absent.
std::string headerParam(const ParamList& rawParams, const std::string& name);

// Whether the request's oauth_signature matches under any honest reading of the request.
bool verifySignature(const SignedRequest& request, const ParamList& headerRaw, const std::string& consumerSecret,
                     const std::string& tokenSecret);

// Remembers (consumer, token, timestamp, nonce) for the timestamp window so that a captured
// request cannot be sent again. Buckets per timestamp second are dropped once out of the window.
class NonceCache {
public:
    explicit NonceCache(std::int64_t windowSeconds) : window_(windowSeconds) {}
    // True when the combination is new (and remembers it); false for a replay.
    bool remember(const std::string& consumer, const std::string& token, std::int64_t timestamp,
                  const std::string& nonce, std::int64_t now);
    std::size_t size() const;
    void setWindow(std::int64_t windowSeconds) { window_ = windowSeconds; }

private:
    std::int64_t window_;
    mutable std::mutex mutex_;  // guards buckets_
    std::map<std::int64_t, std::unordered_set<std::uint64_t>> buckets_;
};

}  // namespace devserver
