#pragma once
// The new-status text view: a dropped file goes to the editor (as the picture to attach); nothing of a drop,
// no path and no text, ever lands in the text.
#include "compose/HotkeyTextView.h"

class DroppableTextViewDelegate {
public:
    virtual ~DroppableTextViewDelegate() = default;
    virtual void fileDropped(const QString& path) = 0;
};

class DroppableHKTextView : public HotkeyTextView {
    Q_OBJECT
public:
    explicit DroppableHKTextView(QWidget* parent = nullptr);

    DroppableTextViewDelegate* dropDelegate() const { return dropDelegate_; }
    void setDropDelegate(DroppableTextViewDelegate* delegate) { dropDelegate_ = delegate; }

    // Hands the first local file of the dragged data to the drop delegate; true in every case.
    bool prepareForDragOperation(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    DroppableTextViewDelegate* dropDelegate_ = nullptr;
};
