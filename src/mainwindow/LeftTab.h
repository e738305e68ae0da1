#pragma once

#include <QAbstractButton>
#include <QColor>

#include <cstdint>

// The column that holds the left tabs: their tab list to assistive technology.
class LeftTabColumn : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
};

// One of the five tabs down the left side of the main window: a checkable button showing its label, with the
// number of unread items of its list as a red badge at its top right. Its tag is its first-layer index (0 to 4).
class LeftTab : public QAbstractButton {
    Q_OBJECT
public:
    LeftTab(int tag, const QString& label, QWidget* parent = nullptr);

    int tag() const { return tag_; }
    std::uint64_t unreadCount() const { return unreadCount_; }
    // Redraws when the count changes.
    void setUnreadCount(std::uint64_t count);

    QSize sizeHint() const override { return {64, 56}; }
    // The colours of a tab's label and of the column behind the tabs (checked: the label on the tab's own fill).
    static QColor columnColor() { return QColor(226, 228, 232); }
    static QColor labelColor() { return QColor(70, 70, 70); }
    static QColor checkedFillColor() { return QColor(60, 100, 161); }
    static QColor checkedLabelColor() { return QColor(Qt::white); }
    // What a screen reader says: the label, and the unread count when there is one ("评论，2 条未读").
    QString accessibleText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int tag_;
    std::uint64_t unreadCount_ = 0;
};
