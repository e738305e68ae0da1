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
    connect(store_, &TokenStore::keyringWaitingChanged, this, &KeyringWaitLine::waitingChanged);
}

void KeyringWaitLine::setWindow(MyWindowController* window)
{
    window_ = window;
    if (store_->isWaitingForKeyring() && !busy_.active() && !showTimer_.isActive())
        showTimer_.start();
}

void KeyringWaitLine::waitingChanged(bool waiting)
{
    if (waiting) {
        if (!busy_.active())
            showTimer_.start();
        return;
    }
    showTimer_.stop();
    // Only this text leaves the line; whatever else is under way keeps its own.
    busy_.done();
}

void KeyringWaitLine::show()
{
    if (busy_.active() || !window_ || window_->isShuttingDown())
        return;
    busy_ = window_->displayBusy(kWaitingText);
}
