#pragma once
// Says in the main window's busy line that Plumet waits for the desktop's keyring, while a keyring request stays
// unanswered (its prompt is likely on screen). A quick answer shows nothing.
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
    bool isShown() const { return shown_; }

private:
    void waitingChanged(bool waiting);
    void show();
    // The text leaves the line once it is the top one again, so no other busy text is taken away in its place.
    void takeAway();

    TokenStore* store_;
    QPointer<MyWindowController> window_;
    QTimer showTimer_;
    QTimer retakeTimer_;
    bool shown_ = false;
};
