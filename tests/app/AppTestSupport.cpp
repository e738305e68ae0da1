#include "AppTestSupport.h"

#include <QWidget>

static ::testing::Environment* const appTestEnvironment = ::testing::AddGlobalTestEnvironment(new AppTestEnvironment);

AuthWindowController* visibleAuthWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* auth = qobject_cast<AuthWindowController*>(w); auth && auth->isVisible())
            return auth;
    }
    return nullptr;
}

void whenAuthWindowShows(std::function<void(AuthWindowController*)> drive, int timeoutMs)
{
    QTimer::singleShot(0, [drive = std::move(drive), timeoutMs] {
        waitUntil([] { return visibleAuthWindow() != nullptr; }, timeoutMs);
        drive(visibleAuthWindow());
    });
}
