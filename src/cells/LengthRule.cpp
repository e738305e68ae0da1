#include "cells/LengthRule.h"

#include "cells/StringAddition.h"

int remainingCharCountForBytes(qsizetype bytes)
{
    if (bytes > kLengthLimitBytes)
        return 0;
    return kLengthLimitChars - int((bytes + 1) / 2);
}

int remainingCharCount(const QString& plain)
{
    return remainingCharCountForBytes(lengthOfBytesUsingGBKEncoding(plain));
}

QString constrainedToLengthLimit(const QString& plain, qsizetype limitBytes)
{
    if (lengthOfBytesUsingGBKEncoding(plain) <= limitBytes)
        return plain;

    // Cutting the encoded bytes at the limit and stepping back one byte is enough when
    // every character takes one or two bytes; four-byte characters need up to three
    // steps, so walk whole characters instead.
    qsizetype bytes = 0;
    qsizetype i = 0;
    const qsizetype n = plain.size();
    while (i < n) {
        qsizetype width = 1;
        if (plain.at(i).isHighSurrogate() && i + 1 < n && plain.at(i + 1).isLowSurrogate())
            width = 2;
        const qsizetype charBytes = plain.at(i).unicode() < 0x80
            ? 1
            : lengthOfBytesUsingGBKEncoding(plain.mid(i, width));
        if (bytes + charBytes > limitBytes)
            break;
        bytes += charBytes;
        i += width;
    }
    return plain.left(i);
}
