#pragma once
// The picker's grid: 32-point items, 15 to a row (480 points wide), at least 6 rows; the item under the mouse
// is stroked green, a click hands its index on.
#include <QImage>
#include <QString>
#include <QVector>
#include <QWidget>

class MyCollectionView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kItemSize = 32;
    static constexpr int kColumns = 15;
    static constexpr int kMinRows = 6;

    struct Item {
        QImage icon;
        QString name; // the emotion's phrase, or the emoji's character
    };

    explicit MyCollectionView(QWidget* parent = nullptr);

    void setItems(const QVector<Item>& items);
    const QVector<Item>& items() const { return items_; }
    int rows() const;

    // The item under a point of the grid, or -1: a point outside the grid (its right and bottom edges included)
    // or past the last item has none.
    static int itemIndexAt(const QPointF& point, int itemCount, int rows = kMinRows);
    static QRect itemFrame(int index);
    // The highlighted item's frame (empty for none).
    QRect selectedRect() const { return selectedRect_; }
    void mouseMovedTo(const QPointF& point);

    QSize sizeHint() const override;

signals:
    void itemClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QVector<Item> items_;
    QRect selectedRect_;
};
