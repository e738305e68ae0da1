#pragma once
// The emotion button of an editor: its menu hosts the one shared picker, mounted when the menu is about to
// open, with the editor as the picker's delegate.
#include <QPointer>
#include "compose/MenuToolButton.h"

class EmotionDelegate;
class EmotionViewController;
class QMenu;
class QWidgetAction;

class EmotionPopUpButton : public MenuToolButton {
    Q_OBJECT
public:
    // `delegate` is the editor (an object: `lifetime`) that receives the choices.
    EmotionPopUpButton(EmotionDelegate* delegate, QObject* lifetime, QWidget* parent = nullptr);
    ~EmotionPopUpButton() override;

    QMenu* popUpMenu() const { return menu_; }
    // Mounts the shared picker into the menu and makes the editor its delegate (what opening the menu does).
    void popUpButtonWillPopUp();
    // The picker mounted here, if any.
    EmotionViewController* mountedPicker() const;

private:
    void unmount();

    EmotionDelegate* delegate_;
    QPointer<QObject> lifetime_;
    QMenu* menu_ = nullptr;
    QWidgetAction* item_ = nullptr;
    QWidget* holder_ = nullptr;
    QPointer<EmotionViewController> picker_;
};
