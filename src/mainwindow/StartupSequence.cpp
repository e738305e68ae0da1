// The start-up of the main window: pictures made available in the resource folder, the emotion catalogue, the
// account check with the avatar cache, the home catch-up, and the first display; and the clean-up at the end.
#include "mainwindow/StartupSequence.h"

#include "cells/HotTextScanner.h"
#include "cells/TimelineCellBase.h"
#include "cells/WBUtility.h"
#include "mainwindow/TabModel.h"
#include "mainwindow/URLDownload.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "platform/URLConnection.h"
#include "platform/UserDefaults.h"
#include "timeline/KeptLists.h"
#include "timeline/ListPresenter.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>

#include <cstdio>

namespace {

// The private-use code points that have emoji pictures.
struct CodePointRange {
    char16_t first, last;
};
constexpr CodePointRange kEmojiRanges[] = {
    {0xE001, 0xE05A}, {0xE101, 0xE15A}, {0xE201, 0xE253}, {0xE301, 0xE34D}, {0xE401, 0xE44C}, {0xE501, 0xE537},
};

// A name from the service that becomes one path component: nothing that climbs out of its folder or names a
// hidden or special file.
bool isSafeFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QChar(0));
}

QString settingsString(const QString& key)
{
    return platform::UserDefaults::standard().stringForKey(key).trimmed();
}

} // namespace

const QString StartupSequence::kLatestStatusId = QStringLiteral("LatestStatusId");
const QString StartupSequence::kLastSelfImage = QStringLiteral("LastSelfImage");
const QString StartupSequence::kSelfImage = QStringLiteral("selfimage");
const QString StartupSequence::kEmojiPath = QStringLiteral("/t3/style/images/common/face/emimage/");

StartupSequence::StartupSequence(StartupHost& host, QObject* parent)
    : QObject(parent), host_(host), downloads_(new QNetworkAccessManager(this))
{
}

void StartupSequence::onMain(std::function<void()> fn)
{
    // Called by the start-up's own blocks, which its window outlives; dropped if the window goes meanwhile.
    platform::dispatchMainAsync([self = QPointer<StartupSequence>(this), fn = std::move(fn)] {
        if (self && !self->host_.isShuttingDown())
            fn();
    });
}


QString StartupSequence::resourceFolder()
{
    return WBUtility::resourceFolder();
}

QString StartupSequence::emojiFolder()
{
    return resourceFolder() + QStringLiteral("/emoji");
}

QString StartupSequence::emotionsFolder()
{
    return WBUtility::emotionsFolder();
}

QString StartupSequence::pathForEmotionName(const QString& phrase) const
{
    const auto it = keyedEmotions_.constFind(phrase);
    if (it == keyedEmotions_.cend() || !isSafeFileName(it->category) || !isSafeFileName(phrase))
        return QString();
    return emotionsFolder() + u'/' + it->category + u'/' + phrase;
}

void StartupSequence::setInitCount(qint64 count)
{
    initCount_.store(count);
    host_.startupCountChanged(count);
}

void StartupSequence::windowDidLoad()
{
    if (loaded_)
        return;
    loaded_ = true;

    makeEmojiAvailable();
    startupBusy_ = host_.displayBusy(QStringLiteral("正在载入微博..."));
    if (PXListViewController* home = host_.tabs().home(); home && host_.keptLists() && !home->dataOfCells()->empty())
        showKeptHome(home);

    bool ok = false;
    const std::uint64_t latestStatusId =
        platform::UserDefaults::standard().objectForKey(kLatestStatusId).toULongLong(&ok);
    auto weibo = host_.weiboInstance();
    // The tab model is the main thread's: the block gets the home timeline's controller, not the model.
    PXListViewController* home = host_.tabs().home();
    // The service calls of the start-up run here, away from the window: a slow or dead service leaves the window
    // drawn and responsive (its commands wait for initComplete as they would for a fast service).
    host_.runInBackground([this, weibo, home, latestStatusId = ok ? latestStatusId : 0, kept = homeWasKept_] {
        const auto emotions = weibo::recordsOf<weibo::WBEmotion>(weibo->emotions());
        platform::dispatchMainSync([this, &emotions] {
            if (!host_.isShuttingDown())
                loadEmotions(emotions.value);
        });

        const auto verified = weibo::recordOf<weibo::WBUser>(weibo->accountVerify());
        if (verified.ok()) {
            host_.setSelfUser(verified.value);
            loadSelfImage(verified.value);
        } else if (verified.outcome.failure != weibo::TransferFailure::Refused &&
                   verified.outcome.failure != weibo::TransferFailure::AuthRefused) {
            // The service could not be asked: the avatar of the last run stands in.
            const QImage cached(resourceFolder() + u'/' + kSelfImage);
            if (!cached.isNull())
                onMain([this, cached] { host_.setSelfImage(cached); });
        }

        const weibo::TransferOutcome caughtUp = catchUpHomeTimeline(home, latestStatusId, kept);
        weibo::TransferOutcome outcome;
        for (const weibo::TransferOutcome& step : {emotions.outcome, verified.outcome, caughtUp})
            weibo::noteOutcome(outcome, step);
        onMain([this, outcome] {
            host_.showTransferOutcome(outcome);
            initComplete();
        });
    });
}

