#include "service/HMAC_SHA1.h"

#include "service/SHA1.h"

#include <cstring>

void CHMAC_SHA1::HMAC_SHA1(const unsigned char* text, std::size_t text_len, const unsigned char* key,
                           std::size_t key_len, unsigned char* digest)
{
    unsigned char k[SHA1_BLOCK_SIZE];
    std::memset(k, 0, sizeof k);
    if (key_len > SHA1_BLOCK_SIZE) {
        CSHA1 sha;
        sha.Update(key, key_len);
        sha.Final();
        sha.GetHash(k);
    } else if (key_len > 0) {
        std::memcpy(k, key, key_len);
    }

    unsigned char ipad[SHA1_BLOCK_SIZE], opad[SHA1_BLOCK_SIZE];
    for (int i = 0; i < SHA1_BLOCK_SIZE; ++i) {
        ipad[i] = k[i] ^ 0x36;
        opad[i] = k[i] ^ 0x5c;
    }

    unsigned char inner[SHA1_DIGEST_LENGTH];
    CSHA1 sha;
    sha.Update(ipad, sizeof ipad);
    sha.Update(text, text_len);
    sha.Final();
    sha.GetHash(inner);

    sha.Reset();
    sha.Update(opad, sizeof opad);
    sha.Update(inner, sizeof inner);
    sha.Final();
    sha.GetHash(digest);
}

std::string CHMAC_SHA1::digest(const std::string& key, const std::string& text)
{
    unsigned char out[SHA1_DIGEST_LENGTH];
    CHMAC_SHA1().HMAC_SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                           reinterpret_cast<const unsigned char*>(key.data()), key.size(), out);
    return std::string(reinterpret_cast<const char*>(out), SHA1_DIGEST_LENGTH);
}
