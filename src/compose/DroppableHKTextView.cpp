#include "compose/DroppableHKTextView.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

DroppableHKTextView::DroppableHKTextView(QWidget* parent)
    : HotkeyTextView(parent)
{
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

bool DroppableHKTextView::prepareForDragOperation(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return true;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            if (dropDelegate_)
                dropDelegate_->fileDropped(url.toLocalFile());
            break;
        }
    }
    return true;
}

void DroppableHKTextView::dragEnterEvent(QDragEnterEvent* event)
{
    event->acceptProposedAction();
}

void DroppableHKTextView::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void DroppableHKTextView::dropEvent(QDropEvent* event)
{
    prepareForDragOperation(event->mimeData());
    event->acceptProposedAction();
}
