#pragma once

#include "cells/AttributedString.h"

#include <QHash>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>

class QPaintDevice;
class QPainter;
class QTextCursor;
class QTextDocument;

// Helpers several windows share: default settings, the emotion pictures, the length limit of the editors, the red
// number badge and the pixel size of a picture. (Alerts are platform::AlertResponder's.)
class WBUtility {
public:
    // Registers the "UserDefaults" resource as the default settings (values the user has not set read as
    // these, and the preference controls revert to them). False when the resource is missing.
    static bool setupDefaults();

    // The writable resource folder (under the application-data location) and its "emotions" folder.
    static QString resourceFolder();
    static QString emotionsFolder();
    // Every emotion picture file under the folder (the "emotions" folder when none is given), by its path
    // relative to the folder.
    static QHash<QString, QString> localEmotions();
    static QHash<QString, QString> localEmotions(const QString& folder);

    // The emotion and emoji attachments of item text, with the pictures of the current context.
    static AttributedString makeAttachmentWithEmotionName(const QString& name, double baselineOffset);
    static AttributedString makeAttachmentWithEmoji(const QString& emoji, double baselineOffset);

    // What the length rule makes of an editor's text.
    struct CharCountResult {
        QString text;     // the text after the call
        bool changed = false; // the text was cut and must replace the editor's content
        QString hint;     // the count the label shows
        int selectionStart = 0;
        int selectionLength = 0;
    };
    // The rule on a plain text (emotions already as their codes) and its selection: within 280 GB 18030 bytes
    // the hint is 140 - (bytes + 1) / 2 and nothing changes; over it the text is cut to its first 280 bytes,
    // or 279 when 280 would split a character (neither: unchanged), the hint is "0" and the selection is kept
    // within the new text.
    static CharCountResult constrainCharCountInContainer(const QString& text, int selectionStart,
                                                         int selectionLength);
    // The same on an editor's document and cursor: a cut text replaces the whole content as plain text
    // (emotion pictures become their codes); `hint` receives the label's text.
    static void constrainCharCountInContainer(QTextDocument& container, QTextCursor& selection,
                                              const std::function<void(const QString&)>& hint);

    // A red capsule with the count in white at the top right corner of `rect`, wholly inside it; nothing for 0.
    static void drawNumber(QPainter& painter, unsigned count, const QRectF& rect);
    // Where that capsule goes when drawn on `device` (the screen when none); empty for 0.
    static QRectF numberBadgeRect(unsigned count, const QRectF& rect, QPaintDevice* device = nullptr);

    // The pixel size of the picture; a null picture has none (0 by 0) and is never shown.
    static QSize repSize(const QImage& image);
};
