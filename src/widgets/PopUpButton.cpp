#include "widgets/PopUpButton.h"

PopUpButton::PopUpButton(int tag, const QString& menuTitle, QWidget* parent)
    : QComboBox(parent)
    , tag_(tag)
    , menuTitle_(menuTitle)
{
    setObjectName(menuTitle);
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // A click chooses; the keyboard stays with the list below.
    setFocusPolicy(Qt::NoFocus);
}

void PopUpButton::addItemWithTitle(const QString& title, const QVariant& representedObject)
{
    addItem(title, representedObject);
}
