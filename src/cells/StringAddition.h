#pragma once

#include <QString>

// Text helpers shared by the cells and the editors.

// A copy of `text` of the same length in which every UTF-16 unit that stands in the
// Traditional table is replaced by its Simplified partner; everything else (ASCII,
// Simplified characters, surrogate halves) is left as it is.
QString traditional2Simplified(const QString& text);

// The number of bytes `text` takes in GB 18030: 1 for ASCII, 2 for most Chinese
// characters, 4 for characters outside the two-byte range (CJK extension A, characters
// beyond the Basic Multilingual Plane, ...). An unpaired surrogate counts 1 byte, the
// size of the substitution byte the encoder writes for it.
qsizetype lengthOfBytesUsingGBKEncoding(const QString& text);
