#include "compose/DraftsButton.h"

#include <QMenu>

DraftsButton::DraftsButton(DraftKeeper* keeper, std::function<void(const Draft&)> restore, QWidget* parent)
    : MenuToolButton(parent)
    , keeper_(keeper)
    , restore_(std::move(restore))
{
    setText(QStringLiteral("草稿"));
    menu_ = new QMenu(this);
    // The entries are texts to choose from, never checked: no empty check-mark column before them, which made
    // short entries float in the middle of the menu.
    menu_->setStyleSheet(QStringLiteral("QMenu::item { padding: 4px 24px 4px 10px; }"
                                        "QMenu::item:selected { background: palette(highlight);"
                                        " color: palette(highlighted-text); }"));
    setMenu(menu_);
    connect(menu_, &QMenu::aboutToShow, this, &DraftsButton::rebuild);
}

void DraftsButton::rebuild()
{
    keeper_->flush();
    menu_->clear();
    const QList<Draft> list = keeper_->store().drafts(kListed);
    if (list.isEmpty()) {
        menu_->addAction(QStringLiteral("没有草稿"))->setEnabled(false);
        return;
    }
    for (const Draft& d : list) {
        QString title = d.text.simplified();
        if (title.size() > 24)
            title = title.left(24) + QStringLiteral("…");
        if (!d.recipient.isEmpty())
            title = d.recipient + QStringLiteral(": ") + title;
        if (!d.picture.isEmpty())
            title += QStringLiteral(" [图片]");
        QAction* action = menu_->addAction(title);
        // The draft the window shows now is not offered to itself.
        action->setEnabled(d.id != keeper_->currentId());
        connect(action, &QAction::triggered, this, [this, d] {
            if (restore_)
                restore_(d);
        });
    }
}
