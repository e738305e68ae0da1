#include "app/KeyringWaitLine.h"

#include "app/TokenStore.h"
#include "mainwindow/MyWindowController.h"

const QString KeyringWaitLine::kWaitingText = QStringLiteral("正在等待系统钥匙环...");

KeyringWaitLine::KeyringWaitLine(TokenStore* store, QObject* parent)
    : QObject(parent)
    , store_(store)
{
    showTimer_.setSingleShot(true);
    showTimer_.setInterval(kShowAfterMs);
    connect(&showTimer_, &QTimer::timeout, this, &KeyringWaitLine::show);
    retakeTimer_.setInterval(100);
    connect(&retakeTimer_, &QTimer::timeout, this, &KeyringWaitLine::takeAway);
    connect(store_, &TokenStore::keyringWaitingChanged, this, &KeyringWaitLine::waitingChanged);
}

void KeyringWaitLine::setWindow(MyWindowController* window)
{
    window_ = window;
    if (store_->isWaitingForKeyring() && !shown_ && !showTimer_.isActive())
        showTimer_.start();
}

void KeyringWaitLine::waitingChanged(bool waiting)
{
    if (waiting) {
        retakeTimer_.stop();
        if (!shown_)
            showTimer_.start();
        return;
    }
    showTimer_.stop();
    takeAway();
}

void KeyringWaitLine::show()
{
    if (shown_ || !window_ || window_->isShuttingDown())
        return;
    window_->displayBusy(kWaitingText);
    shown_ = true;
}

void KeyringWaitLine::takeAway()
{
    if (!shown_ || !window_ || window_->isShuttingDown()) {
        shown_ = false;
        retakeTimer_.stop();
        return;
    }
    if (window_->busyHints().isEmpty() || window_->busyHints().last() != kWaitingText) {
        // Something pushed after this text is still under way; its own pop must not take this one's place.
        if (!window_->busyHints().contains(kWaitingText)) {
            shown_ = false;
            retakeTimer_.stop();
        } else if (!retakeTimer_.isActive()) {
            retakeTimer_.start();
        }
        return;
    }
    window_->displayBusy(QString());
    shown_ = false;
    retakeTimer_.stop();
}
