// The Qt text (attributed strings and their documents), the appearance values and WBUtility.
#include "CellTestSupport.h"
#include "QtPrinters.h"

#include "cells/Appearance.h"
#include "cells/TimelineCellBase.h"
#include "cells/WBUtility.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

MyTextAttachmentCell pictureCell(int type, int w, int h, const QString& fileName = QString())
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::red);
    MyTextAttachmentCell cell(type, image);
    cell.setFileName(fileName);
    return cell;
}

QTextBlockFormat rightAligned()
{
    QTextBlockFormat format;
    format.setAlignment(Qt::AlignRight);
    return format;
}

} // namespace

TEST(AttributedString, RunsBecomeADocumentWithLinksPicturesAndParagraphsByFirstCharacter)
{
    ScopedContext scope;
    AttributedString text;
    text.appendString(QString());
    EXPECT_TRUE(text.isEmpty());
    text.appendString(QStringLiteral("看"));
    text.appendLink(QStringLiteral("@张三"), LinkValue::fromScreenName(QStringLiteral("张三")));
    text.appendLink(QStringLiteral("@李四"), LinkValue::fromScreenName(QStringLiteral("李四")));
    text.append(AttributedString::fromAttachment(pictureCell(0, 10, 10, QStringLiteral("[哈哈]"))));
    text.append(AttributedString::fromAttachment(pictureCell(AttachmentStatusComments, 10, 10)));
    text.appendString(QStringLiteral("\n第二段"));
    ASSERT_EQ(text.runs().size(), 6);
    EXPECT_EQ(text.plainString(), QStringLiteral("看@张三@李四[哈哈]\n第二段"));
    EXPECT_EQ(text.length(), 13);

    const auto document = text.toDocument();
    EXPECT_EQ(document->characterCount(), text.length() + 1);
    EXPECT_EQ(plainStringOfDocument(*document), text.plainString());
    EXPECT_EQ(linkAtDocumentPosition(*document, 1), LinkValue::fromScreenName(QStringLiteral("张三")));
    EXPECT_EQ(linkAtDocumentPosition(*document, 4), LinkValue::fromScreenName(QStringLiteral("李四")));
    EXPECT_TRUE(linkAtDocumentPosition(*document, 0).isNull());
    QTextCursor atLink(document.get());
    atLink.setPosition(2);
    const QTextCharFormat linkFormat = atLink.charFormat();
    EXPECT_EQ(linkFormat.foreground().color(), scope.context.appearance().linkColor());
    EXPECT_FALSE(linkFormat.fontUnderline());
    EXPECT_EQ(attachmentAtDocumentPosition(*document, 7).fileName(), QStringLiteral("[哈哈]"));
    EXPECT_EQ(attachmentAtDocumentPosition(*document, 8).type(), AttachmentStatusComments);
    EXPECT_EQ(attachmentAtDocumentPosition(*document, 8).baselineOffset(), -4);
    EXPECT_EQ(attachmentAtDocumentPosition(*document, 1).type(), 0);

    // A paragraph takes the style of its first character.
    AttributedString styled(QStringLiteral("\n后"));
    styled.setParagraphStyle(rightAligned());
    AttributedString paragraphs(QStringLiteral("前"));
    paragraphs.append(styled);
    const auto two = paragraphs.toDocument();
    ASSERT_EQ(two->blockCount(), 2);
    EXPECT_NE(two->firstBlock().blockFormat().alignment(), Qt::AlignRight);
    EXPECT_EQ(two->lastBlock().blockFormat().alignment(), Qt::AlignRight);
}

