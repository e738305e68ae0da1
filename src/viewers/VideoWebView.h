#pragma once
// What the video window needs of a web view, and the factory the web-engine module exports. The module (and with
// it the web engine) is loaded on the first video only, so a program that never plays one never maps it.
#include <QSize>
#include <QString>
#include <QUrl>
#include <QtPlugin>

#include <functional>

class QWidget;

class VideoWebView {
public:
    virtual ~VideoWebView() = default;
    virtual QWidget* widget() = 0;
    virtual void load(const QUrl& url) = 0;
    // Leaves the page shown (its sound stops with it).
    virtual void clear() = 0;
    virtual QUrl url() const = 0;
    // The title of the loaded page.
    virtual QString title() const = 0;
};

struct VideoWebViewHooks {
    // The page asked for a new window; it will load in the same view.
    std::function<void()> createWebViewWithRequest;
    // A load ended (true when the page loaded).
    std::function<void(bool ok)> loadFinished;
    // The page's content took a new size (in the view's pixels).
    std::function<void(const QSize& size)> contentsSizeChanged;
};

class VideoWebViewFactory {
public:
    virtual ~VideoWebViewFactory() = default;
    // A web view inside parent that loads only http and https pages.
    virtual VideoWebView* createWebView(QWidget* parent, const VideoWebViewHooks& hooks) = 0;
};

#define VideoWebViewFactory_iid "local.plumet.VideoWebViewFactory/1"
Q_DECLARE_INTERFACE(VideoWebViewFactory, VideoWebViewFactory_iid)