void StartupSequence::makeEmojiAvailable()
{
    const QString host = settingsString(QStringLiteral("StaticImageHost"));
    const QString folder = emojiFolder();
    bool folderMade = false;
    for (const CodePointRange& range : kEmojiRanges) {
        for (char16_t c = range.first; c <= range.last; ++c) {
            const QString name = emojiResourceName(c);
            const QString path = folder + u'/' + name;
            if (QFileInfo::exists(path))
                continue;
            if (!folderMade)
                folderMade = QDir().mkpath(folder);
            startDownload(host + kEmojiPath + name, path);
        }
    }
}

void StartupSequence::startDownload(const QString& address, const QString& destination)
{
    setInitCount(initCount() + 1);
    URLDownload::start(
        downloads_, QUrl(address), destination,
        [this](URLDownload* download, const QString& path) { downloadDidCreateDestination(download, path); },
        [this](URLDownload* download, const QString& error) { downloadDidFailWithError(download, error); });
}

void StartupSequence::downloadDidCreateDestination(URLDownload*, const QString&)
{
    initComplete();
}

void StartupSequence::downloadDidFailWithError(URLDownload*, const QString&)
{
    // The picture is simply missing; the start-up must still end.
    initComplete();
}

void StartupSequence::loadEmotions(const weibo::Records<weibo::WBEmotion>& records)
{
    if (records.empty())
        return;
    const QHash<QString, QString> localStore = WBUtility::localEmotions();
    QList<QList<EmotionModel>> groups;
    QHash<QString, EmotionModel> keyed;
    QString previousCategory;
    for (const auto& record : records) {
        const EmotionModel emotion = EmotionModel::emotionWithSharedWBEmotion(record);
        if (groups.isEmpty() || emotion.category != previousCategory)
            groups.append(QList<EmotionModel>());
        groups.last().append(emotion);
        previousCategory = emotion.category;

        if (keyed.contains(emotion.phrase))
            continue;
        keyed.insert(emotion.phrase, emotion);
        if (!isSafeFileName(emotion.phrase) || !isSafeFileName(emotion.category))
            continue;
        const QString folder = emotionsFolder() + u'/' + emotion.category;
        const QString path = folder + u'/' + emotion.phrase;
        if (QFileInfo::exists(path))
            continue;
        QDir().mkpath(folder);
        const QString local = localStore.value(emotion.phrase);
        if (!local.isEmpty() && QFile::copy(local, path))
            continue;
        startDownload(emotion.url, path);
    }
    categoryEmotions_ = groups;
    keyedEmotions_ = keyed;

    // The item text finds its emotion pictures here (no fetch runs while this happens: the start-up's block is
    // waiting for it and the window ignores commands until the start-up ends).
    HotTextResources& resources = host_.hotTextResources();
    for (auto it = keyedEmotions_.cbegin(); it != keyedEmotions_.cend(); ++it) {
        const QString path = pathForEmotionName(it.key());
        if (!path.isEmpty())
            resources.setEmotionFile(it.key(), path);
    }
}

void StartupSequence::loadSelfImage(const boost::shared_ptr<weibo::WBUser>& user)
{
    // Background thread.
    const QString address = QString::fromStdString(user->profile_image_url);
    const QString path = resourceFolder() + u'/' + kSelfImage;
    const bool sameAddress = address == platform::UserDefaults::standard().stringForKey(kLastSelfImage);
    if (sameAddress && QFileInfo::exists(path)) {
        const QImage image(path);
        if (!image.isNull()) {
            onMain([this, image] { host_.setSelfImage(image); });
            return;
        }
    }
    if (address.isEmpty())
        return;
    onMain([this, address, path] {
        QPointer<StartupSequence> self(this);
        platform::URLConnection::asyncRequest(
            QUrl(address),
            [self, address, path](const QByteArray& data) {
                if (!self || data.isEmpty())
                    return;
                QDir().mkpath(QFileInfo(path).absolutePath());
                QSaveFile file(path);
                if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit())
                    platform::UserDefaults::standard().setObject(address, kLastSelfImage);
                self->host_.setSelfImage(QImage::fromData(data));
            },
            [](const QString&) {});
    });
}