TEST(AttributedString, HeightsFollowWidthPicturesAndBaselineOffsets)
{
    ScopedContext scope;
    EXPECT_EQ(AttributedString().heightForWidth(400), 0);
    AttributedString line(QStringLiteral("one two three four five six seven eight nine ten"));
    const double wide = line.heightForWidth(2000);
    EXPECT_GT(wide, 0);
    EXPECT_GT(line.heightForWidth(60), 2 * wide);
    // The line-end padding is part of the width: a text exactly as wide as the width wraps.
    const double natural = line.size().width();
    EXPECT_GT(line.heightForWidth(natural + 2 * AttributedString::kLineFragmentPadding + 1), wide - 0.01);
    EXPECT_LT(line.heightForWidth(natural + 2 * AttributedString::kLineFragmentPadding + 1), wide + 0.01);
    EXPECT_GT(line.heightForWidth(natural), wide);

    AttributedString onBaseline(QStringLiteral("x"));
    onBaseline.append(AttributedString::fromAttachment(pictureCell(1, 10, 40)));
    AttributedString below(QStringLiteral("x"));
    below.append(AttributedString::fromAttachment(pictureCell(AttachmentStatusRepost, 10, 40)));
    EXPECT_GT(onBaseline.heightForWidth(400), 40);
    EXPECT_NEAR(onBaseline.heightForWidth(400) - below.heightForWidth(400), 4, 0.01);
}

TEST(Appearance, FontsFollowTheSettingsWithTheTwelvePointFallback)
{
    QTemporaryDir dir;
    platform::UserDefaults defaults(dir.filePath(QStringLiteral("a.ini")));
    {
        Appearance appearance(&defaults);
        EXPECT_EQ(appearance.bodyFont().pointSizeF(), 12);
        EXPECT_EQ(appearance.headerFont().pointSizeF(), 12);
        EXPECT_TRUE(appearance.headerFont().bold());
        EXPECT_EQ(appearance.footerFont().pointSizeF(), 11);
        EXPECT_EQ(appearance.dateFont().pointSizeF(), 10);
        EXPECT_EQ(appearance.dateDic().font, appearance.dateFont());
        EXPECT_EQ(appearance.dateDic().alignment, Qt::AlignRight);
        EXPECT_EQ(appearance.dateDic().foregroundColor, appearance.dateColor());
        EXPECT_NEAR(appearance.dateColor().redF(), 0.8, 0.001);
        EXPECT_NEAR(appearance.bodyColor().redF(), 0.1, 0.001);
        EXPECT_NEAR(appearance.footerColor().greenF(), 0.5, 0.001);
        const QTextBlockFormat& repost = appearance.restatusParagraphStyle();
        EXPECT_EQ(repost.leftMargin(), 16);
        EXPECT_EQ(repost.textIndent(), 0);
        EXPECT_EQ(repost.rightMargin(), 10);
        EXPECT_EQ(repost.lineHeight(), 5);
        EXPECT_EQ(appearance.restatusFooterParagraphStyle().alignment(), Qt::AlignRight);
        EXPECT_EQ(appearance.restatusFooterParagraphStyle().leftMargin(), 16);
        EXPECT_EQ(appearance.statusParagraphStyle().lineHeight(), 5);
        EXPECT_EQ(appearance.statusParagraphStyle().leftMargin(), 0);
        // 90 degrees runs from the bottom edge up.
        const QLinearGradient up =
            Appearance::linearGradient(appearance.backgroundGradient(), QRectF(0, 0, 100, 40), 90);
        EXPECT_NEAR(up.start().y(), 40, 0.001);
        EXPECT_NEAR(up.finalStop().y(), 0, 0.001);
    }

    const QString family = QFontDatabase::families().value(0);
    ASSERT_FALSE(family.isEmpty());
    defaults.setObject(family, QStringLiteral("FontName"));
    defaults.setDouble(0, QStringLiteral("FontSize"));
    EXPECT_EQ(Appearance(&defaults).bodyFont().pointSizeF(), 12);
    defaults.setObject(QStringLiteral("No Such Font Family"), QStringLiteral("FontName"));
    defaults.setDouble(16, QStringLiteral("FontSize"));
    EXPECT_EQ(Appearance(&defaults).bodyFont().pointSizeF(), 12);

    Appearance appearance(&defaults);
    QSignalSpy changed(&appearance, &Appearance::fontSettingChanged);
    QFont picked(family);
    picked.setPointSizeF(16);
    appearance.changeFont(picked);
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("FontName")), family);
    EXPECT_EQ(defaults.doubleForKey(QStringLiteral("FontSize")), 16);
    EXPECT_EQ(changed.count(), 0); // after the current event
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 1; }));
    EXPECT_EQ(appearance.bodyFont().family(), family);
    EXPECT_EQ(appearance.bodyFont().pointSizeF(), 16);
    EXPECT_EQ(appearance.headerFont().pointSizeF(), 16);
    EXPECT_EQ(appearance.footerFont().pointSizeF(), 15);
    EXPECT_EQ(appearance.dateFont().pointSizeF(), 14);
    EXPECT_EQ(appearance.dateDic().font.pointSizeF(), 14);
    QCoreApplication::processEvents();
    EXPECT_EQ(changed.count(), 1);
}

