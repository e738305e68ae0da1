#pragma once

#include <QWidget>

// The strip above the lists that holds the top tabs: calibrated white 0.949 with a 1-pixel line of white 0.835
// along its bottom edge.
class TopTabContainer : public QWidget {
    Q_OBJECT
public:
    explicit TopTabContainer(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
