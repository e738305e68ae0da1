#pragma once
// Percent-encoding of the signer (RFC 3986 unreserved set, uppercase hexadecimal digits).
#include <string>

// Every byte outside 0-9 A-Z a-z ~ - _ . becomes "%XX".
std::string urlencode(const std::string& text);

// The byte's high and low nibble as two uppercase hexadecimal digits.
std::string char2hex(char byte);

// Form decoding as a server applies it to a query or body value: "%XX" becomes the byte and "+" a blank;
// a "%" not followed by two hexadecimal digits stays as it is.
std::string urldecode(const std::string& text);
