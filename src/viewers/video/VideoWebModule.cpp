// The web-engine half of the video window, built as a module of its own: loading it maps the web engine, so the
// program does so on its first video and never at start.
#include "viewers/VideoWebView.h"

#include <QCoreApplication>
#include <QObject>
#include <QOpenGLContext>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

// QtGui's global share context, which the engine draws through (it declares these itself the same way).
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
QT_END_NAMESPACE

namespace {

// The engine expects a context shared with the application's, normally asked for before the application exists
// (Qt::AA_ShareOpenGLContexts). Asking for it at start costs every start a GL context (on a software renderer
// most of a second and tens of megabytes), so it is made here, on the first video. Where no GL context can be
// made the engine draws in software.
void ensureShareContext()
{
    if (qt_gl_global_share_context())
        return;
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    auto* context = new QOpenGLContext(QCoreApplication::instance());
    context->create();
    qt_gl_set_global_share_context(context);
}

bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

// A page that goes only to http and https addresses (and the empty page the window clears to).
class VideoPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        return !isMainFrame || isWebAddress(url) || url.toString() == QLatin1String("about:blank");
    }
};

class WebView : public QWebEngineView, public VideoWebView {
public:
    WebView(QWidget* parent, const VideoWebViewHooks& hooks)
        : QWebEngineView(parent)
        , hooks_(hooks)
    {
        // Nothing of a video page is kept on disk: no cookies, no cache between runs.
        profile_ = new QWebEngineProfile(this);
        page_ = new VideoPage(profile_, this);
        setPage(page_);
        connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
            if (hooks_.loadFinished)
                hooks_.loadFinished(ok);
        });
        connect(page_, &QWebEnginePage::contentsSizeChanged, this, [this](const QSizeF& size) {
            if (hooks_.contentsSizeChanged)
                hooks_.contentsSizeChanged(size.toSize());
        });
    }
    ~WebView() override
    {
        // The page goes before its profile.
        setPage(nullptr);
        delete page_;
    }

    QWidget* widget() override { return this; }
    void load(const QUrl& url) override { QWebEngineView::load(url); }
    void clear() override
    {
        if (!QWebEngineView::url().isEmpty())
            QWebEngineView::load(QUrl(QStringLiteral("about:blank")));
    }
    QUrl url() const override { return QWebEngineView::url(); }
    QString title() const override { return QWebEngineView::title(); }

protected:
    QWebEngineView* createWindow(QWebEnginePage::WebWindowType) override
    {
        // A page that opens a window (a player's full-size link) stays in this view.
        if (hooks_.createWebViewWithRequest)
            hooks_.createWebViewWithRequest();
        return this;
    }

private:
    VideoWebViewHooks hooks_;
    QWebEngineProfile* profile_ = nullptr;
    VideoPage* page_ = nullptr;
};

} // namespace

class VideoWebModule : public QObject, public VideoWebViewFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID VideoWebViewFactory_iid)
    Q_INTERFACES(VideoWebViewFactory)
public:
    VideoWebView* createWebView(QWidget* parent, const VideoWebViewHooks& hooks) override
    {
        ensureShareContext();
        return new WebView(parent, hooks);
    }
};

#include "VideoWebModule.moc"
