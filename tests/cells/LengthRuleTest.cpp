#include "cells/LengthRule.h"
#include "cells/StringAddition.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

TEST(Gb18030Length, CountsTheBytesOfTheEncoding)
{
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(QString()), 0);
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(QStringLiteral("abc")), 3);
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(QStringLiteral("中")), 2);
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(QStringLiteral("中文abc")), 7);
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(QStringLiteral("愛")), 2);
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(QStringLiteral("é€，")), 6);
    // Outside the two-byte range: CJK extension A and characters beyond the BMP.
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(QStringLiteral("\u3400")), 4);
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(QStringLiteral("😀")), 4);
    // The emoji of the private-use area sit in GB 18030's user-defined two-byte area.
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(QString(QChar(0xE001))), 2);
    // An unpaired surrogate counts its substitution byte, wherever it stands.
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(QStringLiteral("a") + QChar(0xD83D)), 2);
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(QChar(0xDE00) + QStringLiteral("a")), 2);
}

TEST(LengthRule, RemainingCountIsHalfTheBytesRoundedUp)
{
    EXPECT_EQ(remainingCharCount(QString()), 140);
    EXPECT_EQ(remainingCharCount(QStringLiteral("a")), 139);
    EXPECT_EQ(remainingCharCount(QStringLiteral("ab")), 139);
    EXPECT_EQ(remainingCharCount(QStringLiteral("abc")), 138);
    EXPECT_EQ(remainingCharCount(QStringLiteral("中")), 139);
    EXPECT_EQ(remainingCharCount(QString(140, QChar(u'中'))), 0);
    EXPECT_EQ(remainingCharCount(QString(279, QChar(u'a'))), 0);
    EXPECT_EQ(remainingCharCount(QString(141, QChar(u'中'))), 0);
    EXPECT_EQ(remainingCharCountForBytes(280), 0);
    EXPECT_EQ(remainingCharCountForBytes(281), 0);
    EXPECT_EQ(remainingCharCountForBytes(1000), 0);
}

TEST(LengthRule, CutsAtTheLastWholeCharacterWithinTheLimit)
{
    const QString full(140, QChar(u'中'));
    EXPECT_EQ(constrainedToLengthLimit(full), full);
    EXPECT_EQ(constrainedToLengthLimit(full + QStringLiteral("国")), full);
    EXPECT_EQ(constrainedToLengthLimit(QString(300, QChar(u'a'))), QString(280, QChar(u'a')));

    // 279 + 2 bytes: the Chinese character is dropped whole.
    const QString ascii279(279, QChar(u'a'));
    EXPECT_EQ(constrainedToLengthLimit(ascii279 + QStringLiteral("中")), ascii279);
    EXPECT_EQ(constrainedToLengthLimit(ascii279 + QStringLiteral("a中")), ascii279 + QStringLiteral("a"));

    // Four-byte characters straddling the limit are dropped whole too, however far the
    // cut must step back, and a surrogate pair is never split.
    const QString ascii277(277, QChar(u'a'));
    EXPECT_EQ(constrainedToLengthLimit(ascii277 + QStringLiteral("\u3400")), ascii277);
    EXPECT_EQ(constrainedToLengthLimit(ascii277 + QStringLiteral("😀")), ascii277);
    EXPECT_EQ(constrainedToLengthLimit(QString(276, QChar(u'a')) + QStringLiteral("😀b")),
              QString(276, QChar(u'a')) + QStringLiteral("😀"));

    const QString cut = constrainedToLengthLimit(QString(150, QChar(u'愛')) + QStringLiteral("abc"));
    EXPECT_EQ(lengthOfBytesUsingGBKEncoding(cut), 280);
    EXPECT_EQ(cut, QString(140, QChar(u'愛')));
}
