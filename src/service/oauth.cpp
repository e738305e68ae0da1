#include "service/oauth.h"

#include "service/HMAC_SHA1.h"
#include "service/base64.h"
#include "service/urlencode.h"

#include <ctime>
#include <random>

namespace oAuth {

std::string stringFromKeyValueMap(const KeyValueMap& map, const std::string& separator, bool encode)
{
    const bool quoted = separator == OAUTH_AUTHORIZE_HEADER_PARAM_SEPARATOR;
    std::string out;
    bool first = true;
    for (const auto& [key, value] : map) {
        if (!first)
            out += separator;
        first = false;
        out += key;
        out += OAUTH_KEYVALUE_SEPARATOR;
        if (quoted)
            out += OAUTH_AUTHORIZE_HEADER_VALUE_ENCLOSURE;
        out += encode ? urlencode(value) : value;
        if (quoted)
            out += OAUTH_AUTHORIZE_HEADER_VALUE_ENCLOSURE;
    }
    return out;
}

KeyValueMap percentEncodingKeyValueMap(const KeyValueMap& map)
{
    KeyValueMap out;
    for (const auto& [key, value] : map)
        out[key] = urlencode(value);
    return out;
}

KeyValueMap extractKeyValueMapFromString(const std::string& text, bool encode)
{
    KeyValueMap out;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type end = text.find('&', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string piece = text.substr(start, end - start);
        const std::string::size_type eq = piece.find('=');
        if (!piece.empty() && eq != std::string::npos) {
            const std::string value = piece.substr(eq + 1);
            out[piece.substr(0, eq)] = encode ? urlencode(value) : value;
        }
        start = end + 1;
    }
    return out;
}

KeyValueMap extractKeyValueMapFromUrl(const std::string& url, bool encode)
{
    const std::string::size_type q = url.find('?');
    if (q == std::string::npos)
        return KeyValueMap();
    return extractKeyValueMapFromString(url.substr(q + 1), encode);
}

void OAuth::generateNonceTimestamp(std::string& nonce, std::string& timestamp) const
{
    // Reseeding from the clock on every call repeats nonces within one second, and a server that keeps
    // the nonces it has seen then refuses the second request; one well-seeded generator per thread
    // avoids both that and a lock.
    thread_local std::mt19937 engine = [] {
        std::random_device device;
        std::seed_seq seeds{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937(seeds);
    }();
    std::uniform_int_distribution<std::size_t> pick(0, OAUTH_NONCE_ALPHABET.size() - 1);
    nonce.clear();
    for (int i = 0; i < OAUTH_NONCE_LENGTH; ++i)
        nonce += OAUTH_NONCE_ALPHABET[pick(engine)];
    timestamp = std::to_string(static_cast<long long>(std::time(nullptr)) + clockOffset_.load());
}

KeyValueMap OAuth::generateRequiredKeyValueMap(bool xauth) const
{
    KeyValueMap map;
    generateNonceTimestamp(map[OAUTH_KEY_NONCE], map[OAUTH_KEY_TIMESTAMP]);
    map[OAUTH_KEY_CONSUMER_KEY] = consumerKey_;
    map[OAUTH_KEY_SIGNATURE_METHOD] = OAUTH_SIGNATURE_METHOD_HMAC_SHA1;
    map[OAUTH_KEY_VERSION] = OAUTH_VERSION_1_0;
    if (xauth) {
        map[XAUTH_KEY_USERNAME] = xAuthUsername_;
        map[XAUTH_KEY_PASSWORD] = xAuthPassword_;
        map[XAUTH_KEY_MODE] = XAUTH_MODE_CLIENT_AUTH;
    } else {
        if (!oAuthTokenKey_.empty())
            map[OAUTH_KEY_TOKEN] = oAuthTokenKey_;
        if (!oAuthPin_.empty())
            map[OAUTH_KEY_VERIFIER] = oAuthPin_;
    }
    return map;
}

std::string OAuth::makeSignatureBaseString(HttpRequestType kind, const std::string& url,
                                           const KeyValueMap& params) const
{
    std::string prefix;
    switch (kind) {
    case HttpGet: prefix = "GET&"; break;
    case HttpPost: prefix = "POST&"; break;
    case HttpDelete: prefix = "DELETE&"; break;
    default: return std::string();
    }
    const std::string baseUrl = url.substr(0, url.find('?'));
    return prefix + urlencode(baseUrl) + OAUTH_PARAM_SEPARATOR
        + urlencode(stringFromKeyValueMap(params, OAUTH_PARAM_SEPARATOR, false));
}

std::string OAuth::makeSignature(HttpRequestType kind, const std::string& url, const KeyValueMap& params,
                                 bool xauth) const
{
    const std::string base = makeSignatureBaseString(kind, url, params);
    if (base.empty())
        return std::string();
    // An xAuth request carries no token, so the server cannot know any token secret: a request token left
    // over from an abandoned PIN flow must not enter the key, or every later password sign-in fails.
    const std::string key = consumerSecret_ + "&" + (xauth ? std::string() : oAuthTokenSecret_);
    return urlencode(base64_encode(CHMAC_SHA1::digest(key, base)));
}

std::string OAuth::makeOAuthHeader(HttpRequestType kind, const std::string& url, const KeyValueMap& formParams,
                                   bool xauth) const
{
    // Protocol values are encoded once like every other parameter, both in the parameter string and
    // inside the header's quotes. For the values of a signed call (keys, tokens, nonce, timestamp,
    // "HMAC-SHA1", "1.0") that changes nothing; for an xAuth user name with "@" or a password with a
    // quote it is what lets a server that follows OAuth 1.0 rebuild the same signature and read the
    // header at all.
    KeyValueMap all = percentEncodingKeyValueMap(generateRequiredKeyValueMap(xauth));

    // The request URL carries its query values percent-encoded; a server decodes them and encodes them
    // once for the signature, so do the same (plain values come out exactly as a single encoding).
    const KeyValueMap query = extractKeyValueMapFromUrl(url, false);
    for (const auto& [key, value] : query)
        all.emplace(key, urlencode(urldecode(value)));
    for (const auto& [key, value] : formParams)
        all.emplace(key, urlencode(value));

    const std::string signature = makeSignature(kind, url, all, xauth);

    for (const auto& entry : query)
        all.erase(entry.first);
    for (const auto& entry : formParams)
        all.erase(entry.first);
    all[OAUTH_KEY_SIGNATURE] = signature;

    return OAUTH_HTTP_HEADER_AUTHORIZATION_OAUTH
        + stringFromKeyValueMap(all, OAUTH_AUTHORIZE_HEADER_PARAM_SEPARATOR, false);
}

bool OAuth::setOAuthTokenKeyAndSecret(const std::string& response)
{
    if (response.empty())
        return false;
    KeyValueMap map = extractKeyValueMapFromString(response, false);
    oAuthTokenKey_ = map[OAUTH_KEY_TOKEN];
    oAuthTokenSecret_ = map[OAUTH_KEY_TOKEN_SECRET];
    oAuthUserId_ = map[OAUTH_KEY_USER_ID];
    return !oAuthTokenKey_.empty() && !oAuthTokenSecret_.empty();
}

} // namespace oAuth
