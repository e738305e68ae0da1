// Plumet: the desktop client's entry.
#include "app/CommandLine.h"
#include "app/InstanceChannel.h"
#include "app/omnikAppDelegate.h"
#include "mainwindow/MyWindowController.h"
#include "platform/AlertResponder.h"
#include "platform/PlatformResources.h"
#include "platform/ToolkitTexts.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM (a logout, a kill) and SIGINT end the program through its normal termination, so the main window
// still saves its state.
void quitOnTerminationSignals(omnikAppDelegate& delegate)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &delegate);
    QObject::connect(notifier, &QSocketNotifier::activated, &delegate, [&delegate] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        delegate.terminate();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    // Help, version and mistakes are answered before the toolkit starts: no display is needed and no window opens.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine = CommandLine::parse(arguments);
    switch (commandLine.action()) {
    case CommandLine::Action::Run:
        break;
    case CommandLine::Action::ShowHelp:
    case CommandLine::Action::ShowVersion:
        std::fputs(commandLine.text().toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Action::Fail:
        std::fputs(commandLine.text().toLocal8Bit().constData(), stderr);
        return CommandLine::kUsageError;
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Plumet"));
    QApplication::setApplicationName(QStringLiteral("Plumet"));
    QApplication::setApplicationDisplayName(QStringLiteral("Plumet"));
    QGuiApplication::setDesktopFileName(QStringLiteral("plumet"));
    platform::ensurePlatformResources();
    // The interface is Chinese: the toolkit's dialogs, buttons and menus are too.
    platform::installChineseToolkitTexts();
    QApplication::setWindowIcon(QIcon(platform::applicationIconPath()));

    InstanceChannel channel(platform::UserDefaults::standard().fileName());
    switch (channel.claim()) {
    case InstanceChannel::Claim::Running:
        break;
    case InstanceChannel::Claim::HandedOver:
        return 0;
    case InstanceChannel::Claim::Unanswered:
        // Never a silent end: the user started Plumet and must learn why no window comes.
        std::fputs("plumet: another Plumet with these settings is running but does not answer\n", stderr);
        platform::AlertResponder::alertWarning(QStringLiteral("Plumet 已在运行，但没有响应。"),
                                               QStringLiteral("请等它退出后再打开 Plumet。"), QString());
        return 1;
    }
    // From the first moment of quitting (connected ahead of the delegate's own clean-up) a second launch waits
    // for this one to be gone instead of reviving it.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &channel, [&channel] { channel.setQuitting(); });

    // "--set" stores service addresses before start-up, as the preferences would: the run script points Plumet at
    // the development service it has just started.
    commandLine.storeSettings(platform::UserDefaults::standard());

    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    quitOnTerminationSignals(delegate);
    QObject::connect(&channel, &InstanceChannel::reopenRequested, &delegate,
                     &omnikAppDelegate::reopenFromAnotherLaunch);
    // Start-up runs inside the event loop, as the authorisation window's modal loop expects.
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    return app.exec();
}
