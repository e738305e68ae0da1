#include "cells/Appearance.h"

#include "platform/UserDefaults.h"

#include <QFontDatabase>
#include <QMetaObject>

#include <cmath>

namespace {

// Line spacing as the appearance objects mean it: extra room below every line of a paragraph, not a factor.
QTextBlockFormat paragraphWithLineSpacing(double spacing)
{
    QTextBlockFormat format;
    format.setLineHeight(spacing, QTextBlockFormat::LineDistanceHeight);
    return format;
}

QColor calibratedWhite(double white)
{
    return QColor::fromRgbF(float(white), float(white), float(white), 1.0f);
}

} // namespace

Appearance::Appearance(platform::UserDefaults* defaults, QObject* parent)
    : QObject(parent), defaults_(defaults)
{
    makeStatusParagraphStyle();
    makeGradient();
    loadFontSetting();
    loadColorSetting();
    makeDateDic();
}

platform::UserDefaults& Appearance::defaults() const
{
    return defaults_ ? *defaults_ : platform::UserDefaults::standard();
}

QFont Appearance::systemFont(double pointSize, bool bold)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(pointSize > 0 ? pointSize : 1.0);
    font.setBold(bold);
    return font;
}

QLinearGradient Appearance::linearGradient(const QGradientStops& stops, const QRectF& rect, double angle)
{
    // The angle is counted anticlockwise in a y-up world; the widgets draw y-down.
    const double radians = angle * M_PI / 180.0;
    const double dx = std::cos(radians), dy = -std::sin(radians);
    const QPointF centre = rect.center();
    const double reach = (std::abs(dx) * rect.width() + std::abs(dy) * rect.height()) / 2.0;
    QLinearGradient gradient(centre - QPointF(dx, dy) * reach, centre + QPointF(dx, dy) * reach);
    gradient.setStops(stops);
    return gradient;
}

void Appearance::makeStatusParagraphStyle()
{
    statusParagraphStyle_ = paragraphWithLineSpacing(5);

    restatusParagraphStyle_ = paragraphWithLineSpacing(5);
    restatusParagraphStyle_.setLeftMargin(16);
    restatusParagraphStyle_.setTextIndent(0); // first line indented as far as the rest
    restatusParagraphStyle_.setRightMargin(10);

    restatusFooterParagraphStyle_ = restatusParagraphStyle_;
    restatusFooterParagraphStyle_.setAlignment(Qt::AlignRight);
}

void Appearance::makeGradient()
{
    backgroundGradient_ = {{0.0, QColor::fromRgbF(0.965f, 0.965f, 0.965f, 1.0f)},
                           {1.0, QColor::fromRgbF(0.98f, 0.98f, 0.98f, 1.0f)}};
    selectedCellGradient_ = {{0.0, QColor::fromRgbF(0.831f, 0.875f, 0.992f, 1.0f)},
                             {1.0, QColor::fromRgbF(0.718f, 0.788f, 0.949f, 1.0f)}};
}

void Appearance::loadFontSetting()
{
    const QString name = defaults().stringForKey(QStringLiteral("FontName"));
    const double size = defaults().doubleForKey(QStringLiteral("FontSize"));
    if (!name.isEmpty() && size > 0 // a negative size is as unusable as 0
        && QFontDatabase::families().contains(name, Qt::CaseInsensitive)) {
        bodyFont_ = QFont(name);
        bodyFont_.setPointSizeF(size);
    } else {
        bodyFont_ = systemFont(kDefaultFontSize);
    }
    const double body = bodyFont_.pointSizeF();
    headerFont_ = systemFont(body, true);
    footerFont_ = systemFont(body - 1);
    dateFont_ = systemFont(body - 2);
}

void Appearance::loadColorSetting()
{
    // Every text reaches 4.5:1 against what it is drawn on, a selected row included: the footer and date greys
    // (once 0.5 and 0.8, read at 2.4:1 and 1.2:1 there), the link blue (3.6:1) and the verified mark are the
    // nearest of their kind that do. The date sits at a row's top, on the lighter end of its gradient.
    bodyColor_ = calibratedWhite(0.1);
    footerColor_ = calibratedWhite(0.33);
    dateColor_ = calibratedWhite(0.385);
    linkColor_ = QColor::fromRgbF(0.2f, 0.333f, 0.536f, 1.0f);
    verifiedColor_ = QColor::fromRgbF(0.52f, 0.26f, 0.0f, 1.0f);
    boxColor_ = calibratedWhite(0.88);
}

void Appearance::makeDateDic()
{
    dateDic_.alignment = Qt::AlignRight;
    dateDic_.foregroundColor = dateColor_;
    dateDic_.font = dateFont_;
}

void Appearance::changeFont(const QFont& font)
{
    defaults().setObject(font.family(), QStringLiteral("FontName"));
    defaults().setDouble(font.pointSizeF(), QStringLiteral("FontSize"));
    QMetaObject::invokeMethod(
        this,
        [this] {
            loadFontSetting();
            makeDateDic();
            emit fontSettingChanged();
        },
        Qt::QueuedConnection);
}
