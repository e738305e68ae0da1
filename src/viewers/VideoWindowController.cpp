#include "viewers/VideoWindowController.h"

#include "viewers/VideoWebView.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QFileInfo>
#include <QPluginLoader>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <unistd.h>

namespace {

QString& moduleOverride()
{
    static QString fileName;
    return fileName;
}

// The loaded module's factory, shared by every video window of the run (the module stays loaded).
VideoWebViewFactory* loadFactory(QString* error)
{
    static VideoWebViewFactory* factory = nullptr;
    static QString lastError;
    if (!factory) {
        QPluginLoader loader(VideoWindowController::moduleFileName());
        factory = qobject_cast<VideoWebViewFactory*>(loader.instance());
        lastError = factory ? QString() : loader.errorString();
    }
    if (error)
        *error = lastError;
    return factory;
}

constexpr QSize kDefaultSize(560, 480);

} // namespace

VideoWindowController::VideoWindowController(const QString& windowNibName, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(windowNibName);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    resize(kDefaultSize);
}

VideoWindowController::~VideoWindowController()
{
    delete webview_; // its widget is a child and goes with it
}

void VideoWindowController::setModuleFileName(const QString& fileName)
{
    moduleOverride() = fileName;
}

QString VideoWindowController::moduleFileName()
{
    if (!moduleOverride().isEmpty())
        return moduleOverride();
    // Beside the program in a build tree; in the library folder of an installed program.
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString beside = programDir.filePath(QStringLiteral("plumet_video.so"));
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(programDir.filePath(QStringLiteral(PLUMET_INSTALLED_MODULE_DIR "/plumet_video.so")));
}

bool VideoWindowController::isAcceptableAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

bool VideoWindowController::setVideo(const QString& urlString, const QString& title)
{
    if (isVisible() && urlString_ == urlString) {
        closeVideo();
        return true;
    }
    // The address comes from the service: a file:, data: or javascript: address never reaches the web view.
    const QUrl url(urlString, QUrl::StrictMode);
    if (!isAcceptableAddress(url))
        return false;
    clear();
    if (!ensureWebView())
        return false;
    urlString_ = urlString;
    setWindowTitle(title);
    webview_->load(url);
    if (!isVisible()) {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), available));
    }
    show();
    raise();
    activateWindow();
    return true;
}

void VideoWindowController::closeVideo()
{
    clear();
    hide();
}

void VideoWindowController::clear()
{
    urlString_.clear();
    if (webview_)
        webview_->clear();
}

void VideoWindowController::webViewCreateWebViewWithRequest()
{
    if (!isMaximized())
        showMaximized();
}

bool VideoWindowController::ensureWebView()
{
    if (webview_)
        return true;
    // The engine ends the whole process when it runs as root with its sandbox on; the video then goes to the
    // browser instead (whoever runs as root on purpose switches the sandbox off in the environment).
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX") &&
        !qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--no-sandbox"))) {
        moduleError_ = QStringLiteral("the web engine cannot run as root with its sandbox");
        return false;
    }
    VideoWebViewFactory* factory = loadFactory(&moduleError_);
    if (!factory)
        return false;
    VideoWebViewHooks hooks;
    hooks.createWebViewWithRequest = [this] { webViewCreateWebViewWithRequest(); };
    hooks.loadFinished = [this](bool ok) { emit pageLoaded(ok); };
    webview_ = factory->createWebView(this, hooks);
    if (!webview_)
        return false;
    layout_->addWidget(webview_->widget());
    return true;
}

void VideoWindowController::closeEvent(QCloseEvent* event)
{
    // Closing the window stops the video's sound too.
    clear();
    QWidget::closeEvent(event);
}
