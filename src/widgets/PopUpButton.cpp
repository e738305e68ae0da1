#include "widgets/PopUpButton.h"

PopUpButton::PopUpButton(int tag, const QString& menuTitle, QWidget* parent)
    : QComboBox(parent)
    , tag_(tag)
    , menuTitle_(menuTitle)
{
    setObjectName(menuTitle);
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // A click chooses and leaves the keyboard with the list below; Tab reaches it.
    setFocusPolicy(Qt::TabFocus);
}

void PopUpButton::addItemWithTitle(const QString& title, const QVariant& representedObject)
{
    addItem(title, representedObject);
}