void StartupSequence::showKeptHome(PXListViewController* home)
{
    homeWasKept_ = true;
    KeptLists* kept = host_.keptLists();
    const store::Position stored = kept ? kept->storedPosition(home) : store::Position();
    // A reload waits for the pictures its rows show (from the cache, or failing at once offline): the place is
    // taken when it is complete.
    home->setCallbackTarget(this);
    home->setCallbackSelector([this, home, stored](const QVariant&) {
        keptHomeShown_ = true;
        KeptLists::scrollTo(home, stored);
        printMarker(home);
    });
    home->setCallbackObject(QVariant());
    home->reloadData();
    host_.updateLeftTabs();
    // A picture host that does not answer must not hold the rows back: after a moment they show without their
    // pictures, at the same place, and the complete reload that comes later leaves the view where the user is.
    QTimer::singleShot(kKeptRowsWaitMs, this, [this, home, stored] {
        if (keptHomeShown_ || firstListShown_ || host_.isShuttingDown())
            return;
        keptHomeShown_ = true;
        home->setCallbackSelector(nullptr);
        home->presenter().reloadProvisionally();
        KeptLists::scrollTo(home, stored);
        printMarker(home);
    });
}

void StartupSequence::printMarker(PXListViewController* home)
{
    if (markerPrinted_ || !qEnvironmentVariableIsSet(kStartupMarkerVariable))
        return;
    markerPrinted_ = true;
    // Drawn now, so that whoever waits for the marker sees the list on screen.
    if (home)
        home->listView()->viewport()->repaint();
    std::printf("%s\n", kFirstListShownMarker);
    std::fflush(stdout);
}

weibo::TransferOutcome StartupSequence::catchUpHomeTimeline(PXListViewController* home,
                                                              std::uint64_t latestStatusId, bool kept)
{
    // Background thread.
    if (!home)
        return weibo::TransferOutcome();
    if (const std::uint64_t shown = kept ? home->latestEntityId() : 0) {
        // The kept list stays: what is new goes on top (with a seam when more is missing than a catch-up brings),
        // unread on top of what was unread. The user may be reading it: the merge, the reload and the scroll back
        // to the same item are one step on the main thread.
        const std::uint64_t generation = home->loader().generation();
        const auto turn = home->loader().turn();
        weibo::SinaWeiboOptions newer;
        newer.min_id_ = shown;
        bool gap = false;
        const weibo::Reply<CellArray> fetched =
            home->fetchPagesWithOperation(home->invocation(), {}, newer, &gap);
        home->loader().applyOnMain(generation, [&] {
            if (fetched.value.empty())
                return;
            const store::Position anchor = KeptLists::positionOf(home);
            const std::uint64_t unread = home->unreadCount();
            home->store().merge(fetched.value, PXListViewController::kModeNewer, ListStore::Array::Items,
                                gap ? shown : 0);
            home->setUnreadCount(unread + unreadAmongTop(*home->dataOfCells(), fetched.value.size()));
            home->reloadData();
            KeptLists::scrollTo(home, anchor);
        });
        return fetched.outcome;
    }
    weibo::SinaWeiboOptions newer;
    newer.min_id_ = latestStatusId;
    const weibo::Reply<std::size_t> n = home->fetchDataWithOptions(newer, PXListViewController::kModeInitial, false);
    if (!n.ok())
        return n.outcome;
    if (n.value >= kCatchUpFull)
        return n.outcome;
    // Fewer than a full catch-up: the list is topped up with older statuses below the new ones.
    weibo::SinaWeiboOptions older;
    older.count_ = n.value > 0 ? 10 : 20;
    if (const std::uint64_t earliest = home->earliestEntityId())
        older.max_id_ = earliest;
    const weibo::TransferOutcome topped = home->fetchDataWithOptions(older, PXListViewController::kModeOlder, false).outcome;
    home->setUnreadCount(unreadAmongTop(*home->dataOfCells(), n.value));
    return topped;
}

void StartupSequence::initComplete()
{
    if (initCount() <= 0)
        return;
    setInitCount(initCount() - 1);
    if (initCount() != 0)
        return;
    PXListViewController* home = host_.tabs().home();
    if (!home)
        return;
    // A kept list the user may have read on during the start-up stays on the same item; one still at its top
    // shows the new rows just above the view, as a first display does.
    const store::Position anchor = homeWasKept_ ? KeptLists::positionOf(home) : store::Position();
    home->setCallbackTarget(this);
    home->setCallbackSelector([this, home, anchor](const QVariant&) {
        KeptLists::scrollTo(home, anchor);
        firstListViewComplete();
    });
    home->setCallbackObject(QVariant());
    home->reloadData();
}

void StartupSequence::firstListViewComplete()
{
    if (firstListShown_)
        return;
    firstListShown_ = true;
    startupBusy_.done();
    host_.updateLeftTabs();
    printMarker(host_.tabs().home());
    host_.firstListShown();
    QTimer::singleShot(1000, this, [this] { taskAfterShowFirstListView(); });
}

void StartupSequence::taskAfterShowFirstListView()
{
    if (!host_.isShuttingDown())
        host_.startPolling();
}

void StartupSequence::cleanup()
{
    PXListViewController* home = host_.tabs().home();
    const std::uint64_t latest = home ? home->latestEntityId() : 0;
    // An empty home timeline (the service was unreachable) keeps the position of the run before.
    if (latest != 0)
        platform::UserDefaults::standard().setObject(QVariant::fromValue<qulonglong>(latest), kLatestStatusId);
}
