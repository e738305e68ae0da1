#pragma once
// The editor windows of one main window, made on first use and kept: the new-status window and the
// send-message window.
#include "compose/ComposeContext.h"

#include <QObject>
#include <QPointer>

class PostWindowController;
class SendMessageWindowController;
class QWidget;

class ComposeWindows : public QObject {
    Q_OBJECT
public:
    // The windows are children of `window` (the main window) and go with it.
    ComposeWindows(const ComposeContext& context, QWidget* window);
    ~ComposeWindows() override;

    // Resets the new-status window, centres and shows it.
    void postWeibo();
    // Resets the send window for `screenName` (empty: none), centres and shows it.
    void sendMessageTo(const QString& screenName);

    PostWindowController* postWindowController();
    SendMessageWindowController* sendMessageWindowController();

private:
    ComposeContext context_;
    QWidget* window_;
    QPointer<PostWindowController> post_;
    QPointer<SendMessageWindowController> send_;
};
