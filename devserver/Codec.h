#pragma once
// Small text helpers shared by the signature check, the routes and the tests:
// RFC 3986 percent-encoding, query splitting, HTML escaping, service dates and UTF-8 measures.
#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace devserver {

using ParamList = std::vector<std::pair<std::string, std::string>>;

// Unreserved characters (A-Z a-z 0-9 - . _ ~) stay; every other byte becomes %XX with uppercase digits.
std::string percentEncode(const std::string& text);

// Turns %XX into its byte; a '%' not followed by two hex digits stays as it is, so text that was
// never encoded passes unchanged unless it holds such a group. plusIsSpace also turns '+' into ' '.
std::string percentDecode(const std::string& text, bool plusIsSpace);

// Splits "a=1&b=2" into raw (still encoded) pairs; empty pieces are skipped. A piece without '='
// gives an empty value and sets *sawBare when given.
ParamList splitQueryRaw(const std::string& query, bool* sawBare = nullptr);

// Decoded name/value pairs of a query or an url-encoded form body ('+' is a blank there).
ParamList parseForm(const std::string& query);

std::string htmlEscape(const std::string& text);

// The service's date text, e.g. "Wed Dec 07 13:41:00 +0800 2022" (China time).
std::string serviceDate(std::int64_t epochSeconds);

// Strict unsigned decimal parse (digits only, no sign, fits 64 bits).
bool parseU64(const std::string& text, std::uint64_t& out);
// Strict signed decimal parse within 32 bits.
bool parseI32(const std::string& text, int& out);

// Whether the bytes are well-formed UTF-8.
bool isValidUtf8(const std::string& text);
// The text with every byte that is not part of a well-formed UTF-8 sequence replaced by '?'.
std::string sanitizeUtf8(const std::string& text);
// Length by the client's rule: an ASCII character counts 1, any other character 2.
std::size_t weiboLength(const std::string& utf8);
// Appends the UTF-8 form of a code point.
void appendUtf8(std::string& out, std::uint32_t codePoint);

std::string lowerHex(const std::string& bytes);

}  // namespace devserver
