#include "mainwindow/BusyLine.h"

#include "widgets/ProgressIndicator.h"
#include "platform/Dispatch.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include <algorithm>

namespace {

// A translucent strip over the bottom of the lists.
class HintView : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(242, 242, 242, 235));
        painter.fillRect(QRect(0, 0, width(), 1), QColor(200, 200, 200));
    }
};

} // namespace

BusyLine::BusyLine(QWidget* content)
    : QObject(content), content_(content)
{
    view_ = new HintView(content);
    view_->setObjectName(QStringLiteral("hintView"));
    auto* layout = new QHBoxLayout(view_);
    layout->setContentsMargins(12, 0, 12, 0);
    layout->setSpacing(8);
    progress_ = new ProgressIndicator(view_);
    progress_->setObjectName(QStringLiteral("progressIndicator"));
    label_ = new QLabel(view_);
    label_->setObjectName(QStringLiteral("busyHint"));
    layout->addWidget(progress_);
    layout->addWidget(label_);
    layout->addStretch(1);
    view_->hide();
}

BusyText BusyLine::displayBusy(const QString& text)
{
    if (text.isEmpty())
        return BusyText();
    // Entries are added and taken away on the main thread only; ids tell equal texts of two operations apart.
    const std::uint64_t id = nextId_.fetch_add(1);
    QPointer<BusyLine> self(this);
    auto add = [self, id, text] {
        if (self && !self->closed_) {
            self->entries_.append({id, text});
            self->show();
        }
    };
    // Handed over synchronously, so that the text is up before the operation's own work begins.
    if (platform::isMainThread())
        add();
    else
        platform::dispatchMainSync(add);
    return BusyText([self, id] {
        auto remove = [self, id] {
            if (!self)
                return;
            const auto gone = std::remove_if(self->entries_.begin(), self->entries_.end(),
                                             [id](const Entry& entry) { return entry.id == id; });
            if (gone == self->entries_.end())
                return;
            self->entries_.erase(gone, self->entries_.end());
            self->show();
        };
        if (platform::isMainThread())
            remove();
        else
            platform::dispatchMainAsync(remove);
    });
}

QStringList BusyLine::texts() const
{
    QStringList texts;
    for (const Entry& entry : entries_)
        texts.append(entry.text);
    return texts;
}

void BusyLine::setFailureText(const QString& text)
{
    failureText_ = text;
    show();
}

void BusyLine::place(int left, int width, int height)
{
    left_ = left;
    width_ = width;
    height_ = height;
    // At the bottom of the content (Qt's y axis grows downwards).
    view_->setGeometry(left, content_->height() - height, width, height);
    view_->raise();
}

void BusyLine::show()
{
    // A failure stays on the line until a refresh or poll succeeds, also while the next operation runs beside it.
    if (!entries_.isEmpty()) {
        progress_->startAnimation();
        const QString busy = entries_.last().text;
        label_->setText(failureText_.isEmpty() ? busy : busy + QStringLiteral("　") + failureText_);
        view_->show();
    } else if (!failureText_.isEmpty()) {
        progress_->stopAnimation();
        label_->setText(failureText_);
        view_->show();
    } else {
        progress_->stopAnimation();
        label_->clear();
        view_->hide();
    }
    label_->adjustSize();
    if (view_->isVisible()) {
        place(left_, width_, height_);
        view_->repaint();
    }
}
