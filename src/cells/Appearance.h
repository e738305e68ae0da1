#pragma once

#include <QColor>
#include <QFont>
#include <QGradientStops>
#include <QLinearGradient>
#include <QObject>
#include <QTextBlockFormat>

namespace platform {
class UserDefaults;
}

// The text attributes of the dates drawn at the top right of a list cell.
struct DateAttributes {
    Qt::Alignment alignment = Qt::AlignRight;
    QColor foregroundColor;
    QFont font;
};

// The one family of fonts, colours, paragraph styles and gradients every timeline text and list cell is drawn
// with. Built once at start; the fonts and the date attributes are rebuilt after each font change, and
// `fontSettingChanged` tells the windows to lay their lists out again. Main thread only.
class Appearance : public QObject {
    Q_OBJECT
public:
    // Builds everything from the settings of `defaults` (the standard store when none is given).
    explicit Appearance(platform::UserDefaults* defaults = nullptr, QObject* parent = nullptr);

    // The body font when no usable one is stored.
    static constexpr double kDefaultFontSize = 12.0;
    // The desktop's general font (QFontDatabase::GeneralFont) at `pointSize`, bold when asked.
    static QFont systemFont(double pointSize, bool bold = false);
    // A linear gradient over `rect` whose first stop lies opposite `angle`: 90 degrees runs from the bottom
    // edge up to the top edge, 270 from the top down, 0 from left to right.
    static QLinearGradient linearGradient(const QGradientStops& stops, const QRectF& rect, double angle);

    void makeStatusParagraphStyle();
    void makeGradient();
    // Reads "FontName" and "FontSize"; a missing or empty name, a size of 0 or a font that is not installed
    // give the 12-point system font.
    void loadFontSetting();
    void loadColorSetting();
    void makeDateDic();

    // The font panel's choice: stores its family and point size, then, on the main queue after the current
    // event, reloads the fonts and the date attributes and emits `fontSettingChanged`.
    void changeFont(const QFont& font);

    QFont bodyFont() const { return bodyFont_; }
    QFont headerFont() const { return headerFont_; }
    QFont footerFont() const { return footerFont_; }
    QFont dateFont() const { return dateFont_; }
    QColor bodyColor() const { return bodyColor_; }
    QColor footerColor() const { return footerColor_; }
    QColor dateColor() const { return dateColor_; }
    // Links in item text, no underline.
    QColor linkColor() const { return linkColor_; }
    // The " v" after a verified author's name.
    QColor verifiedColor() const { return verifiedColor_; }
    // The box behind a reposted status and a chat bubble.
    QColor boxColor() const { return boxColor_; }
    const DateAttributes& dateDic() const { return dateDic_; }
    const QTextBlockFormat& statusParagraphStyle() const { return statusParagraphStyle_; }
    const QTextBlockFormat& restatusParagraphStyle() const { return restatusParagraphStyle_; }
    const QTextBlockFormat& restatusFooterParagraphStyle() const { return restatusFooterParagraphStyle_; }
    const QGradientStops& backgroundGradient() const { return backgroundGradient_; }
    const QGradientStops& selectedCellGradient() const { return selectedCellGradient_; }

signals:
    // After every font change, once the new fonts are in place.
    void fontSettingChanged();

private:
    platform::UserDefaults& defaults() const;

    platform::UserDefaults* defaults_;
    QFont bodyFont_, headerFont_, footerFont_, dateFont_;
    QColor bodyColor_, footerColor_, dateColor_, linkColor_, verifiedColor_, boxColor_;
    DateAttributes dateDic_;
    QTextBlockFormat statusParagraphStyle_, restatusParagraphStyle_, restatusFooterParagraphStyle_;
    QGradientStops backgroundGradient_, selectedCellGradient_;
};
