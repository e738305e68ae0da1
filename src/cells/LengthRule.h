#pragma once

#include <QString>

// The length rule of everything the user posts: text is measured in GB 18030 bytes, an
// ASCII character counting half a character and a common Chinese character one.

constexpr qsizetype kLengthLimitBytes = 280;
constexpr int kLengthLimitChars = 140;

// What the editors' counter shows for a text of `bytes` GB 18030 bytes: 140 minus half
// the byte count rounded up, or 0 once the text is over the limit.
int remainingCharCountForBytes(qsizetype bytes);

// The same for a plain text.
int remainingCharCount(const QString& plain);

// `plain` itself when it fits in the limit; otherwise its longest prefix of whole
// characters (a surrogate pair is one character) that fits in `limitBytes` bytes.
QString constrainedToLengthLimit(const QString& plain, qsizetype limitBytes = kLengthLimitBytes);
