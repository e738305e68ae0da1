#include "cells/HotTextScanner.h"
#include "cells/ItemPlainText.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// One line per run: "text:…", "url:shown=address", "name:shown=screen name",
// "pic:file name".
QString describe(const RichText& text)
{
    QStringList parts;
    for (const TextRun& run : text.runs()) {
        if (run.attachment)
            parts << QStringLiteral("pic:") + run.attachment->fileName;
        else if (run.link.kind == LinkValue::Url)
            parts << QStringLiteral("url:") + run.text + u'=' + run.link.url.toString(QUrl::FullyEncoded);
        else if (run.link.kind == LinkValue::ScreenName)
            parts << QStringLiteral("name:") + run.text + u'=' + run.link.screenName;
        else
            parts << QStringLiteral("text:") + run.text;
    }
    return parts.join(u'\n');
}

QString lines(std::initializer_list<const char*> parts)
{
    QStringList l;
    for (const char* p : parts)
        l << QString::fromUtf8(p);
    return l.join(u'\n');
}

class HotTextScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("emotions/默认"));
        QDir(m_dir.path()).mkpath(QStringLiteral("emoji"));
        for (const char* phrase : {"哈哈", "爱你", "干杯"})
            m_resources.setEmotionFile(QString::fromUtf8(phrase), touch(QStringLiteral("emotions/默认/") + QString::fromUtf8(phrase)));
        // In the catalogue, but its picture never arrived.
        m_resources.setEmotionFile(QStringLiteral("失踪"), m_dir.filePath(QStringLiteral("emotions/默认/失踪")));
        touch(QStringLiteral("emoji/ee8081.png")); // U+E001
        touch(QStringLiteral("emoji/ee94b7.png")); // U+E537
        m_resources.setEmojiFolder(m_dir.filePath(QStringLiteral("emoji")));
    }

    QString touch(const QString& relative)
    {
        const QString path = m_dir.filePath(relative);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("png");
        return path;
    }

    QString scan(const QString& text, int type = HotTextStatus)
    {
        return describe(parseText(text, type, m_resources));
    }

    QTemporaryDir m_dir;
    HotTextResources m_resources;
};

} // namespace

TEST_F(HotTextScan, PlainTextStaysOneRun)
{
    EXPECT_TRUE(parseText(QString(), HotTextStatus, m_resources).isEmpty());
    EXPECT_EQ(scan(QStringLiteral("今天天气不错, ok?")), QStringLiteral("text:今天天气不错, ok?"));
    // A small h that starts no address is plain, and the run continues around it.
    EXPECT_EQ(scan(QStringLiteral("hello hi h")), QStringLiteral("text:hello hi h"));
}

TEST_F(HotTextScan, TopicsLinkToTheTopicPage)
{
    EXPECT_EQ(scan(QStringLiteral("看 #天气# 吧")),
              lines({"text:看 ", "url:#天气#=http://127.0.0.1:8470/k/%E5%A4%A9%E6%B0%94", "text: 吧"}));
    // Everything but the unreserved characters is escaped, so a topic stays one path.
    EXPECT_EQ(scan(QStringLiteral("#a b?c/d#")), lines({"url:#a b?c/d#=http://127.0.0.1:8470/k/a%20b%3Fc%2Fd"}));
    // The text inside the marks is not scanned further.
    EXPECT_EQ(scan(QStringLiteral("#@张三#")), lines({"url:#@张三#=http://127.0.0.1:8470/k/%40%E5%BC%A0%E4%B8%89"}));

    m_resources.setTopicPageAddress(QStringLiteral("http://127.0.0.1:9000/k/"));
    EXPECT_EQ(scan(QStringLiteral("#x#")), lines({"url:#x#=http://127.0.0.1:9000/k/x"}));
    m_resources.setTopicPageAddress(QStringLiteral("not a page "));
    EXPECT_EQ(scan(QStringLiteral("#x#")), lines({"text:#x#"}));
}

