// Published vectors of the digest and encoding primitives that the signer and the development service share.
#include "service/HMAC_SHA1.h"
#include "service/SHA1.h"
#include "service/base64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(Crypto, Sha1MatchesFips180Examples)
{
    EXPECT_EQ((hex(CSHA1::digest("abc"))), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ((hex(CSHA1::digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"))),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ((hex(CSHA1::digest(std::string(1000000, 'a')))), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ((hex(CSHA1::digest(""))), "da39a3ee5e6b4b0d3255bfef95601890afd80709");

    // Fed in uneven pieces across block boundaries, the digest is the same.
    const std::string text(1000, 'q');
    CSHA1 sha;
    for (std::size_t at = 0, step = 1; at < text.size(); at += step, step = step * 3 % 127 + 1)
        sha.Update(reinterpret_cast<const unsigned char*>(text.data()) + at, std::min(step, text.size() - at));
    sha.Final();
    unsigned char out[20];
    sha.GetHash(out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 20), CSHA1::digest(text));
}

TEST(Crypto, HmacSha1MatchesRfc2202)
{
    std::string key4;
    for (int i = 1; i <= 25; ++i)
        key4 += static_cast<char>(i);
    const struct {
        std::string key, data, digest;
    } cases[] = {
        {std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
        {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {key4, std::string(50, '\xcd'), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {std::string(20, '\x0c'), "Test With Truncation", "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const auto& c : cases)
        EXPECT_EQ((hex(CHMAC_SHA1::digest(c.key, c.data))), c.digest) << c.data;
}

TEST(Crypto, Base64MatchesRfc4648)
{
    const char* cases[][2] = {{"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
                              {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases) {
        EXPECT_EQ(base64_encode(c[0]), c[1]);
        EXPECT_EQ(base64_decode(c[1]), c[0]);
    }
    const std::string allBytes = [] {
        std::string s;
        for (int i = 0; i < 256; ++i)
            s += static_cast<char>(i);
        return s;
    }();
    EXPECT_EQ(base64_decode(base64_encode(allBytes)), allBytes);
    EXPECT_EQ(base64_encode("\xfb\xff"), "+/8=");
}

} // namespace
