#include "compose/ComposeWindows.h"

#include "compose/PostWindowController.h"
#include "compose/SendMessageWindowController.h"

ComposeWindows::ComposeWindows(const ComposeContext& context, QWidget* window)
    : QObject(window)
    , context_(context)
    , window_(window)
{
}

ComposeWindows::~ComposeWindows() = default;

PostWindowController* ComposeWindows::postWindowController()
{
    if (!post_)
        post_ = new PostWindowController(context_, window_);
    return post_;
}

SendMessageWindowController* ComposeWindows::sendMessageWindowController()
{
    if (!send_)
        send_ = new SendMessageWindowController(window_);
    return send_;
}

void ComposeWindows::postWeibo()
{
    PostWindowController* w = postWindowController();
    // A post still under way keeps its window as it is.
    if (!w->isPosting())
        w->reset();
    w->showWindow();
}

void ComposeWindows::sendMessageTo(const QString& screenName)
{
    SendMessageWindowController* w = sendMessageWindowController();
    if (!w->isSending())
        w->resetWithRecipient(screenName);
    w->showWindow();
}
