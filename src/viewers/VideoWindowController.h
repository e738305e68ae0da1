#pragma once
// The video window: one window, reused for every video, showing the video's player page in a web view. The web
// engine lives in a module of its own, loaded on the first video.
#include <QString>
#include <QUrl>
#include <QWidget>

class VideoWebView;
class VideoWebViewFactory;
class QVBoxLayout;

class VideoWindowController : public QWidget {
    Q_OBJECT
public:
    explicit VideoWindowController(const QString& windowNibName = QStringLiteral("Video"), QWidget* parent = nullptr);
    ~VideoWindowController() override;

    // Where the web-engine module is looked for: beside the program unless set (tests point at the build's).
    static void setModuleFileName(const QString& fileName);
    static QString moduleFileName();

    // Shows the page at the address under the title; the same address again while the window is open closes
    // it. Only http and https addresses with a host are loaded; others are refused (false).
    bool setVideo(const QString& urlString, const QString& title = QString());
    void closeVideo();
    void clear();

    QString urlString() const { return urlString_; }
    // The web view, or none before the first video (or when the module could not be loaded).
    VideoWebView* webview() const { return webview_; }
    // Why the module did not load, for messages.
    QString moduleError() const { return moduleError_; }
    // The page asked for a new window: it loads here, in a zoomed window.
    void webViewCreateWebViewWithRequest();

    static bool isAcceptableAddress(const QUrl& url);

signals:
    void pageLoaded(bool ok);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool ensureWebView();

    QString urlString_;
    VideoWebView* webview_ = nullptr;
    QString moduleError_;
    QVBoxLayout* layout_ = nullptr;
};
