#include "cells/AttachmentTypes.h"
#include "cells/LengthRule.h"
#include "cells/RichText.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

TEST(RichText, AppendingKeepsPlainRunsTogetherAndLinksApart)
{
    RichText text;
    text.appendString(QString());
    EXPECT_TRUE(text.isEmpty());

    text.appendString(QStringLiteral("看 "));
    text.appendString(QStringLiteral("这个 "));
    const LinkValue name = LinkValue::fromScreenName(QStringLiteral("张三"));
    text.appendLink(QStringLiteral("@张三"), name);
    text.appendLink(QStringLiteral("@张三"), name);
    text.appendLink(QString(), name);
    text.appendString(QStringLiteral("!"));
    ASSERT_EQ(text.runs().size(), 4);
    EXPECT_EQ(text.runs()[0].text, QStringLiteral("看 这个 "));
    EXPECT_EQ(text.runs()[1].link, name);
    EXPECT_EQ(text.string(), QStringLiteral("看 这个 @张三@张三!"));
    EXPECT_EQ(text.length(), text.string().size());

    // Appending another text merges across the seam the same way.
    RichText more = RichText::fromPlain(QStringLiteral("?"));
    more.appendLink(QStringLiteral("x"), LinkValue::fromUrl(QUrl(QStringLiteral("http://127.0.0.1/x"))));
    text.append(more);
    ASSERT_EQ(text.runs().size(), 5);
    EXPECT_EQ(text.runs()[3].text, QStringLiteral("!?"));
}

TEST(RichText, PlainStringGivesBackCodesAndDropsPictures)
{
    TextAttachment emotion;
    emotion.fileName = QStringLiteral("[哈哈]");
    const TextAttachment icon = TextAttachment::ofType(AttachmentStatusComments);

    RichText text = RichText::fromPlain(QStringLiteral("好"));
    text.appendAttachment(emotion);
    text.appendAttachment(icon);
    text.appendString(QStringLiteral("啊"));
    EXPECT_EQ(text.string(), QStringLiteral("好\uFFFC\uFFFC啊"));
    EXPECT_EQ(text.length(), 4);
    EXPECT_EQ(text.plainString(), QStringLiteral("好[哈哈]啊"));
    // An emotion counts for the length rule as the bytes of its code.
    EXPECT_EQ(remainingCharCount(text.plainString()), 140 - 5);
}

TEST(RichText, LinkValuesRoundTripThroughTheirAttributeForm)
{
    const LinkValue url = LinkValue::fromUrl(QUrl(QStringLiteral("http://127.0.0.1:8470/k/abc")));
    const LinkValue name = LinkValue::fromScreenName(QStringLiteral("李四"));
    EXPECT_EQ(name.toVariant().toStringList(), (QStringList{QStringLiteral("screen_name"), QStringLiteral("李四")}));
    EXPECT_EQ(url.toVariant().toUrl(), url.url);
    EXPECT_EQ(LinkValue::fromVariant(url.toVariant()), url);
    EXPECT_EQ(LinkValue::fromVariant(name.toVariant()), name);
    EXPECT_TRUE(LinkValue::fromVariant(QVariant()).isNull());
    EXPECT_TRUE(LinkValue::fromVariant(QStringList{QStringLiteral("user"), QStringLiteral("x")}).isNull());
    EXPECT_FALSE(LinkValue().toVariant().isValid());
}
