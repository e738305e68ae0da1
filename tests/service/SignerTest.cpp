// Percent-encoding and the rules of the request signer (the digest primitives are tested with their library).
#include "LoopbackServer.h"

#include "service/oauth.h"
#include "service/urlencode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <map>
#include <set>
#include <string>

namespace {

// The header line's name="value" pairs, and their names in the order written.
std::map<std::string, std::string> headerPairs(const std::string& line, std::string* order = nullptr)
{
    const std::string prefix = "Authorization: ";
    const auto parsed = servicetest::parseAuthorization(line.compare(0, prefix.size(), prefix) == 0
                                                            ? line.substr(prefix.size())
                                                            : std::string());
    if (order)
        *order = parsed.names();
    return std::map<std::string, std::string>(parsed.pairs.begin(), parsed.pairs.end());
}

TEST(ServicePrimitives, PercentEncodingKeepsOnlyUnreservedBytes)
{
    EXPECT_EQ(urlencode("a b"), "a%20b");
    EXPECT_EQ(urlencode("~-_.azAZ09"), "~-_.azAZ09");
    EXPECT_EQ(urlencode("中"), "%E4%B8%AD");
    EXPECT_EQ(urlencode("+/=&%@*"), "%2B%2F%3D%26%25%40%2A");
    EXPECT_EQ(urlencode(std::string("\0\x7f\xff", 3)), "%00%7F%FF");
    EXPECT_EQ(char2hex('\xab'), "AB");
    EXPECT_EQ(char2hex('\n'), "0A");

    EXPECT_EQ(urldecode("a%20b+c%E4%B8%ad"), "a b c中");
    EXPECT_EQ(urldecode("100%"), "100%");
    EXPECT_EQ(urldecode("%zz%4"), "%zz%4");
    const std::string awkward = "a+b c&d=e%f 中~";
    EXPECT_EQ(urldecode(urlencode(awkward)), awkward);
}

TEST(OAuthSigner, MapHelpersSplitJoinAndEncode)
{
    using oAuth::KeyValueMap;
    const KeyValueMap map = {{"b", "x y"}, {"a", "1"}, {"\xe4", "high"}, {"B", "upper"}};
    // Byte-wise order: upper case before lower case, bytes above 0x7f last.
    EXPECT_EQ(oAuth::stringFromKeyValueMap(map, "&", false), "B=upper&a=1&b=x y&\xe4=high");
    EXPECT_EQ(oAuth::stringFromKeyValueMap(map, "&", true), "B=upper&a=1&b=x%20y&\xe4=high");
    EXPECT_EQ(oAuth::stringFromKeyValueMap({{"k", "v"}, {"m", "w"}}, ",", false), "k=\"v\",m=\"w\"");
    EXPECT_EQ(oAuth::percentEncodingKeyValueMap({{"q", "a&b"}}).at("q"), "a%26b");

    const KeyValueMap parsed = oAuth::extractKeyValueMapFromString("&a=1&&noequals&b=x=y&a=2&c=&d%20=%41", false);
    EXPECT_EQ(parsed, (KeyValueMap{{"a", "2"}, {"b", "x=y"}, {"c", ""}, {"d%20", "%41"}}));
    EXPECT_EQ(oAuth::extractKeyValueMapFromString("s=a b", true).at("s"), "a%20b");
    EXPECT_EQ(oAuth::extractKeyValueMapFromUrl("http://h/p.json?count=3&page=2", false),
              (KeyValueMap{{"count", "3"}, {"page", "2"}}));
    EXPECT_TRUE(oAuth::extractKeyValueMapFromUrl("http://h/p.json", true).empty());
}

TEST(OAuthSigner, SignaturesMatchRfc5849Examples)
{
    oAuth::OAuth signer;
    signer.setConsumerKey("dpf43f3p2l4k3l03");
    signer.setConsumerSecret("kd94hf93k423kf44");

    // Temporary credentials request: no token secret, so the key ends in "&".
    oAuth::KeyValueMap initiate = {{"oauth_callback", urlencode("http://printer.example.com/ready")},
                                   {"oauth_consumer_key", "dpf43f3p2l4k3l03"},
                                   {"oauth_nonce", "wIjqoS"},
                                   {"oauth_signature_method", "HMAC-SHA1"},
                                   {"oauth_timestamp", "137131200"}};
    EXPECT_EQ(signer.makeSignatureBaseString(oAuth::OAuth::HttpPost, "https://photos.example.net/initiate", initiate),
              "POST&https%3A%2F%2Fphotos.example.net%2Finitiate&oauth_callback%3Dhttp%253A%252F%252Fprinter.example.com"
              "%252Fready%26oauth_consumer_key%3Ddpf43f3p2l4k3l03%26oauth_nonce%3DwIjqoS%26oauth_signature_method%3D"
              "HMAC-SHA1%26oauth_timestamp%3D137131200");
    EXPECT_EQ(signer.makeSignature(oAuth::OAuth::HttpPost, "https://photos.example.net/initiate", initiate),
              "74KNZJeDHnMBp0EMJ9ZHt%2FXKycU%3D");

    signer.setOAuthTokenSecret("hdhd0244k9j7ao03");
    const oAuth::KeyValueMap token = {{"oauth_consumer_key", "dpf43f3p2l4k3l03"}, {"oauth_nonce", "walatlh"},
                                      {"oauth_signature_method", "HMAC-SHA1"},  {"oauth_timestamp", "137131201"},
                                      {"oauth_token", "hh5s93j4hdidpola"},      {"oauth_verifier", "hfdp7dh39dks9884"}};
    EXPECT_EQ(signer.makeSignature(oAuth::OAuth::HttpPost, "https://photos.example.net/token", token),
              "gKgrFCywp7rO0OXSjdot%2FIHF7IU%3D");

    // Protected resource: the query part of the URL is not part of the base URL.
    signer.setOAuthTokenSecret("pfkkdhi9sl3r4s00");
    const oAuth::KeyValueMap photos = {{"file", "vacation.jpg"},         {"size", "original"},
                                       {"oauth_consumer_key", "dpf43f3p2l4k3l03"}, {"oauth_nonce", "chapoH"},
                                       {"oauth_signature_method", "HMAC-SHA1"},  {"oauth_timestamp", "137131202"},
                                       {"oauth_token", "nnch734d00sl2jdk"}};
    EXPECT_EQ(signer.makeSignature(oAuth::OAuth::HttpGet,
                                   "http://photos.example.net/photos?file=vacation.jpg&size=original", photos),
              "MdpQcU8iPSUjWoN%2FUDMsK2sui9I%3D");
    EXPECT_EQ(signer.makeSignature(static_cast<oAuth::OAuth::HttpRequestType>(7), "http://h/p", photos), "");
}

TEST(OAuthSigner, HeaderOrderAndEncodingOfASignedCall)
{
    oAuth::OAuth signer;
    signer.setConsumerKey("5127730916");
    signer.setConsumerSecret("9f1c0a7e52d84b3690e1c7a4f2b85d03");
    signer.setOAuthTokenKey("tok");
    signer.setOAuthTokenSecret("toksecret");

    const std::string url = "http://127.0.0.1:8470/statuses/friends_timeline.json?count=20&page=2&q=a%20b%26c";
    std::string order;
    const std::string header = signer.makeOAuthHeader(oAuth::OAuth::HttpGet, url, {}, false);
    const auto pairs = headerPairs(header, &order);
    EXPECT_EQ(order, "oauth_consumer_key,oauth_nonce,oauth_signature,oauth_signature_method,oauth_timestamp,"
                     "oauth_token,oauth_version");
    EXPECT_EQ(pairs.at("oauth_consumer_key"), "5127730916");
    EXPECT_EQ(pairs.at("oauth_signature_method"), "HMAC-SHA1");
    EXPECT_EQ(pairs.at("oauth_version"), "1.0");
    EXPECT_EQ(pairs.at("oauth_token"), "tok");

    // The same signature from the parameters a server would rebuild: query values decoded and encoded
    // once, in one byte-ordered list with the protocol values.
    oAuth::KeyValueMap rebuilt(pairs.begin(), pairs.end());
    rebuilt.erase("oauth_signature");
    rebuilt["count"] = "20";
    rebuilt["page"] = "2";
    rebuilt["q"] = "a%20b%26c";
    const std::string base = signer.makeSignatureBaseString(oAuth::OAuth::HttpGet, url, rebuilt);
    EXPECT_EQ(base.substr(0, base.find("oauth")),
              "GET&http%3A%2F%2F127.0.0.1%3A8470%2Fstatuses%2Ffriends_timeline.json&count%3D20%26");
    EXPECT_NE(base.find("oauth_version%3D1.0%26page%3D2%26q%3Da%2520b%2526c"), std::string::npos) << base;
    EXPECT_EQ(pairs.at("oauth_signature"),
              urlencode(base64_encode(CHMAC_SHA1::digest("9f1c0a7e52d84b3690e1c7a4f2b85d03&toksecret", base))));

    // Form parameters take part in the signature but not in the header; a PIN adds the verifier.
    signer.setOAuthPin("778899");
    const auto posted = headerPairs(
        signer.makeOAuthHeader(oAuth::OAuth::HttpPost, "http://h/statuses/update.json", {{"status", "hi"}}, false),
        &order);
    EXPECT_EQ(order, "oauth_consumer_key,oauth_nonce,oauth_signature,oauth_signature_method,oauth_timestamp,"
                     "oauth_token,oauth_verifier,oauth_version");
    EXPECT_EQ(posted.at("oauth_verifier"), "778899");
}

TEST(OAuthSigner, XAuthHeaderCarriesCredentialsAndNoToken)
{
    oAuth::OAuth signer;
    signer.setConsumerKey("5127730916");
    signer.setConsumerSecret("cs");
    // Left over from an abandoned PIN flow: neither the token nor its secret may take part.
    signer.setOAuthTokenKey("stale");
    signer.setOAuthTokenSecret("stale-secret");
    signer.setOAuthPin("1234");
    signer.setXAuthUsername("reader@plumet.test");
    signer.setXAuthPassword("p\"w,d");

    std::string order;
    const std::string url = "http://h/oauth/access_token";
    const auto pairs = headerPairs(signer.makeOAuthHeader(oAuth::OAuth::HttpPost, url, {{"source", "5127730916"}}, true),
                                   &order);
    EXPECT_EQ(order, "oauth_consumer_key,oauth_nonce,oauth_signature,oauth_signature_method,oauth_timestamp,"
                     "oauth_version,x_auth_mode,x_auth_password,x_auth_username");
    // Encoded once in the header and in the parameter string, as an OAuth 1.0 server reads them.
    EXPECT_EQ(pairs.at("x_auth_username"), "reader%40plumet.test");
    EXPECT_EQ(pairs.at("x_auth_password"), "p%22w%2Cd");
    EXPECT_EQ(pairs.at("x_auth_mode"), "client_auth");

    oAuth::KeyValueMap rebuilt(pairs.begin(), pairs.end());
    rebuilt.erase("oauth_signature");
    rebuilt["source"] = "5127730916";
    const std::string base = signer.makeSignatureBaseString(oAuth::OAuth::HttpPost, url, rebuilt);
    EXPECT_NE(base.find("x_auth_password%3Dp%2522w%252Cd%26x_auth_username%3Dreader%2540plumet.test"),
              std::string::npos)
        << base;
    EXPECT_EQ(pairs.at("oauth_signature"), urlencode(base64_encode(CHMAC_SHA1::digest("cs&", base))));
}

TEST(OAuthSigner, EveryRequestGetsItsOwnNonce)
{
    oAuth::OAuth signer;
    const long long before = std::time(nullptr);
    std::set<std::string> seen;
    for (int i = 0; i < 2000; ++i) {
        std::string nonce, timestamp;
        signer.generateNonceTimestamp(nonce, timestamp);
        ASSERT_EQ(nonce.size(), 16u);
        ASSERT_EQ(nonce.find_first_not_of(oAuth::OAUTH_NONCE_ALPHABET), std::string::npos) << nonce;
        const long long t = std::stoll(timestamp);
        ASSERT_GE(t, before);
        ASSERT_LE(t, static_cast<long long>(std::time(nullptr)));
        seen.insert(nonce);
    }
    EXPECT_EQ(seen.size(), 2000u);
}

TEST(OAuthSigner, TokenResponses)
{
    oAuth::OAuth signer;
    EXPECT_TRUE(signer.setOAuthTokenKeyAndSecret("oauth_token=at&oauth_token_secret=as&user_id=1904178193"));
    EXPECT_EQ(signer.oAuthTokenKey(), "at");
    EXPECT_EQ(signer.oAuthTokenSecret(), "as");
    EXPECT_EQ(signer.oAuthUserId(), "1904178193");

    EXPECT_FALSE(signer.setOAuthTokenKeyAndSecret(""));
    EXPECT_EQ(signer.oAuthTokenKey(), "at");

    EXPECT_FALSE(signer.setOAuthTokenKeyAndSecret("oauth_token=t2&oauth_token_secret=&user_id=5"));
    EXPECT_EQ(signer.oAuthTokenKey(), "t2");
    EXPECT_EQ(signer.oAuthTokenSecret(), "");

    EXPECT_FALSE(signer.setOAuthTokenKeyAndSecret("{\"error\":\"40302:Error: auth faild!\",\"error_code\":403}"));
    EXPECT_EQ(signer.oAuthTokenKey(), "");
    EXPECT_EQ(signer.oAuthUserId(), "");
}

} // namespace
