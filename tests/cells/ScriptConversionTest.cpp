#include "cells/ScriptTables.h"
#include "cells/StringAddition.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QSet>

namespace {

QString tableString(const char16_t* table)
{
    return QString::fromUtf16(table, qsizetype(scripttables::kTableLength));
}

} // namespace

TEST(ScriptTables, HaveTheShapeTheConversionReliesOn)
{
    const QString traditional = tableString(scripttables::kTraditional);
    const QString simplified = tableString(scripttables::kSimplified);
    ASSERT_EQ(traditional.size(), 1275);
    ASSERT_EQ(simplified.size(), 1275);
    EXPECT_EQ(scripttables::kTraditional[1275], u'\0');
    EXPECT_EQ(scripttables::kSimplified[1275], u'\0');

    QSet<QChar> seen;
    QList<int> repeated;
    for (int i = 0; i < 1275; ++i) {
        EXPECT_FALSE(traditional[i].isSurrogate()) << i;
        EXPECT_FALSE(simplified[i].isSurrogate()) << i;
        EXPECT_NE(traditional[i], simplified[i]) << "maps to itself at " << i;
        if (seen.contains(traditional[i]))
            repeated.append(i);
        seen.insert(traditional[i]);
    }
    // "國" and "愛" are the only characters listed twice, both times with one partner.
    EXPECT_EQ(repeated, (QList<int>{703, 704}));
    EXPECT_EQ(traditional[3], QChar(u'愛'));
    EXPECT_EQ(traditional[704], QChar(u'愛'));
    EXPECT_EQ(traditional[296], QChar(u'國'));
    EXPECT_EQ(traditional[703], QChar(u'國'));
    EXPECT_EQ(simplified[3], simplified[704]);
    EXPECT_EQ(simplified[296], simplified[703]);

    EXPECT_EQ(traditional.front(), QChar(u'皚'));
    EXPECT_EQ(simplified.front(), QChar(u'皑'));
    EXPECT_EQ(traditional.back(), QChar(u'洩'));
    EXPECT_EQ(simplified.back(), QChar(u'泄'));
}

TEST(Traditional2Simplified, ConvertsEveryPairOfTheTable)
{
    const QString traditional = tableString(scripttables::kTraditional);
    const QString simplified = tableString(scripttables::kSimplified);
    for (int i = 0; i < 1275; ++i)
        EXPECT_EQ(traditional2Simplified(QString(traditional[i])), QString(simplified[i])) << i;
    // All at once: one unit for one unit, positions kept.
    EXPECT_EQ(traditional2Simplified(traditional), simplified);

    const struct {
        const char16_t* from;
        const char16_t* to;
    } rows[] = {
        {u"皚", u"皑"}, {u"愛", u"爱"}, {u"國", u"国"}, {u"編", u"编"},
        {u"裡", u"里"}, {u"餘", u"余"}, {u"洩", u"泄"}, {u"愛國", u"爱国"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(traditional2Simplified(QString::fromUtf16(row.from)), QString::fromUtf16(row.to));
}

TEST(Traditional2Simplified, LeavesEverythingElseAlone)
{
    EXPECT_EQ(traditional2Simplified(QString()), QString());
    EXPECT_EQ(traditional2Simplified(QStringLiteral("Hello, world! 123")), QStringLiteral("Hello, world! 123"));
    EXPECT_EQ(traditional2Simplified(QStringLiteral("我爱北京天安门")), QStringLiteral("我爱北京天安门"));
    EXPECT_EQ(traditional2Simplified(QStringLiteral("[愛你]")), QStringLiteral("[爱你]"));

    // Surrogate halves pass through, so the length in UTF-16 units never changes.
    const QString withPair = QStringLiteral("愛😀國");
    const QString converted = traditional2Simplified(withPair);
    EXPECT_EQ(converted.size(), withPair.size());
    EXPECT_EQ(converted, QStringLiteral("爱😀国"));
    QString lone = QStringLiteral("愛");
    lone.append(QChar(0xD83D));
    EXPECT_EQ(traditional2Simplified(lone), QStringLiteral("爱") + QChar(0xD83D));

    // The table lists 叠 as Traditional too (for 迭), and it is converted once only:
    // 疊 becomes 叠, not 迭.
    EXPECT_EQ(traditional2Simplified(QStringLiteral("疊")), QStringLiteral("叠"));
    EXPECT_EQ(traditional2Simplified(QStringLiteral("叠")), QStringLiteral("迭"));
}
