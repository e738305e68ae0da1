#include "cells/MyTextAttachmentCell.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QTextDocument>
#include <QTextFormat>

#include <mutex>

static void initCellResourceTable()
{
    Q_INIT_RESOURCE(cells);
}

namespace {

static_assert(LinkValueProperty == QTextFormat::UserProperty + 1);
static_assert(kAttachmentObjectType == QTextFormat::UserObject + 1);

void ensureCellResources()
{
    static std::once_flag once;
    std::call_once(once, initCellResourceTable);
}

// Pictures decoded once per run: the application's own and the emotion and emoji files. The sets are small
// and fixed (the catalogue), so nothing is evicted. imageMutex guards both tables.
std::mutex imageMutex;

QHash<QString, QImage>& resourceImages()
{
    static QHash<QString, QImage> images;
    return images;
}

QHash<QString, QImage>& fileImages()
{
    static QHash<QString, QImage> images;
    return images;
}

} // namespace

MyTextAttachmentCell::MyTextAttachmentCell(int type, const QImage& image, const QByteArray& data)
    : type_(type), data_(data), image_(image), baselineOffset_(attachmentBaselineOffset(type))
{
}

MyTextAttachmentCell MyTextAttachmentCell::fromTextAttachment(const TextAttachment& attachment)
{
    MyTextAttachmentCell cell;
    cell.type_ = attachment.type;
    cell.data_ = attachment.imageData;
    if (!attachment.imageData.isEmpty())
        cell.image_ = QImage::fromData(attachment.imageData);
    else if (!attachment.imagePath.isEmpty())
        cell.image_ = cellFileImage(attachment.imagePath);
    cell.fileName_ = attachment.fileName;
    cell.preferredFileName_ = attachment.preferredFileName;
    cell.baselineOffset_ = attachment.baselineOffset;
    return cell;
}

QSizeF MyTextAttachmentCell::drawnSize() const
{
    return image_.isNull() ? QSizeF(0, 0) : image_.deviceIndependentSize() * scale_;
}

QSizeF MyTextAttachmentCell::cellSize() const
{
    if (image_.isNull())
        return {0, 0};
    const QSizeF size = drawnSize();
    return {size.width(), std::max(0.0, size.height() + baselineOffset_ * scale_)};
}

AttachmentObjectHandler* AttachmentObjectHandler::shared()
{
    static AttachmentObjectHandler* handler = new AttachmentObjectHandler;
    return handler;
}

void AttachmentObjectHandler::registerWith(QTextDocument* document)
{
    document->documentLayout()->registerHandler(kAttachmentObjectType, shared());
}

QSizeF AttachmentObjectHandler::intrinsicSize(QTextDocument*, int, const QTextFormat& format)
{
    if (format.hasProperty(AttachmentWidthProperty))
        return {format.doubleProperty(AttachmentWidthProperty), format.doubleProperty(AttachmentAscentProperty)};
    return format.property(AttachmentCellProperty).value<MyTextAttachmentCell>().cellSize();
}

void AttachmentObjectHandler::drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int,
                                         const QTextFormat& format)
{
    const MyTextAttachmentCell cell = format.property(AttachmentCellProperty).value<MyTextAttachmentCell>();
    if (cell.image().isNull())
        return;
    // The line gave the picture only its part above the baseline; the rest hangs below rect.
    if (cell.scale() != 1.0) {
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(QRectF(rect.topLeft(), cell.drawnSize()), cell.image());
        painter->restore();
        return;
    }
    painter->drawImage(QRectF(rect.topLeft(), cell.drawnSize()), cell.image());
}

QImage cellResourceImage(const QString& name)
{
    ensureCellResources();
    std::lock_guard<std::mutex> lock(imageMutex);
    auto it = resourceImages().constFind(name);
    if (it != resourceImages().constEnd())
        return it.value();
    QImage image;
    if (!name.isEmpty() && !name.contains(u'/'))
        image.load(QStringLiteral(":/images/") + name, "PNG");
    resourceImages().insert(name, image);
    return image;
}

QByteArray cellResourceData(const QString& name)
{
    ensureCellResources();
    if (name.isEmpty() || name.contains(u'/'))
        return {};
    QFile file(QStringLiteral(":/images/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage cellFileImage(const QString& path)
{
    std::lock_guard<std::mutex> lock(imageMutex);
    auto it = fileImages().constFind(path);
    if (it != fileImages().constEnd())
        return it.value();
    QImage image(path);
    fileImages().insert(path, image);
    return image;
}