TEST_F(HotTextScan, EmptyAndUnclosedMarksStayPlain)
{
    EXPECT_EQ(scan(QStringLiteral("#")), lines({"text:#"}));
    EXPECT_EQ(scan(QStringLiteral("##")), lines({"text:##"}));
    EXPECT_EQ(scan(QStringLiteral("a ## b")), lines({"text:a ## b"}));
    EXPECT_EQ(scan(QStringLiteral("#没有结束")), lines({"text:#没有结束"}));
    // After an unclosed mark the rest is scanned as ordinary text.
    EXPECT_EQ(scan(QStringLiteral("#话题 @张三")), lines({"text:#话题 ", "name:@张三=张三"}));
    EXPECT_EQ(scan(QStringLiteral("[")), lines({"text:["}));
    EXPECT_EQ(scan(QStringLiteral("[]")), lines({"text:[]"}));
    EXPECT_EQ(scan(QStringLiteral("[哈哈 @李四")), lines({"text:[哈哈 ", "name:@李四=李四"}));
}

TEST_F(HotTextScan, EmotionCodesBecomePictures)
{
    const RichText text = parseText(QStringLiteral("好[哈哈]!"), HotTextStatus, m_resources);
    EXPECT_EQ(describe(text), lines({"text:好", "pic:[哈哈]", "text:!"}));
    const TextAttachment& a = *text.runs()[1].attachment;
    EXPECT_EQ(a.type, 0);
    EXPECT_EQ(a.preferredFileName, QStringLiteral("哈哈.png"));
    EXPECT_EQ(a.imagePath, m_dir.filePath(QStringLiteral("emotions/默认/哈哈")));
    EXPECT_EQ(a.baselineOffset, -6.0);
    EXPECT_EQ(text.runs()[1].text, QString(QChar::ObjectReplacementCharacter));

    // Unknown, or known without a picture file: the code stays, brackets included.
    EXPECT_EQ(scan(QStringLiteral("[不存在]")), lines({"text:[不存在]"}));
    EXPECT_EQ(scan(QStringLiteral("[失踪]")), lines({"text:[失踪]"}));
    // The text inside brackets is not scanned further.
    EXPECT_EQ(scan(QStringLiteral("[#话题#]")), lines({"text:[#话题#]"}));
}

TEST_F(HotTextScan, TraditionalEmotionCodesAreRetriedSimplified)
{
    const RichText text = parseText(QStringLiteral("[愛你]"), HotTextStatus, m_resources);
    EXPECT_EQ(describe(text), lines({"pic:[爱你]"}));
    EXPECT_EQ(text.runs()[0].attachment->preferredFileName, QStringLiteral("爱你.png"));
    // A traditional code without a simplified picture stays as written.
    EXPECT_EQ(scan(QStringLiteral("[愛國]")), lines({"text:[愛國]"}));

    // 乾杯 is always read as 干杯, also when the plain code is left.
    EXPECT_EQ(scan(QStringLiteral("[乾杯]")), lines({"pic:[干杯]"}));
    QFile::remove(m_resources.pathForEmotionName(QStringLiteral("干杯")));
    EXPECT_EQ(scan(QStringLiteral("[乾杯]")), lines({"text:[干杯]"}));
}

TEST_F(HotTextScan, NamesEndAtTheNameEndingSet)
{
    EXPECT_EQ(scan(QStringLiteral("@张三：你好")), lines({"name:@张三=张三", "text:：你好"}));
    EXPECT_EQ(scan(QStringLiteral("@_ab-c_d 好")), lines({"name:@_ab-c_d=_ab-c_d", "text: 好"}));
    EXPECT_EQ(scan(QStringLiteral("@ 你")), lines({"text:@ 你"}));
    EXPECT_EQ(scan(QStringLiteral("@")), lines({"text:@"}));
    EXPECT_EQ(scan(QStringLiteral("@@a")), lines({"text:@", "name:@a=a"}));
    // Letters, marks and digits of any script continue a name, beyond the BMP too.
    EXPECT_EQ(scan(QStringLiteral("@Zoë2\u0301\U00020000,x")),
              lines({"name:@Zoë2\u0301\U00020000=Zoë2\u0301\U00020000", "text:,x"}));
    // Punctuation, symbols and the emoji of the private-use area end it.
    EXPECT_EQ(scan(QStringLiteral("@a.b")), lines({"name:@a=a", "text:.b"}));
    EXPECT_EQ(scan(QStringLiteral("@a😀")), lines({"name:@a=a", "text:😀"}));
    EXPECT_EQ(scan(QStringLiteral("@a#话题#")), lines({"name:@a=a", "url:#话题#=http://127.0.0.1:8470/k/%E8%AF%9D%E9%A2%98"}));
    EXPECT_EQ(scan(QStringLiteral("@a\uE001")), lines({"name:@a=a", "pic:\uE001"}));
}

