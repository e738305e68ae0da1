#pragma once
// The video window: one window, reused for every video, showing the video's player page in a web view. The web
// engine lives in a module of its own, loaded on the first video.
#include <QString>
#include <QUrl>
#include <QWidget>

class VideoWebView;
class VideoWebViewFactory;
class QLabel;
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
    // The page's content needs `size`: the window grows to show it without scroll bars, within the screen.
    void fitToPage(const QSize& size);
    // The video could not play here and went to the browser (`opened`), or nowhere: the window says so under
    // the video's title, with the address to copy. The same address again closes it, as a video does.
    void showOpenedElsewhere(const QString& urlString, const QString& title, bool opened);
    // The text of that notice (empty while a video shows).
    QString noticeText() const;

    static bool isAcceptableAddress(const QUrl& url);

signals:
    void pageLoaded(bool ok);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool ensureWebView();
    void showCentred();

    QString urlString_;
    VideoWebView* webview_ = nullptr;
    QString moduleError_;
    // The engine refuses to run as root with its sandbox on: the reason the video goes to the browser.
    bool refusedAsRoot_ = false;
    QVBoxLayout* layout_ = nullptr;
    QLabel* notice_ = nullptr;
};
