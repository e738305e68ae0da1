#include "service/SHA1.h"

#include <algorithm>
#include <cstring>

namespace {
inline std::uint32_t rol(std::uint32_t v, int bits) { return (v << bits) | (v >> (32 - bits)); }
}

CSHA1::CSHA1() { Reset(); }

void CSHA1::Reset()
{
    state_[0] = 0x67452301u;
    state_[1] = 0xEFCDAB89u;
    state_[2] = 0x98BADCFEu;
    state_[3] = 0x10325476u;
    state_[4] = 0xC3D2E1F0u;
    bitCount_ = 0;
    bufferLen_ = 0;
    std::memset(buffer_, 0, sizeof buffer_);
    std::memset(digest_, 0, sizeof digest_);
}

void CSHA1::transform(const unsigned char block[64])
{
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = (std::uint32_t(block[i * 4]) << 24) | (std::uint32_t(block[i * 4 + 1]) << 16)
             | (std::uint32_t(block[i * 4 + 2]) << 8) | std::uint32_t(block[i * 4 + 3]);
    for (int i = 16; i < 80; ++i)
        w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t t = rol(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rol(b, 30);
        b = a;
        a = t;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void CSHA1::Update(const unsigned char* data, std::size_t len)
{
    if (!data)
        return;
    bitCount_ += std::uint64_t(len) * 8;
    while (len > 0) {
        const std::size_t take = std::min(len, sizeof buffer_ - bufferLen_);
        std::memcpy(buffer_ + bufferLen_, data, take);
        bufferLen_ += take;
        data += take;
        len -= take;
        if (bufferLen_ == sizeof buffer_) {
            transform(buffer_);
            bufferLen_ = 0;
        }
    }
}

void CSHA1::Final()
{
    const std::uint64_t bits = bitCount_;
    const unsigned char pad = 0x80;
    Update(&pad, 1);
    const unsigned char zero = 0;
    while (bufferLen_ != 56)
        Update(&zero, 1);
    unsigned char len[8];
    for (int i = 0; i < 8; ++i)
        len[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Update(len, 8);
    for (int i = 0; i < 20; ++i)
        digest_[i] = static_cast<unsigned char>(state_[i / 4] >> (24 - 8 * (i % 4)));
}

void CSHA1::GetHash(unsigned char* out) const { std::memcpy(out, digest_, DIGEST_LENGTH); }

std::string CSHA1::digest(const std::string& data)
{
    CSHA1 sha;
    sha.Update(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    sha.Final();
    unsigned char out[DIGEST_LENGTH];
    sha.GetHash(out);
    return std::string(reinterpret_cast<const char*>(out), DIGEST_LENGTH);
}
