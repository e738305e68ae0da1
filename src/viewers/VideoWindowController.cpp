#include "viewers/VideoWindowController.h"

#include "viewers/VideoWebView.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QFileInfo>
#include <QPluginLoader>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

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
    notice_ = new QLabel(this);
    notice_->setWordWrap(true);
    notice_->setAlignment(Qt::AlignCenter);
    notice_->setTextFormat(Qt::RichText);
    notice_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice_->setContentsMargins(24, 24, 24, 24);
    notice_->hide();
    layout_->addWidget(notice_);
    resize(kDefaultSize);
    // The usual ways to close a window, as the picture viewer has them.
    // (A key bound twice would be ambiguous and do nothing: the platform's close keys may hold Ctrl+W already.)
    QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape),
                                     QKeySequence(Qt::Key_Q)})
        if (!closeKeys.contains(keys))
            closeKeys.append(keys);
    for (const QKeySequence& keys : closeKeys) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &VideoWindowController::closeVideo);
    }
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
    notice_->hide();
    webview_->widget()->show();
    webview_->load(url);
    if (!isVisible())
        resize(kDefaultSize);
    showCentred();
    return true;
}

void VideoWindowController::showCentred()
{
    if (!isVisible()) {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), available));
    }
    show();
    raise();
    activateWindow();
}

void VideoWindowController::fitToPage(const QSize& size)
{
    if (!size.isValid() || isMaximized() || !webview_ || !webview_->widget()->isVisible())
        return;
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize wanted = size.expandedTo(this->size()).boundedTo(available.size() * 0.9);
    if (wanted == this->size())
        return;
    QRect frame = geometry();
    frame.setSize(wanted);
    // Grown about its centre, and kept on the screen.
    frame.moveCenter(geometry().center());
    frame.moveLeft(std::clamp(frame.left(), available.left(), std::max(available.left(), available.right() - wanted.width())));
    frame.moveTop(std::clamp(frame.top(), available.top(), std::max(available.top(), available.bottom() - wanted.height())));
    setGeometry(frame);
}

void VideoWindowController::showOpenedElsewhere(const QString& urlString, const QString& title, bool opened)
{
    clear();
    if (webview_)
        webview_->widget()->hide();
    urlString_ = urlString;
    setWindowTitle(title);
    const QString reason = refusedAsRoot_ ? QStringLiteral("本程序以 root 身份运行，内置播放器无法启动。")
                                          : QStringLiteral("内置播放器无法载入。");
    const QString headline = opened ? QStringLiteral("视频已在浏览器中打开") : QStringLiteral("无法播放这段视频");
    QString body = reason;
    if (!opened)
        body += QStringLiteral("<br>也没有找到可以打开它的浏览器。视频地址：<br>") + urlString.toHtmlEscaped();
    notice_->setText(QStringLiteral("<p style=\"font-size:large\"><b>%1</b></p><p>%2</p>").arg(headline, body));
    notice_->show();
    if (!isVisible())
        resize(QSize(420, 180));
    showCentred();
}

QString VideoWindowController::noticeText() const
{
    return notice_->isHidden() ? QString() : notice_->text();
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
        refusedAsRoot_ = true;
        return false;
    }
    VideoWebViewFactory* factory = loadFactory(&moduleError_);
    if (!factory)
        return false;
    VideoWebViewHooks hooks;
    hooks.createWebViewWithRequest = [this] { webViewCreateWebViewWithRequest(); };
    hooks.loadFinished = [this](bool ok) { emit pageLoaded(ok); };
    hooks.contentsSizeChanged = [this](const QSize& size) { fitToPage(size); };
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