TEST_F(HotTextScan, AnAddressGluedToANameIsScannedOnItsOwn)
{
    EXPECT_EQ(scan(QStringLiteral("@张三http://127.0.0.1/abc 看")),
              lines({"name:@张三=张三", "url:http://127.0.0.1/abc=http://127.0.0.1/abc", "text: 看"}));
    EXPECT_EQ(scan(QStringLiteral("@http://127.0.0.1/abc")),
              lines({"text:@", "url:http://127.0.0.1/abc=http://127.0.0.1/abc"}));
    // Only a lower-case "http" is given back.
    EXPECT_EQ(scan(QStringLiteral("@abchttp")), lines({"name:@abc=abc", "text:http"}));
    EXPECT_EQ(scan(QStringLiteral("@abcHTTP")), lines({"name:@abcHTTP=abcHTTP"}));
}

TEST_F(HotTextScan, AddressesLinkUpToTheirPath)
{
    QStringList paths;
    const RichText text = parseText(QStringLiteral("看 http://127.0.0.1:8470/a-b?c 和 http://host.example/A_9/z.html"),
                                    HotTextStatus, m_resources, &paths);
    EXPECT_EQ(describe(text), lines({"text:看 ", "url:http://127.0.0.1:8470/a-b=http://127.0.0.1:8470/a-b",
                                     "text:?c 和 ", "url:http://host.example/A_9/z=http://host.example/A_9/z",
                                     "text:.html"}));
    EXPECT_EQ(paths, (QStringList{QStringLiteral("a-b"), QStringLiteral("A_9/z")}));

    // The scheme is matched without regard to case after its first letter.
    EXPECT_EQ(scan(QStringLiteral("hTTP://127.0.0.1/x")), lines({"url:hTTP://127.0.0.1/x=http://127.0.0.1/x"}));
    // A capital H starts no address.
    EXPECT_EQ(scan(QStringLiteral("Http://127.0.0.1/x")), lines({"text:Http://127.0.0.1/x"}));
    EXPECT_EQ(scan(QStringLiteral("HTTP://127.0.0.1/x")), lines({"text:HTTP://127.0.0.1/x"}));
}

TEST_F(HotTextScan, IncompleteAddressesStayPlain)
{
    // No "/" after the host: only the scheme is consumed, the rest scanned as text.
    EXPECT_EQ(scan(QStringLiteral("http://127.0.0.1")), lines({"text:http://127.0.0.1"}));
    EXPECT_EQ(scan(QStringLiteral("http://@张三")), lines({"text:http://", "name:@张三=张三"}));
    EXPECT_EQ(scan(QStringLiteral("http://")), lines({"text:http://"}));
    EXPECT_EQ(scan(QStringLiteral("http:/x")), lines({"text:http:/x"}));
    // Empty host, empty path.
    EXPECT_EQ(scan(QStringLiteral("http:///abc")), lines({"text:http:///abc"}));
    EXPECT_EQ(scan(QStringLiteral("http://127.0.0.1/")), lines({"text:http://127.0.0.1/"}));
    EXPECT_EQ(scan(QStringLiteral("http://127.0.0.1/?q=1")), lines({"text:http://127.0.0.1/?q=1"}));
    // No URL can be formed: the whole address is plain, and nothing is looked up.
    QStringList paths;
    const RichText text = parseText(QStringLiteral("http://a b/c http://a%zz/c http://主机/c"), HotTextStatus,
                                    m_resources, &paths);
    EXPECT_EQ(describe(text), lines({"text:http://a b/c http://a%zz/c http://主机/c"}));
    EXPECT_TRUE(paths.isEmpty());
}

