#include "service/urlencode.h"

namespace {
bool isUnreserved(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '~' || c == '-'
        || c == '_' || c == '.';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
}

std::string char2hex(char byte)
{
    static const char digits[] = "0123456789ABCDEF";
    const unsigned char b = static_cast<unsigned char>(byte);
    return std::string{digits[b >> 4], digits[b & 0x0F]};
}

std::string urlencode(const std::string& text)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        if (isUnreserved(c)) {
            out += c;
        } else {
            out += '%';
            out += char2hex(c);
        }
    }
    return out;
}

std::string urldecode(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}
