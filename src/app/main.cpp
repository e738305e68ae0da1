// Plumet: the desktop client's entry.
#include "app/InstanceChannel.h"
#include "app/omnikAppDelegate.h"
#include "mainwindow/MyWindowController.h"
#include "platform/PlatformResources.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Plumet"));
    QApplication::setApplicationName(QStringLiteral("Plumet"));
    QApplication::setApplicationDisplayName(QStringLiteral("Plumet"));
    QGuiApplication::setDesktopFileName(QStringLiteral("plumet"));
    platform::ensurePlatformResources();
    QApplication::setWindowIcon(QIcon(platform::applicationIconPath()));

    InstanceChannel channel(platform::UserDefaults::standard().fileName());
    if (!channel.claim())
        return 0;

    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    QObject::connect(&channel, &InstanceChannel::reopenRequested, &delegate, [&delegate] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
            return;
        }
        delegate.applicationShouldHandleReopen(delegate.hasVisibleWindows());
        if (MyWindowController* main = delegate.myWindowController())
            main->showWindow();
    });
    // Start-up runs inside the event loop, as the authorisation window's modal loop expects.
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    return app.exec();
}