TEST_F(HotTextScan, EmojiBecomePicturesWhenThereIsOne)
{
    const RichText text = parseText(QStringLiteral("a\uE001b\uE537\uE002\uE05B"), HotTextStatus, m_resources);
    // U+E002 has no picture; U+E05B is outside the emoji ranges.
    EXPECT_EQ(describe(text), lines({"text:a", "pic:\uE001", "text:b", "pic:\uE537", "text:\uE002\uE05B"}));
    const TextAttachment& a = *text.runs()[1].attachment;
    EXPECT_EQ(a.preferredFileName, QStringLiteral("ee8081.png"));
    EXPECT_EQ(a.imagePath, m_dir.filePath(QStringLiteral("emoji/ee8081.png")));
    EXPECT_EQ(a.baselineOffset, -5.0);

    EXPECT_EQ(emojiResourceName(0xE415), QStringLiteral("ee9095.png"));
    EXPECT_EQ(emojiResourceName(0xE101), QStringLiteral("ee8481.png"));
    for (char16_t c : {0xE001, 0xE05A, 0xE101, 0xE15A, 0xE201, 0xE253, 0xE301, 0xE34D, 0xE401, 0xE44C, 0xE501, 0xE537})
        EXPECT_TRUE(isHotTextEmoji(c)) << int(c);
    for (char16_t c : {0xE000, 0xE05B, 0xE100, 0xE15B, 0xE254, 0xE34E, 0xE44D, 0xE538, 0xE600})
        EXPECT_FALSE(isHotTextEmoji(c)) << int(c);

    HotTextResources noEmoji;
    EXPECT_EQ(describe(parseText(QStringLiteral("\uE001"), HotTextStatus, noEmoji)), lines({"text:\uE001"}));
}

TEST_F(HotTextScan, PreviewsInterpretOnlyEmotionsAndEmoji)
{
    const QString text = QStringLiteral("@张三 #话题# http://127.0.0.1/x [哈哈]\uE001");
    QStringList paths;
    EXPECT_EQ(describe(parseText(text, HotTextPreview, m_resources, &paths)),
              lines({"text:@张三 #话题# http://127.0.0.1/x ", "pic:[哈哈]", "pic:\uE001"}));
    EXPECT_TRUE(paths.isEmpty());
    // Comments, messages and reposted texts are scanned like a status.
    for (int type : {HotTextPlain, HotTextRetweet})
        EXPECT_EQ(describe(parseText(text, type, m_resources)), scan(text)) << type;
}

TEST_F(HotTextScan, PlainStringGivesTheTextBack)
{
    const QString texts[] = {
        QStringLiteral("看 #天气# 吧 @张三：[哈哈] http://127.0.0.1/a-b?c \uE001 [未知] ## [ # @ h"),
        QStringLiteral("@李四http://127.0.0.1/abc,Http://x/y hTTP://127.0.0.1/q"),
    };
    for (const QString& text : texts) {
        for (int type : {HotTextPlain, HotTextStatus, HotTextRetweet, HotTextPreview})
            EXPECT_EQ(parseText(text, type, m_resources).plainString(), text) << type;
    }
}

TEST(ItemPlainText, NotificationsNameTheCataloguesEmotionsAndShowStandardEmoji)
{
    HotTextResources resources;
    resources.setEmotionFile(QStringLiteral("哈哈"), QStringLiteral("/nowhere/哈哈.png"));
    resources.setEmotionFile(QStringLiteral("干杯"), QStringLiteral("/nowhere/干杯.png"));
    // Codes of the catalogue by name, the old spelling and a traditional form included; others stay as typed.
    EXPECT_EQ(announcementText(QStringLiteral("好[哈哈]！[乾杯][不存在][]"), resources),
              QStringLiteral("好哈哈！干杯[不存在][]"));
    EXPECT_EQ(announcementText(QStringLiteral("[[哈哈]] [哈哈"), resources), QStringLiteral("[哈哈] [哈哈"));
    // The service's old emoji: one code point, a keycap sequence, and one without a standard emoji.
    EXPECT_EQ(withStandardEmoji(QString(QChar(0xE415)) + QChar(0xE210) + QStringLiteral("x") + QChar(0xE211)),
              QStringLiteral("\U0001F604#\u20E3x") + QChar(0xE211));
    EXPECT_EQ(announcementText(QString(QChar(0xE001)), resources), QStringLiteral("\U0001F466"));
}
