// The signature check against the examples of RFC 5849 and the readings a sender may use.
#include <gtest/gtest.h>

#include "devserver/Codec.h"
#include "devserver/OAuthVerifier.h"
#include "service/HMAC_SHA1.h"
#include "service/base64.h"

using namespace devserver;

TEST(OAuthVerifier, PercentEncodingFollowsRfc3986) {
    EXPECT_EQ(percentEncode("Ladies + Gentlemen"), "Ladies%20%2B%20Gentlemen");
    EXPECT_EQ(percentEncode("Dogs, Cats & Mice"), "Dogs%2C%20Cats%20%26%20Mice");
    EXPECT_EQ(percentEncode("~-._azAZ09"), "~-._azAZ09");
    EXPECT_EQ(percentEncode("\xe2\x98\x83"), "%E2%98%83");
    EXPECT_EQ(percentDecode("%E2%98%83", false), "\xe2\x98\x83");
    // Text that was never encoded passes unchanged, a lone '%' included.
    EXPECT_EQ(percentDecode("100% 张三", false), "100% 张三");
    EXPECT_EQ(percentDecode("a+b", false), "a+b");
    EXPECT_EQ(percentDecode("a+b", true), "a b");
    EXPECT_EQ(percentDecode("%zz%4", false), "%zz%4");
}

// RFC 5849 section 3.4.1.1: the base string of the example request.
TEST(OAuthVerifier, BaseStringOfTheRfcExample) {
    SignedRequest r;
    r.method = "POST";
    r.baseUrls = {"http://example.com/request"};
    r.rawQuery = "b5=%3D%253D&a3=a&c%40=&a2=r%20b";
    r.formBody = "c2&a3=2+q";
    r.authorization =
        "OAuth realm=\"Example\", oauth_consumer_key=\"9djdj82h48djs9d2\", oauth_token=\"kkk9d7dh3k39sjv7\", "
        "oauth_signature_method=\"HMAC-SHA1\", oauth_timestamp=\"137131201\", oauth_nonce=\"7d8f3e4a\", "
        "oauth_signature=\"placeholder\"";
    ParamList header;
    ASSERT_TRUE(parseAuthorizationHeader(r.authorization, header));
    EXPECT_EQ(headerParam(header, "realm"), "Example");
    EXPECT_EQ(headerParam(header, "oauth_nonce"), "7d8f3e4a");

    ParamList all = {{"b5", "=%3D"}, {"a3", "a"}, {"c@", ""}, {"a2", "r b"}, {"c2", ""}, {"a3", "2 q"}};
    for (auto& kv : header)
        if (kv.first != "realm" && kv.first != "oauth_signature") all.emplace_back(kv.first, percentDecode(kv.second, false));
    const std::string expected =
        "POST&http%3A%2F%2Fexample.com%2Frequest&a2%3Dr%2520b%26a3%3D2%2520q%26a3%3Da%26b5%3D%253D%25253D%26c%2540%3D%26c2%3D%26"
        "oauth_consumer_key%3D9djdj82h48djs9d2%26oauth_nonce%3D7d8f3e4a%26oauth_signature_method%3DHMAC-SHA1%26"
        "oauth_timestamp%3D137131201%26oauth_token%3Dkkk9d7dh3k39sjv7";
    EXPECT_EQ(signatureBaseString("POST", "http://example.com/request", normalizeParameters(all)), expected);

    // The verifier rebuilds the same base string from the raw request.
    const std::string key = "j49sk3j29djd&dh893hdasih9";
    std::string sig = base64_encode(CHMAC_SHA1::digest(key, expected));
    r.authorization.replace(r.authorization.find("placeholder"), 11, percentEncode(sig));
    ASSERT_TRUE(parseAuthorizationHeader(r.authorization, header));
    EXPECT_TRUE(verifySignature(r, header, "j49sk3j29djd", "dh893hdasih9"));
    EXPECT_FALSE(verifySignature(r, header, "j49sk3j29djd", "wrong"));
    r.formBody = "c2&a3=2+r";
    EXPECT_FALSE(verifySignature(r, header, "j49sk3j29djd", "dh893hdasih9"));
}

