#pragma once
// Copying what the lists show: a context menu on an item's text offers "复制" (the item's text) and, over a link,
// "复制链接" (its address); Ctrl+C copies the text of the item in view (the selected row of the list shown, else
// the item the drawer shows). The text is plain: emotions as their codes, the service's old emoji as standard
// ones, a repost followed by the text it reposts.
#include "cells/CellTypes.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QAction;
class QMenu;
class QWidget;
class WBTextView;

class ItemCopy : public QObject {
    Q_OBJECT
public:
    // Ctrl+C in `window` copies the item `currentItem` answers.
    ItemCopy(QWidget* window, std::function<CellPtr()> currentItem);

    // The plain text of an item (empty for none).
    static QString textOfItem(const CellPtr& cell);

    // The menu over character `index` of an item's text (none when the view shows no item). Main thread.
    QMenu* menuFor(WBTextView* textView, int index);
    // Ctrl+C.
    void copyCurrentItem();

    QAction* copyAction() const { return copyAction_; }

private:
    std::function<CellPtr()> currentItem_;
    QMenu* menu_ = nullptr;
    QAction* copyText_ = nullptr;
    QAction* copyLink_ = nullptr;
    QAction* copyAction_ = nullptr;
    CellPtr menuItem_;
    QUrl menuLink_;
};
