#pragma once

#include <cstddef>

// The Traditional-to-Simplified character table, two NUL-terminated UTF-16 strings of
// kTableLength units each, aligned position by position. The Traditional string holds
// "愛" and "國" twice; the first occurrence of a character is the one that counts.
namespace scripttables {

constexpr std::size_t kTableLength = 1275;

extern const char16_t kTraditional[];
extern const char16_t kSimplified[];

} // namespace scripttables
