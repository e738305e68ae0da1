#pragma once

#include "cells/AttachmentTypes.h"
#include "cells/RichText.h"

#include <QByteArray>
#include <QColor>
#include <QPointF>
#include <QImage>
#include <QMetaType>
#include <QObject>
#include <QSizeF>
#include <QString>
#include <QTextObjectInterface>

class QTextDocument;

// One inline picture of item text as the document carries it: the attachment type the main window dispatches
// a click on (0 for emotions and emoji, which do not react), the downloaded bytes it was made from (if any), the
// picture, the file name plainString gives back, and how far it sits off the baseline.
class MyTextAttachmentCell {
public:
    MyTextAttachmentCell() = default;
    MyTextAttachmentCell(int type, const QImage& image, const QByteArray& data = QByteArray());

    // The cell of a scanned attachment: its picture file is read (once per file for the whole run).
    static MyTextAttachmentCell fromTextAttachment(const TextAttachment& attachment);

    int type() const { return type_; }
    const QByteArray& data() const { return data_; }
    const QImage& image() const { return image_; }
    const QString& fileName() const { return fileName_; }
    void setFileName(const QString& name) { fileName_ = name; }
    const QString& preferredFileName() const { return preferredFileName_; }
    void setPreferredFileName(const QString& name) { preferredFileName_ = name; }
    // Points; negative below the baseline, 0 for the default position.
    double baselineOffset() const { return baselineOffset_; }
    void setBaselineOffset(double offset) { baselineOffset_ = offset; }

    // How much larger than its own size the picture is drawn (the font's size against the default one).
    double scale() const { return scale_; }
    void setScale(double scale) { scale_ = scale > 0 ? scale : 1.0; }
    // The picture's size as drawn.
    QSizeF drawnSize() const;

    // The room the picture takes in a line: its width, and its height above the baseline.
    QSizeF cellSize() const;

private:
    int type_ = 0;
    QByteArray data_;
    QImage image_;
    QString fileName_;
    QString preferredFileName_;
    double baselineOffset_ = 0;
    double scale_ = 1.0;
};

Q_DECLARE_METATYPE(MyTextAttachmentCell)

// Where attachments and links live in the formats of a document made from item text.
enum CellTextProperty : int {
    LinkValueProperty = 0x100000 + 1,      // QTextFormat::UserProperty + 1: LinkValue::toVariant()
    AttachmentCellProperty = 0x100000 + 2, // a MyTextAttachmentCell
    TextShadowProperty = 0x100000 + 3,     // true: the text carries TextShadow::shared()
    // A number unique to each link and attachment run. A document files its formats by a hash that sees only
    // the type name of values such as QUrl or an attachment cell, so without it every link (and every
    // picture) of a text would land in one bucket and be compared against all the others.
    RunSerialProperty = 0x100000 + 4,
    // The room an attachment takes (MyTextAttachmentCell::cellSize), as plain numbers the layout reads
    // without unpacking the cell.
    AttachmentWidthProperty = 0x100000 + 5,
    AttachmentAscentProperty = 0x100000 + 6,
};
// The object type of an attachment's character (QTextFormat::UserObject + 1).
constexpr int kAttachmentObjectType = 0x1000 + 1;

// The one text shadow item text uses (names and footers of statuses): offset (0, -1), blur radius 2, white.
// Text carrying it has TextShadowProperty set to true; the layout ignores it, views that draw shadows read it.
struct TextShadow {
    QPointF offset;
    double blurRadius = 0;
    QColor color;

    static TextShadow shared() { return TextShadow{QPointF(0, -1), 2.0, QColor(Qt::white)}; }
};

// Lays out and draws the attachments of every document made from item text: the picture occupies its
// height minus the part below the baseline, and is drawn that far down, so that a picture 4 points below the
// baseline reaches into the line's descent.
class AttachmentObjectHandler : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    // The one handler of the program (main thread).
    static AttachmentObjectHandler* shared();
    // Registers the shared handler with the document's layout.
    static void registerWith(QTextDocument* document);

    QSizeF intrinsicSize(QTextDocument* doc, int posInDocument, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int posInDocument,
                    const QTextFormat& format) override;
};

// The application's own pictures ("reply_icon.png", "forword_icon.png", "cell_favorite.png",
// "cell_favorite_highlight.png", "remove.png", "broken.png", "play"), decoded once; a null image for any
// other name.
QImage cellResourceImage(const QString& name);
// The bytes of one of those pictures (the placeholder of a failed download is stored as bytes).
QByteArray cellResourceData(const QString& name);
// A picture file decoded once for the whole run (emotion and emoji pictures); a null image when it cannot be
// read.
QImage cellFileImage(const QString& path);
