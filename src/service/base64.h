#pragma once
// Base64 (RFC 4648), standard alphabet with "=" padding.
#include <string>

std::string base64_encode(const unsigned char* bytes, unsigned int len);
std::string base64_encode(const std::string& bytes);
// Decodes standard Base64; stops quietly at the first byte outside the alphabet or padding.
std::string base64_decode(const std::string& text);
