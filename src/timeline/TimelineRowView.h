#pragma once

#include "widgets/PXListViewCell.h"

#include <QRectF>
#include <QSize>
#include <QString>

class AvatarButton;
class QPainter;
class TimelineHost;
class WBTextView;

// What the three row views of the timeline lists share: an avatar button, a text view whose frame follows the
// row's size, the size they are laid out for (designSize, from which the list derives its row height
// constants), the decorative rectangle and the date.
class TimelineRowView : public PXListViewCell {
    Q_OBJECT
public:
    // A new row view of the kind a row name stands for: "WeiboCell" (TimelineCell),
    // "MessageGroupCell" or "ChatCell"; any other name gives a TimelineCell.
    static TimelineRowView* create(const QString& nibName);

    // The size the row's widgets are placed for; the text view follows the row's actual size.
    QSize designSize() const { return designSize_; }

    AvatarButton* button() const { return button_; }
    WBTextView* textView() const { return textView_; }

    // Resizes the row and lays its children out at once (a hidden widget would otherwise wait until shown).
    void setFrameSize(const QSize& size);
    // Places the children for the current size.
    virtual void layoutSubviews() = 0;

    // Where clicks on the avatar go.
    TimelineHost* host() const { return host_; }
    void setHost(TimelineHost* host) { host_ = host; }

    // In the text view's coordinates; an empty rectangle draws nothing.
    QRectF decorativeRect() const { return decorativeRect_; }
    void setDecorativeRect(const QRectF& rect);
    QString date() const { return date_; }
    void setDate(const QString& date);

    void prepareForReuse() override;

protected:
    TimelineRowView(const QString& identifier, const QSize& designSize, WBTextView* textView);
    void resizeEvent(QResizeEvent* event) override;

    // The decorative rectangle in this view's coordinates.
    QRectF decorativeRectInView() const;
    // The application's background gradient, and the selected-row gradient over it when the row is selected.
    void drawBackground(QPainter& painter) const;
    // The date at the top right, 12 from the right edge and 8 from the top, with the date attributes.
    void drawDate(QPainter& painter) const;

private:
    QSize designSize_;
    AvatarButton* button_;
    WBTextView* textView_;
    TimelineHost* host_ = nullptr;
    QRectF decorativeRect_;
    QString date_;
};
