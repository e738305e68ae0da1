#include "compose/DrawerEditorContext.h"

#include "compose/ComposeEditor.h"
#include "compose/OwnStatus.h"
#include "timeline/PXListViewController.h"
#include "timeline/TimelineHost.h"

#include <QHBoxLayout>
#include <QPushButton>

void insertIntoHomeTimeline(const DrawerEditorContext& context, const boost::shared_ptr<weibo::WBStatus>& status)
{
    PXListViewController* home = context.homeList ? context.homeList() : nullptr;
    if (!home || !status)
        return;
    const bool shown = context.selectedList && context.selectedList() == home;
    showOwnStatus(home, shown, status);
    if (shown && context.host)
        context.host->updateLeftTabs();
}

QPushButton* addDrawerEditorButtons(ComposeEditor* editor, const DrawerEditorContext& context,
                                    const QString& closeText, const QString& sendText)
{
    QWidget* owner = editor->parentWidget();
    auto* close = new QPushButton(closeText, owner);
    auto* send = new QPushButton(sendText, owner);
    editor->bottomBar()->addWidget(close);
    editor->bottomBar()->addWidget(send);
    TimelineHost* host = context.host;
    QObject::connect(close, &QPushButton::clicked, owner, [host] {
        if (host)
            host->closeDrawer();
    });
    return send;
}
