#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QImage>

// The avatar of a list row (or of the signed-in user): a picture, or a short title in its place (the date of a
// chat message), and an unread badge at the top right. It carries the name of the user it shows, which the
// main window reads when it is clicked.
class AvatarButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit AvatarButton(QWidget* parent = nullptr);

    QString name() const { return name_; }
    void setName(const QString& name) { name_ = name; }

    QImage image() const { return image_; }
    void setImage(const QImage& image);

    // Drawn when there is no picture.
    QString title() const { return title_; }
    void setTitle(const QString& title);
    void setTitleFont(const QFont& font);
    void setTitleColor(const QColor& color);
    void setTitleAlignment(Qt::Alignment alignment);

    unsigned unreadCount() const { return unreadCount_; }
    void setUnreadCount(unsigned count);

    QSize sizeHint() const override { return {48, 48}; }

signals:
    // A right click (or the menu key) on the avatar, at this point of the screen.
    void contextMenuRequested(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QString name_;
    QImage image_;
    QString title_;
    QFont titleFont_;
    QColor titleColor_;
    Qt::Alignment titleAlignment_ = Qt::AlignLeft | Qt::AlignTop;
    unsigned unreadCount_ = 0;
};
