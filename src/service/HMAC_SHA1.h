#pragma once
// HMAC (RFC 2104) over SHA-1.
#include <cstddef>
#include <string>

class CHMAC_SHA1 {
public:
    enum { SHA1_DIGEST_LENGTH = 20, SHA1_BLOCK_SIZE = 64 };

    // digest receives 20 bytes.
    void HMAC_SHA1(const unsigned char* text, std::size_t text_len, const unsigned char* key,
                   std::size_t key_len, unsigned char* digest);

    // Raw 20-byte digest of text under key.
    static std::string digest(const std::string& key, const std::string& text);
};
