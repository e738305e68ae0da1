#include "mainwindow/ItemCopy.h"

#include "cells/AttributedString.h"
#include "cells/BidiText.h"
#include "cells/ItemPlainText.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "timeline/WBTextView.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>

ItemCopy::ItemCopy(QWidget* window, std::function<CellPtr()> currentItem)
    : QObject(window)
    , currentItem_(std::move(currentItem))
{
    menu_ = new QMenu(window);
    copyText_ = menu_->addAction(QStringLiteral("复制"));
    copyLink_ = menu_->addAction(QStringLiteral("复制链接"));
    connect(copyText_, &QAction::triggered, this, [this] {
        QGuiApplication::clipboard()->setText(textOfItem(menuItem_));
    });
    connect(copyLink_, &QAction::triggered, this, [this] {
        QGuiApplication::clipboard()->setText(menuLink_.toString(QUrl::FullyEncoded));
    });
    // A text field of the window that has the focus keeps Ctrl+C for itself (it overrides the shortcut).
    copyAction_ = new QAction(QStringLiteral("复制"), window);
    copyAction_->setShortcut(QKeySequence::Copy);
    copyAction_->setShortcutContext(Qt::WindowShortcut);
    window->addAction(copyAction_);
    connect(copyAction_, &QAction::triggered, this, &ItemCopy::copyCurrentItem);
}

QString ItemCopy::textOfItem(const CellPtr& cell)
{
    QString text;
    if (const auto* status = dynamic_cast<const TimelineCellStatus*>(cell.get())) {
        text = status->entityText();
        const auto& s = status->status();
        if (s && s->retweeted_status) {
            const auto& original = s->retweeted_status;
            const QString name = original->user ? QString::fromStdString(original->user->screen_name) : QString();
            text += QStringLiteral("\n@%1: %2").arg(displayName(name),
                                                    neutralizeBidiControls(QString::fromStdString(original->text)));
        }
    } else if (const auto* group = dynamic_cast<const TimelineCellMessageGroup*>(cell.get())) {
        if (!group->messages().empty() && group->messages().front())
            text = group->messages().front()->entityText();
    } else if (cell) {
        text = cell->entityText();
    }
    return withStandardEmoji(text);
}

QMenu* ItemCopy::menuFor(WBTextView* textView, int index)
{
    if (!textView || !textView->cellData())
        return nullptr;
    menuItem_ = textView->cellData();
    menuLink_.clear();
    if (textView->document() && index >= 0) {
        const LinkValue link = linkAtDocumentPosition(*textView->document(), index);
        if (link.kind == LinkValue::Url)
            menuLink_ = link.url;
    }
    copyText_->setEnabled(!textOfItem(menuItem_).isEmpty());
    copyLink_->setVisible(!menuLink_.isEmpty());
    return menu_;
}

void ItemCopy::copyCurrentItem()
{
    const CellPtr item = currentItem_();
    const QString text = textOfItem(item);
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}
