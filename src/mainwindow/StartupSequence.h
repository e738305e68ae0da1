#pragma once
// The start-up of the main window: the emoji pictures made available in the resource folder, then, away from the
// window, the emotion catalogue, the account check with the avatar, the home catch-up; then the first display, the
// first poll and the poll's timer. While steps still run (initCount), the window ignores its commands. At the end
// of the run, the newest home status is remembered for the next start's catch-up. A home timeline kept on disk is
// shown before any of that, where the user left it; the catch-up then puts what is new on top of it (a seam where
// more is missing) instead of replacing it.
#include "mainwindow/EmotionModel.h"
#include "model/Replies.h"
#include "platform/BusyText.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace weibo {
class SinaWeibo;
}
class HotTextResources;
class KeptLists;
class PXListViewController;
class QImage;
class QNetworkAccessManager;
class TabModel;
class URLDownload;

// What the start-up asks of its window.
class StartupHost {
public:
    virtual ~StartupHost() = default;
    virtual TabModel& tabs() = 0;
    virtual boost::shared_ptr<weibo::SinaWeibo> weiboInstance() const = 0;
    virtual BusyText displayBusy(const QString& text) = 0;
    virtual void showTransferOutcome(const weibo::TransferOutcome& outcome) = 0;
    virtual void updateLeftTabs() = 0;
    virtual bool isShuttingDown() const = 0;
    virtual void runInBackground(std::function<void()> work) = 0;
    // The signed-in user as the account check found it. Background thread.
    virtual void setSelfUser(const boost::shared_ptr<weibo::WBUser>& user) = 0;
    virtual void setSelfImage(const QImage& image) = 0;
    // Where the item text finds its emotion pictures.
    virtual HotTextResources& hotTextResources() = 0;
    virtual void startupCountChanged(qint64 count) = 0;
    // The home timeline is on screen for the first time.
    virtual void firstListShown() = 0;
    // The first poll, the lists chooser and the poll's timer.
    virtual void startPolling() = 0;
    // The account's lists kept on disk, when there is a store.
    virtual KeptLists* keptLists() { return nullptr; }
};

class StartupSequence : public QObject {
    Q_OBJECT
public:
    // The catch-up asks for at most this many new statuses; fewer means the list is topped up with older ones.
    static constexpr std::size_t kCatchUpFull = 100;
    // How long a kept home timeline waits for its pictures before its rows show without them.
    static constexpr int kKeptRowsWaitMs = 250;
    // Settings and files of the start-up.
    static const QString kLatestStatusId;  // "LatestStatusId"
    static const QString kLastSelfImage;   // "LastSelfImage"
    static const QString kSelfImage;       // "selfimage", in the resource folder
    // The path of the emoji pictures on the static image host.
    static const QString kEmojiPath;       // "/t3/style/images/common/face/emimage/"
    // Setting a non-empty value prints kFirstListShownMarker on standard output once the home timeline is shown
    // with rows (kept ones or the service's), or shown empty at the end of the start-up.
    static constexpr const char* kStartupMarkerVariable = "PLUMET_STARTUP_MARKER";
    static constexpr const char* kFirstListShownMarker = "PLUMET_FIRST_LIST_SHOWN";

    StartupSequence(StartupHost& host, QObject* parent);

    // Runs once, when the window is first shown.
    void windowDidLoad();
    qint64 initCount() const { return initCount_.load(); }
    // One step has reported; at 0 the home timeline is shown.
    void initComplete();
    void firstListViewComplete();
    void taskAfterShowFirstListView();
    void downloadDidCreateDestination(URLDownload* download, const QString& path);
    void downloadDidFailWithError(URLDownload* download, const QString& error);
    // Remembers the newest home status for the next start.
    void cleanup();

    static QString resourceFolder();
    static QString emojiFolder();
    static QString emotionsFolder();
    QString pathForEmotionName(const QString& phrase) const;
    const QList<QList<EmotionModel>>& categoryEmotions() const { return categoryEmotions_; }
    const QHash<QString, EmotionModel>& keyedEmotions() const { return keyedEmotions_; }

private:
    void setInitCount(qint64 count);
    void makeEmojiAvailable();
    void loadEmotions(const weibo::Records<weibo::WBEmotion>& records);
    void startDownload(const QString& address, const QString& destination);
    void loadSelfImage(const boost::shared_ptr<weibo::WBUser>& user);
    // `kept`: the home timeline came from the store and stays, with what is new on top.
    weibo::TransferOutcome catchUpHomeTimeline(PXListViewController* home, std::uint64_t latestStatusId, bool kept);
    // The home timeline kept on disk, on screen at once.
    void showKeptHome(PXListViewController* home);
    void printMarker(PXListViewController* home);
    // Runs fn on the main thread after the current event, unless the window is going. Any thread.
    void onMain(std::function<void()> fn);

    StartupHost& host_;
    QNetworkAccessManager* downloads_;
    std::atomic<qint64> initCount_{1};  // written on the main thread
    bool loaded_ = false;
    bool firstListShown_ = false;
    bool markerPrinted_ = false;
    bool homeWasKept_ = false;
    bool keptHomeShown_ = false;
    BusyText startupBusy_;
    QList<QList<EmotionModel>> categoryEmotions_;
    QHash<QString, EmotionModel> keyedEmotions_;
};
