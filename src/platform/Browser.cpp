#include "platform/Browser.h"

#include "platform/Dispatch.h"

#include <QDesktopServices>
#include <QGuiApplication>

#include <mutex>

namespace platform {
namespace {

std::mutex openerMutex; // guards replacement
Browser::Opener replacement;

bool openInDesktopBrowser(const QUrl& url)
{
    // The desktop services need a GUI application.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    bool opened = false;
    dispatchMainSync([&] { opened = QDesktopServices::openUrl(url); });
    return opened;
}

} // namespace

bool Browser::openURL(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    Opener opener;
    {
        std::lock_guard<std::mutex> lock(openerMutex);
        opener = replacement;
    }
    return opener ? opener(url) : openInDesktopBrowser(url);
}

void Browser::setOpener(Opener opener)
{
    std::lock_guard<std::mutex> lock(openerMutex);
    replacement = std::move(opener);
}

} // namespace platform