TEST(WBUtility, LengthRuleCountsCutsAndKeepsTheSelection)
{
    auto rule = [](const QString& text, int start = 0, int length = 0) {
        return WBUtility::constrainCharCountInContainer(text, start, length);
    };
    const QString han = QStringLiteral("中");
    EXPECT_EQ(rule(QString()).hint, QStringLiteral("140"));
    EXPECT_EQ(rule(QStringLiteral("a")).hint, QStringLiteral("139"));
    EXPECT_EQ(rule(QStringLiteral("ab")).hint, QStringLiteral("139"));
    EXPECT_EQ(rule(han).hint, QStringLiteral("139"));
    const auto full = rule(han.repeated(140), 3, 2);
    EXPECT_EQ(full.hint, QStringLiteral("0"));
    EXPECT_FALSE(full.changed);
    EXPECT_EQ(full.text, han.repeated(140));
    EXPECT_EQ(full.selectionStart, 3);

    const auto over = rule(han.repeated(141), 139, 5);
    EXPECT_TRUE(over.changed);
    EXPECT_EQ(over.text, han.repeated(140));
    EXPECT_EQ(over.hint, QStringLiteral("0"));
    EXPECT_EQ(over.selectionStart, 139);
    EXPECT_EQ(over.selectionLength, 1);
    const auto after = rule(han.repeated(150), 145, 3);
    EXPECT_EQ(after.selectionStart, 140);
    EXPECT_EQ(after.selectionLength, 0);

    // 281 bytes whose 280th falls inside the Chinese character: cut to 279 bytes.
    const auto split = rule(QString(279, u'a') + han);
    EXPECT_TRUE(split.changed);
    EXPECT_EQ(split.text, QString(279, u'a'));
    // A four-byte character over both cuts: the text stays, the label still shows 0.
    const QString wide = QString(277, u'a') + QString::fromUcs4(U"\U00020000") + QStringLiteral("bb");
    const auto stuck = rule(wide, 10, 0);
    EXPECT_FALSE(stuck.changed);
    EXPECT_EQ(stuck.text, wide);
    EXPECT_EQ(stuck.hint, QStringLiteral("0"));

    // In an editor's document an emotion counts as its code, and a cut replaces the content by plain text.
    ScopedContext scope;
    QTextDocument editor;
    QTextCursor cursor(&editor);
    cursor.insertText(QStringLiteral("x"));
    const AttributedString emotion = AttributedString::fromAttachment(pictureCell(0, 8, 8, QStringLiteral("[哈哈]")));
    QTextCharFormat emotionFormat = emotion.runs().first().format;
    cursor.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), emotionFormat);
    QString hint;
    WBUtility::constrainCharCountInContainer(editor, cursor, [&](const QString& h) { hint = h; });
    EXPECT_EQ(hint, QStringLiteral("136")); // "x[哈哈]": 7 bytes
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(han.repeated(140));
    cursor.setPosition(1);
    cursor.setPosition(3, QTextCursor::KeepAnchor);
    WBUtility::constrainCharCountInContainer(editor, cursor, [&](const QString& h) { hint = h; });
    EXPECT_EQ(hint, QStringLiteral("0"));
    EXPECT_EQ(editor.toPlainText(), QStringLiteral("x[哈哈]") + han.repeated(136));
    EXPECT_EQ(cursor.selectionStart(), 1);
    EXPECT_EQ(cursor.selectionEnd(), 3);
}

