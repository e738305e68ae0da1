#include "cells/WBUtility.h"

#include "cells/Appearance.h"
#include "cells/CellContext.h"
#include "cells/LengthRule.h"
#include "cells/StringAddition.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QDirIterator>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QLinearGradient>
#include <QStandardPaths>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

bool WBUtility::setupDefaults()
{
    return platform::UserDefaults::standard().registerDefaultsFromResource();
}

QString WBUtility::resourceFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString WBUtility::emotionsFolder()
{
    return resourceFolder() + QStringLiteral("/emotions");
}

QHash<QString, QString> WBUtility::localEmotions()
{
    return localEmotions(emotionsFolder());
}

QHash<QString, QString> WBUtility::localEmotions(const QString& folder)
{
    QHash<QString, QString> files;
    const QDir root(folder);
    if (folder.isEmpty() || !root.exists())
        return files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(root.relativeFilePath(path), QFileInfo(path).absoluteFilePath());
    }
    return files;
}

AttributedString WBUtility::makeAttachmentWithEmotionName(const QString& name, double baselineOffset)
{
    return AttributedString::fromRichText(
        ::makeAttachmentWithEmotionName(name, baselineOffset, CellContext::current().hotTextResources()));
}

AttributedString WBUtility::makeAttachmentWithEmoji(const QString& emoji, double baselineOffset)
{
    return AttributedString::fromRichText(
        ::makeAttachmentWithEmoji(emoji, baselineOffset, CellContext::current().hotTextResources()));
}

namespace {

// The length of the prefix of `text` that takes exactly `bytes` GB 18030 bytes, or -1 when that many bytes
// end inside a character (the cut would not decode).
qsizetype prefixOfBytes(const QString& text, qsizetype bytes)
{
    qsizetype used = 0, i = 0;
    const qsizetype n = text.size();
    while (i < n && used < bytes) {
        const qsizetype width =
            (text.at(i).isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        used += lengthOfBytesUsingGBKEncoding(text.mid(i, width));
        i += width;
    }
    return used == bytes ? i : -1;
}

} // namespace

WBUtility::CharCountResult WBUtility::constrainCharCountInContainer(const QString& text, int selectionStart,
                                                                  int selectionLength)
{
    CharCountResult result;
    result.text = text;
    result.selectionStart = selectionStart;
    result.selectionLength = selectionLength;
    const qsizetype bytes = lengthOfBytesUsingGBKEncoding(text);
    if (bytes <= kLengthLimitBytes) {
        result.hint = QString::number(kLengthLimitChars - (bytes + 1) / 2);
        return result;
    }
    qsizetype cut = prefixOfBytes(text, kLengthLimitBytes);
    if (cut < 0)
        cut = prefixOfBytes(text, kLengthLimitBytes - 1);
    if (cut >= 0) {
        result.text = text.left(cut);
        result.changed = true;
    }
    result.hint = QStringLiteral("0");
    const int length = int(result.text.size());
    const int end = std::min(selectionStart + selectionLength, length);
    result.selectionStart = std::min(selectionStart, length);
    result.selectionLength = std::max(0, end - result.selectionStart);
    return result;
}

void WBUtility::constrainCharCountInContainer(QTextDocument& container, QTextCursor& selection,
                                              const std::function<void(const QString&)>& hint)
{
    const int start = selection.selectionStart();
    const int length = selection.selectionEnd() - start;
    const CharCountResult result = constrainCharCountInContainer(plainStringOfDocument(container), start, length);
    if (result.changed) {
        container.setPlainText(result.text);
        selection = QTextCursor(&container);
        selection.setPosition(result.selectionStart);
        selection.setPosition(result.selectionStart + result.selectionLength, QTextCursor::KeepAnchor);
    }
    if (hint)
        hint(result.hint);
}

namespace {

// How far the badge's outline and its soft shadow reach beyond the capsule: the capsule keeps that much room
// from the rectangle's edges, so nothing of it is cut off by the widget it is drawn in.
constexpr double kBadgeReach = 3.0;

QFont badgeFont()
{
    return Appearance::systemFont(11, true);
}

} // namespace

QRectF WBUtility::numberBadgeRect(unsigned count, const QRectF& rect, QPaintDevice* device)
{
    if (count == 0)
        return {};
    const QFontMetricsF metrics(badgeFont(), device);
    const QString text = QString::number(count);
    // The digits' own extent, not the advance: bold digits may reach past their advance.
    const double textWidth = std::max(metrics.horizontalAdvance(text), metrics.tightBoundingRect(text).width());
    const double height = metrics.height() + 4;
    // Never narrower than round: one digit sits in a circle, more digits stretch it into a capsule whose
    // straight part holds them, so two digits stay clear of the round ends.
    const double width = std::max(height, textWidth + 12);
    return QRectF(rect.right() - kBadgeReach - width, rect.top() + kBadgeReach, width, height);
}

void WBUtility::drawNumber(QPainter& painter, unsigned count, const QRectF& rect)
{
    if (count == 0)
        return;
    const QString text = QString::number(count);
    const QRectF capsule = numberBadgeRect(count, rect, painter.device());
    const double radius = capsule.height() / 2;
    QPainterPath path;
    path.addRoundedRect(capsule, radius, radius);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // The white shadow of blur radius 2 under the outline, as a soft wider stroke.
    painter.strokePath(path, QPen(QColor(255, 255, 255, 90), 6));
    painter.strokePath(path, QPen(QColor(255, 255, 255, 150), 4));
    // A saturated red behind the digits, lighter at the top: the white digits keep their contrast (a white
    // centre, as a radial highlight gives, would wash them out).
    QLinearGradient fill(capsule.topLeft(), capsule.bottomLeft());
    fill.setColorAt(0, QColor(240, 72, 64));
    fill.setColorAt(1, QColor(196, 16, 16));
    painter.fillPath(path, fill);
    // The gloss stays a thin sheen along the top edge, above the digits.
    QLinearGradient gloss(capsule.topLeft(), QPointF(capsule.left(), capsule.top() + capsule.height() * 0.45));
    gloss.setColorAt(0, QColor(255, 255, 255, 110));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    painter.fillPath(path, gloss);
    painter.strokePath(path, QPen(Qt::white, 2));
    painter.setFont(badgeFont());
    painter.setPen(QColor(120, 0, 0, 140));
    painter.drawText(capsule.translated(0, 1), Qt::AlignCenter, text);
    painter.setPen(Qt::white);
    painter.drawText(capsule, Qt::AlignCenter, text);
    painter.restore();
}

QSize WBUtility::repSize(const QImage& image)
{
    if (image.isNull())
        return {0, 0};
    return image.size();
}
