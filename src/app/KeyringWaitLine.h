#pragma once
// Says in the main window's busy line that Plumet waits for the desktop's keyring, while a keyring request stays
// unanswered (its prompt is likely on screen). A quick answer shows nothing.
#include "platform/BusyText.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class MyWindowController;
class TokenStore;

class KeyringWaitLine : public QObject {
    Q_OBJECT
public:
    static const QString kWaitingText; // "正在等待系统钥匙环..."
    // How long a request may take before the line says so.
    static constexpr int kShowAfterMs = 500;

    KeyringWaitLine(TokenStore* store, QObject* parent = nullptr);
    // The window whose busy line speaks (none: nothing is shown).
    void setWindow(MyWindowController* window);
    bool isShown() const { return busy_.active(); }

private:
    void waitingChanged(bool waiting);
    void show();

    TokenStore* store_;
    QPointer<MyWindowController> window_;
    QTimer showTimer_;
    BusyText busy_;
};
