#pragma once
// SHA-1 as published in FIPS 180; the signer and the development service share it.
#include <cstddef>
#include <cstdint>
#include <string>

class CSHA1 {
public:
    enum { DIGEST_LENGTH = 20 };

    CSHA1();
    void Reset();
    void Update(const unsigned char* data, std::size_t len);
    void Final();
    // Valid after Final(); 20 bytes.
    void GetHash(unsigned char* out) const;

    static std::string digest(const std::string& data);

private:
    void transform(const unsigned char block[64]);

    std::uint32_t state_[5];
    std::uint64_t bitCount_;
    unsigned char buffer_[64];
    std::size_t bufferLen_;
    unsigned char digest_[DIGEST_LENGTH];
};
