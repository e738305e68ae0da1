#include "compose/EmotionPopUpButton.h"

#include "compose/ComposeEnvironment.h"
#include "compose/EmotionViewController.h"

#include <QMenu>
#include <QVBoxLayout>
#include <QWidgetAction>

EmotionPopUpButton::EmotionPopUpButton(EmotionDelegate* delegate, QObject* lifetime, QWidget* parent)
    : MenuToolButton(parent)
    , delegate_(delegate)
    , lifetime_(lifetime)
{
    setText(QStringLiteral("表情"));
    menu_ = new QMenu(this);
    item_ = new QWidgetAction(menu_);
    holder_ = new QWidget;
    auto* layout = new QVBoxLayout(holder_);
    layout->setContentsMargins(0, 0, 0, 0);
    item_->setDefaultWidget(holder_);
    menu_->addAction(item_);
    setMenu(menu_);
    connect(menu_, &QMenu::aboutToShow, this, &EmotionPopUpButton::popUpButtonWillPopUp);
}

EmotionPopUpButton::~EmotionPopUpButton()
{
    // The picker outlives every editor: give it back before the menu (and its holder) go.
    unmount();
}

void EmotionPopUpButton::popUpButtonWillPopUp()
{
    EmotionViewController* picker = ComposeEnvironment::emotionViewController();
    if (!picker)
        return;
    if (picker->parentWidget() != holder_) {
        picker->setParent(holder_);
        holder_->layout()->addWidget(picker);
    }
    picker->refreshCatalogue();
    picker->setDelegate(lifetime_ ? delegate_ : nullptr, lifetime_);
    picker->show();
    if (picker_ != picker) {
        picker_ = picker;
        connect(picker, &EmotionViewController::emotionChosen, menu_, [this] {
            if (mountedPicker())
                menu_->close();
        });
    }
}

EmotionViewController* EmotionPopUpButton::mountedPicker() const
{
    return picker_ && picker_->parentWidget() == holder_ ? picker_.data() : nullptr;
}

void EmotionPopUpButton::unmount()
{
    if (EmotionViewController* picker = mountedPicker()) {
        picker->hide();
        picker->setParent(nullptr);
    }
}