// RFC 5849 section 1.2: the signed photo request of the introduction.
TEST(OAuthVerifier, SignatureOfTheRfcIntroduction) {
    SignedRequest r;
    r.method = "GET";
    r.baseUrls = {"http://photos.example.net/photos"};
    r.rawQuery = "file=vacation.jpg&size=original";
    r.authorization =
        "OAuth realm=\"Photos\",oauth_consumer_key=\"dpf43f3p2l4k3l03\",oauth_token=\"nnch734d00sl2jdk\","
        "oauth_signature_method=\"HMAC-SHA1\",oauth_timestamp=\"137131202\",oauth_nonce=\"chapoH\","
        "oauth_signature=\"MdpQcU8iPSUjWoN%2FUDMsK2sui9I%3D\"";
    ParamList header;
    ASSERT_TRUE(parseAuthorizationHeader(r.authorization, header));
    EXPECT_EQ(hmacSignature("kd94hf93k423kf44", "pfkkdhi9sl3r4s00",
                            "GET&http%3A%2F%2Fphotos.example.net%2Fphotos&file%3Dvacation.jpg%26oauth_consumer_key%3D"
                            "dpf43f3p2l4k3l03%26oauth_nonce%3DchapoH%26oauth_signature_method%3DHMAC-SHA1%26"
                            "oauth_timestamp%3D137131202%26oauth_token%3Dnnch734d00sl2jdk%26size%3Doriginal"),
              "MdpQcU8iPSUjWoN/UDMsK2sui9I=");
    EXPECT_TRUE(verifySignature(r, header, "kd94hf93k423kf44", "pfkkdhi9sl3r4s00"));
    // Another base URL, method or secret does not match.
    r.baseUrls = {"http://photos.example.net/photo"};
    EXPECT_FALSE(verifySignature(r, header, "kd94hf93k423kf44", "pfkkdhi9sl3r4s00"));
    r.baseUrls = {"http://photos.example.net/photos"};
    r.method = "POST";
    EXPECT_FALSE(verifySignature(r, header, "kd94hf93k423kf44", "pfkkdhi9sl3r4s00"));
    r.method = "GET";
    EXPECT_FALSE(verifySignature(r, header, "kd94hf93k423kf44", ""));
}

TEST(OAuthVerifier, QueryWrittenRawOrEncodedVerifiesAlike) {
    // The signer encodes the decoded value once; the URL may carry it raw (UTF-8) or encoded.
    const std::string name = "张三 a+b";
    ParamList params = {{"screen_name", name}, {"oauth_consumer_key", "k"}, {"oauth_nonce", "n"},
                        {"oauth_signature_method", "HMAC-SHA1"}, {"oauth_timestamp", "1"}, {"oauth_token", "t"}};
    std::string base = signatureBaseString("GET", "http://127.0.0.1:1/users/show.json", normalizeParameters(params));
    std::string sig = percentEncode(hmacSignature("cs", "ts", base));
    std::string header = "OAuth oauth_consumer_key=\"k\",oauth_nonce=\"n\",oauth_signature=\"" + sig +
                         "\",oauth_signature_method=\"HMAC-SHA1\",oauth_timestamp=\"1\",oauth_token=\"t\"";
    ParamList h;
    ASSERT_TRUE(parseAuthorizationHeader(header, h));
    SignedRequest r;
    r.method = "GET";
    r.baseUrls = {"http://127.0.0.1:1/users/show.json"};
    for (const std::string& q : {"screen_name=" + name, "screen_name=" + percentEncode(name)}) {
        r.rawQuery = q;
        EXPECT_TRUE(verifySignature(r, h, "cs", "ts")) << q;
    }
    r.rawQuery = "screen_name=" + percentEncode("张四 a+b");
    EXPECT_FALSE(verifySignature(r, h, "cs", "ts"));
    // Multipart text fields count with their raw values.
    r.rawQuery.clear();
    r.multipartFields = {{"screen_name", name}};
    EXPECT_TRUE(verifySignature(r, h, "cs", "ts"));
}

TEST(OAuthVerifier, MalformedHeadersAreRefused) {
    ParamList h;
    EXPECT_FALSE(parseAuthorizationHeader("", h));
    EXPECT_FALSE(parseAuthorizationHeader("Basic dXNlcjpwYXNz", h));
    EXPECT_FALSE(parseAuthorizationHeader("OAuth", h));
    EXPECT_FALSE(parseAuthorizationHeader("OAuth oauth_nonce=\"unterminated", h));
    EXPECT_FALSE(parseAuthorizationHeader("OAuth =\"x\"", h));
    EXPECT_FALSE(parseAuthorizationHeader("OAuthx a=\"b\"", h));
    ASSERT_TRUE(parseAuthorizationHeader("oauth a=\"1\" , b=2", h));
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[1].second, "2");
    SignedRequest r;
    r.method = "GET";
    r.baseUrls = {"http://127.0.0.1/x"};
    EXPECT_FALSE(verifySignature(r, h, "a", "b"));  // no oauth_signature at all
}

TEST(OAuthVerifier, NonceCacheRefusesReplaysWithinTheWindow) {
    NonceCache cache(600);
    const std::int64_t now = 1700000000;
    EXPECT_TRUE(cache.remember("k", "t", now, "abc", now));
    EXPECT_FALSE(cache.remember("k", "t", now, "abc", now + 5));
    EXPECT_TRUE(cache.remember("k", "t2", now, "abc", now));  // another token
    EXPECT_TRUE(cache.remember("k", "t", now + 1, "abd", now));
    EXPECT_EQ(cache.size(), 3u);
    // Buckets older than the window go away; the timestamp check refuses such requests anyway.
    EXPECT_TRUE(cache.remember("k", "t", now + 700, "zzz", now + 700));
    EXPECT_EQ(cache.size(), 1u);
}
