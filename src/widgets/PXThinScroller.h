#pragma once

#include <QWidget>

// A thin vertical scroller drawn over the right edge of a list: a rounded knob on a clear track, no arrows.
// It shows a position (doubleValue, 0 at the top, 1 at the bottom) and the visible share of the document
// (knobProportion); dragging the knob or clicking the track asks the owner to scroll through the signals.
class PXThinScroller : public QWidget {
    Q_OBJECT
public:
    explicit PXThinScroller(QWidget *parent = nullptr);

    double doubleValue() const { return value_; }
    void setDoubleValue(double value);
    double knobProportion() const { return proportion_; }
    void setKnobProportion(double proportion);

    // Width the scroller takes at the right edge of the content view.
    static int scrollerWidth() { return 10; }
    // Knob rectangle in the scroller's coordinates.
    QRect knobRect() const;

    QSize sizeHint() const override;

signals:
    // The user dragged the knob to this position (0..1).
    void valueDragged(double value);
    // The user clicked the track above (-1) or below (+1) the knob.
    void pageRequested(int direction);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    double valueAtKnobTop(double knobTop) const;

    double value_ = 0.0;
    double proportion_ = 1.0;
    bool hovered_ = false;
    bool dragging_ = false;
    double dragGrabOffset_ = 0.0;  // pointer position within the knob when the drag began
};
