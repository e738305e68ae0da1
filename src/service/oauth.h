#pragma once
// OAuth 1.0 request signer (HMAC-SHA1) with the xAuth parameter set.
#include <map>
#include <atomic>
#include <string>

namespace oAuth {

// Parameter name -> raw value. std::string compares through char_traits<char>, which orders bytes as
// unsigned char, so every list comes out in byte-wise ascending name order and holds each name once.
typedef std::map<std::string, std::string> KeyValueMap;

inline const std::string OAUTH_URL_PARAM_BEGIN = "?";
inline const std::string OAUTH_PARAM_SEPARATOR = "&";
inline const std::string OAUTH_KEYVALUE_SEPARATOR = "=";
inline const std::string OAUTH_AUTHORIZE_HEADER_VALUE_ENCLOSURE = "\"";
inline const std::string OAUTH_AUTHORIZE_HEADER_PARAM_SEPARATOR = ",";
inline const std::string OAUTH_KEY_CONSUMER_KEY = "oauth_consumer_key";
inline const std::string OAUTH_KEY_VERSION = "oauth_version";
inline const std::string OAUTH_KEY_SIGNATURE_METHOD = "oauth_signature_method";
inline const std::string OAUTH_KEY_SIGNATURE = "oauth_signature";
inline const std::string OAUTH_KEY_TIMESTAMP = "oauth_timestamp";
inline const std::string OAUTH_KEY_NONCE = "oauth_nonce";
inline const std::string OAUTH_KEY_TOKEN = "oauth_token";
inline const std::string OAUTH_KEY_TOKEN_SECRET = "oauth_token_secret";
inline const std::string OAUTH_KEY_VERIFIER = "oauth_verifier";
inline const std::string OAUTH_KEY_USER_ID = "user_id";
inline const std::string XAUTH_KEY_USERNAME = "x_auth_username";
inline const std::string XAUTH_KEY_PASSWORD = "x_auth_password";
inline const std::string XAUTH_KEY_MODE = "x_auth_mode";
inline const std::string OAUTH_HTTP_HEADER_AUTHORIZATION_OAUTH = "Authorization: OAuth ";

inline const std::string OAUTH_SIGNATURE_METHOD_HMAC_SHA1 = "HMAC-SHA1";
inline const std::string OAUTH_VERSION_1_0 = "1.0";
inline const std::string XAUTH_MODE_CLIENT_AUTH = "client_auth";
inline const std::string OAUTH_NONCE_ALPHABET = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
inline constexpr int OAUTH_NONCE_LENGTH = 16;

// name=value pairs in key order joined by separator; with the separator "," (the header) every value
// is enclosed in double quotes. Names are written unchanged; values percent-encoded when encode is set.
std::string stringFromKeyValueMap(const KeyValueMap& map, const std::string& separator, bool encode);

// Same keys, percent-encoded values.
KeyValueMap percentEncodingKeyValueMap(const KeyValueMap& map);

// Splits "a=1&b=2"; pieces without "=" are dropped, a repeated name keeps its last value. Nothing is
// decoded; values are percent-encoded when encode is set.
KeyValueMap extractKeyValueMapFromString(const std::string& text, bool encode);

// The pairs of the text after the URL's first "?" (none without one).
KeyValueMap extractKeyValueMapFromUrl(const std::string& url, bool encode);

class OAuth {
public:
    enum HttpRequestType { HttpGet = 0, HttpPost = 1, HttpDelete = 2 };

    std::string consumerKey() const { return consumerKey_; }
    std::string consumerSecret() const { return consumerSecret_; }
    std::string oAuthTokenKey() const { return oAuthTokenKey_; }
    std::string oAuthTokenSecret() const { return oAuthTokenSecret_; }
    std::string oAuthPin() const { return oAuthPin_; }
    std::string oAuthUserId() const { return oAuthUserId_; }
    std::string xAuthUsername() const { return xAuthUsername_; }
    std::string xAuthPassword() const { return xAuthPassword_; }

    void setConsumerKey(const std::string& v) { consumerKey_ = v; }
    void setConsumerSecret(const std::string& v) { consumerSecret_ = v; }
    void setOAuthTokenKey(const std::string& v) { oAuthTokenKey_ = v; }
    void setOAuthTokenSecret(const std::string& v) { oAuthTokenSecret_ = v; }
    void setOAuthPin(const std::string& v) { oAuthPin_ = v; }
    void setXAuthUsername(const std::string& v) { xAuthUsername_ = v; }
    void setXAuthPassword(const std::string& v) { xAuthPassword_ = v; }

    // A fresh nonce of 16 characters of the 62-character alphabet for every call, drawn from a
    // per-thread generator seeded from the system's random source; timestamp = current second plus the
    // clock offset.
    void generateNonceTimestamp(std::string& nonce, std::string& timestamp) const;

    // Seconds added to this machine's clock in every timestamp: how far the service's clock is ahead of
    // ours (negative when behind). Learnt from a refused timestamp; any thread.
    long long clockOffset() const { return clockOffset_.load(); }
    void setClockOffset(long long seconds) { clockOffset_.store(seconds); }

    // Protocol parameters of one request, values unencoded.
    KeyValueMap generateRequiredKeyValueMap(bool xauth) const;

    // METHOD&enc(base URL)&enc(parameter string); empty for an unknown kind. params hold each value
    // percent-encoded once, as the parameter string needs it.
    std::string makeSignatureBaseString(HttpRequestType kind, const std::string& url, const KeyValueMap& params) const;

    // urlencode(Base64(HMAC-SHA1(consumer secret & token secret, base string))); empty for an unknown kind.
    std::string makeSignature(HttpRequestType kind, const std::string& url, const KeyValueMap& params,
                              bool xauth = false) const;

    // The complete "Authorization: OAuth ..." line for a request to url (whose query values may already be
    // percent-encoded) with the raw form parameters formParams. Header values are percent-encoded.
    std::string makeOAuthHeader(HttpRequestType kind, const std::string& url, const KeyValueMap& formParams,
                                bool xauth) const;

    // Reads oauth_token, oauth_token_secret and user_id from a token response. True when token and
    // secret are both non-empty; an empty response changes nothing.
    bool setOAuthTokenKeyAndSecret(const std::string& response);

private:
    std::string consumerKey_;
    std::string consumerSecret_;
    std::string oAuthTokenKey_;
    std::string oAuthTokenSecret_;
    std::string oAuthPin_;
    std::string oAuthUserId_;
    std::string xAuthUsername_;
    std::string xAuthPassword_;
    std::atomic<long long> clockOffset_{0};
};

} // namespace oAuth
