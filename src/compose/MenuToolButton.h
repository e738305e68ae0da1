#pragma once
// A button that opens its menu when pressed ("表情", "草稿"), with room for the little arrow the style draws
// in its lower right corner: the arrow never touches the label.
#include <QStyle>
#include <QToolButton>

class MenuToolButton : public QToolButton {
public:
    explicit MenuToolButton(QWidget* parent = nullptr) : QToolButton(parent) { setPopupMode(InstantPopup); }

    QSize sizeHint() const override
    {
        QSize size = QToolButton::sizeHint();
        size.rwidth() += style()->pixelMetric(QStyle::PM_MenuButtonIndicator, nullptr, this);
        return size;
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};