TEST(WBUtility, EmotionFilesBadgeAndPictureSize)
{
    EXPECT_TRUE(WBUtility::setupDefaults());
    EXPECT_EQ(platform::UserDefaults::standard().doubleForKey(QStringLiteral("FontSize")), 12);

    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("默认/empty"));
    QFile(dir.filePath(QStringLiteral("默认/哈哈.png"))).open(QIODevice::WriteOnly);
    QFile(dir.filePath(QStringLiteral("top.png"))).open(QIODevice::WriteOnly);
    const QHash<QString, QString> files = WBUtility::localEmotions(dir.path());
    EXPECT_EQ(files.size(), 2);
    EXPECT_EQ(files.value(QStringLiteral("默认/哈哈.png")), dir.filePath(QStringLiteral("默认/哈哈.png")));
    EXPECT_EQ(files.value(QStringLiteral("top.png")), dir.filePath(QStringLiteral("top.png")));
    EXPECT_TRUE(WBUtility::localEmotions(dir.filePath(QStringLiteral("none"))).isEmpty());
    EXPECT_TRUE(WBUtility::emotionsFolder().endsWith(QStringLiteral("/emotions")));

    QImage canvas(120, 60, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    WBUtility::drawNumber(painter, 0, QRectF(0, 0, 120, 60));
    EXPECT_EQ(canvas.pixel(114, 8), 0u);
    WBUtility::drawNumber(painter, 7, QRectF(0, 0, 120, 60));
    painter.end();
    EXPECT_GT(qAlpha(canvas.pixel(114, 8)), 200);  // inside the capsule at the top right
    EXPECT_EQ(qAlpha(canvas.pixel(60, 8)), 0);     // left of it
    EXPECT_EQ(qAlpha(canvas.pixel(114, 50)), 0);   // below it

    // A badge of a left tab: two and four digits fit inside the capsule's straight part, and the capsule with
    // its outline stays inside the tab; beside a digit the fill is a saturated red, not washed out to white.
    const QRectF tab(0, 0, 64, 56);
    QImage badge(64, 56, QImage::Format_ARGB32_Premultiplied);
    for (unsigned count : {7u, 88u, 1024u}) {
        const QRectF capsule = WBUtility::numberBadgeRect(count, tab, &badge);
        const QFontMetricsF metrics(Appearance::systemFont(11, true), &badge);
        EXPECT_LE(metrics.tightBoundingRect(QString::number(count)).width(), capsule.width() - capsule.height() / 2)
            << count;
        EXPECT_GE(capsule.width(), capsule.height()) << count;
        EXPECT_TRUE(tab.adjusted(2, 2, -2, -2).contains(capsule)) << count;
    }
    badge.fill(Qt::transparent);
    QPainter onTab(&badge);
    WBUtility::drawNumber(onTab, 1, tab);
    onTab.end();
    const QRectF one = WBUtility::numberBadgeRect(1, tab, &badge);
    const QRgb beside = badge.pixel(int(one.left() + 4), int(one.center().y()));
    EXPECT_GT(qRed(beside), 150);
    EXPECT_LT(qGreen(beside), 90);

    QImage retina(6, 4, QImage::Format_ARGB32);
    retina.setDevicePixelRatio(2);
    EXPECT_EQ(WBUtility::repSize(retina), QSize(6, 4));
    EXPECT_EQ(WBUtility::repSize(QImage()), QSize(0, 0));
    EXPECT_TRUE(TimelineCellBase::makeAttachmentWithData(QByteArray("not a picture"), 1).isEmpty());
    EXPECT_TRUE(TimelineCellBase::makeAttachmentWithImage(QImage(), 3).isEmpty());
}
