#include "cells/TimelineCellBase.h"

#include "cells/WBUtility.h"
#include "platform/Dispatch.h"
#include "platform/URLCache.h"
#include "platform/URLConnection.h"

#include <QBuffer>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QTextDocument>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <typeinfo>
#include <vector>

namespace {

// A list that raised its countdown for a download and waits for its end.
struct Waiter {
    CellListController* controller;
    std::weak_ptr<void> lifetime;
};

// The pending-image table (`cachedImageURLRequests`): per address, a download in flight, or the bytes of a
// picture the URL cache did not keep, or the placeholder of a failed download. Downloads answer on the main
// thread, but cells may be asked from elsewhere, so tableMutex guards the table.
//
// A failed picture is not broken for good: shown again after its back-off (doubling from the retry delay up to
// kLongestRetry), it is asked for once more while the placeholder stays up, and the cells that showed the
// placeholder are measured again when the picture comes.
using Clock = std::chrono::steady_clock;
std::atomic<std::int64_t> firstRetryMs{5000};
constexpr std::chrono::seconds kLongestRetry{300};

struct PendingImage {
    bool loading = true;
    QByteArray bytes;
    std::vector<Waiter> waiters;
    int failures = 0;
    bool retrying = false;
    Clock::time_point retryAt;
    std::vector<std::weak_ptr<TimelineCellBase>> retryCells;

    void noteFailure()
    {
        loading = false;
        retrying = false;
        retryCells.clear();
        ++failures;
        const int doublings = std::min(failures - 1, 6);
        const std::chrono::milliseconds wait(firstRetryMs.load() << doublings);
        retryAt = Clock::now() + std::min<Clock::duration>(wait, kLongestRetry);
    }
};

std::mutex tableMutex;

QHash<QString, PendingImage>& cachedImageURLRequests()
{
    static QHash<QString, PendingImage> table;
    return table;
}

QString keyForURL(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
}

void onMainQueue(std::function<void()> fn)
{
    if (platform::isMainThread())
        fn();
    else
        platform::dispatchMainAsync(std::move(fn));
}

void wakeWaiters(const std::vector<Waiter>& waiters)
{
    for (const Waiter& waiter : waiters) {
        if (!waiter.lifetime.expired())
            waiter.controller->defferedReloadData();
    }
}

bool hasWaiter(const std::vector<Waiter>& waiters, const CellListController* controller)
{
    for (const Waiter& waiter : waiters) {
        if (waiter.controller == controller && !waiter.lifetime.expired())
            return true;
    }
    return false;
}

void startPictureDownload(const QUrl& url, const QString& key)
{
    platform::URLConnection::asyncRequest(
        url,
        [url, key](const QByteArray& data) {
            std::vector<Waiter> waiters;
            std::vector<std::weak_ptr<TimelineCellBase>> remeasure;
            {
                std::lock_guard<std::mutex> lock(tableMutex);
                platform::URLCache::shared().storeCachedResponse(data, url);
                auto it = cachedImageURLRequests().find(key);
                if (it != cachedImageURLRequests().end()) {
                    waiters = std::move(it->waiters);
                    remeasure = std::move(it->retryCells);
                    cachedImageURLRequests().erase(it);
                }
                // A picture too big for the cache is still shown, from the table.
                if (!platform::URLCache::shared().cachedResponseForRequest(url)) {
                    PendingImage kept;
                    kept.loading = false;
                    kept.bytes = data;
                    cachedImageURLRequests().insert(key, kept);
                }
            }
            onMainQueue([waiters, remeasure] {
                // Cells laid out around the placeholder take the picture's own size now.
                for (const auto& weak : remeasure)
                    if (const auto cell = weak.lock())
                        cell->setRecalculateTextViewHeight(true);
                wakeWaiters(waiters);
            });
        },
        [key](const QString&) {
            std::vector<Waiter> waiters;
            {
                std::lock_guard<std::mutex> lock(tableMutex);
                PendingImage& entry = cachedImageURLRequests()[key];
                waiters = std::move(entry.waiters);
                entry.waiters.clear();
                entry.noteFailure();
                entry.bytes = cellResourceData(QStringLiteral("broken.png"));
            }
            onMainQueue([waiters] { wakeWaiters(waiters); });
        });
}

// Decoding a thumbnail on every rebuild of a text would dominate the rebuild, so the last pictures decoded
// are kept by their bytes. decodedMutex guards the table.
std::mutex decodedMutex;

QImage decodePicture(const QByteArray& data)
{
    constexpr int kKept = 256;
    static QHash<QByteArray, QImage> decoded;
    {
        std::lock_guard<std::mutex> lock(decodedMutex);
        auto it = decoded.constFind(data);
        if (it != decoded.constEnd())
            return it.value();
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    QImage image = reader.read();
    std::lock_guard<std::mutex> lock(decodedMutex);
    if (decoded.size() >= kKept)
        decoded.clear();
    decoded.insert(data, image);
    return image;
}

} // namespace

void setPictureRetryDelay(std::chrono::milliseconds first)
{
    firstRetryMs = first.count();
}

PendingImageState pendingImageStateForURL(const QString& urlString)
{
    std::lock_guard<std::mutex> lock(tableMutex);
    auto it = cachedImageURLRequests().constFind(keyForURL(QUrl(urlString)));
    if (it == cachedImageURLRequests().constEnd())
        return PendingImageState::Absent;
    return it->loading ? PendingImageState::Loading : PendingImageState::Bytes;
}

TimelineCellBase::TimelineCellBase() = default;
TimelineCellBase::~TimelineCellBase() = default;

CellListController* TimelineCellBase::listViewController() const
{
    return listLifetime_.expired() ? nullptr : listViewController_;
}

void TimelineCellBase::setListViewController(CellListController* controller)
{
    listViewController_ = controller;
    listLifetime_ = controller ? controller->lifetime() : std::weak_ptr<void>();
}

AttributedString TimelineCellBase::stringForTextView(bool& determinate)
{
    determinate = true;
    return {};
}

bool TimelineCellBase::calculateTextViewHeight()
{
    if (!recalculateTextViewHeight_)
        return true;
    bool determinate = true;
    const AttributedString text = stringForTextView(determinate);
    if (!determinate)
        return false;
    const CellListController* list = listViewController();
    const double width = list ? list->cellWidth() : 0;
    recalculateTextViewHeight_ = false;
    const auto document = text.toLayoutDocument(width);
    textViewHeight_ = AttributedString::heightOfDocument(*document, width);
    textViewDidLayout(*document, width);
    return true;
}

void TimelineCellBase::calculateProvisionalTextViewHeight()
{
    if (!recalculateTextViewHeight_)
        return;
    bool determinate = true;
    const AttributedString text = stringForTextView(determinate);
    const CellListController* list = listViewController();
    const double width = list ? list->cellWidth() : 0;
    const auto document = text.toLayoutDocument(width);
    textViewHeight_ = AttributedString::heightOfDocument(*document, width);
    textViewDidLayout(*document, width);
}

void TimelineCellBase::textViewDidLayout(const QTextDocument&, double)
{
}

bool TimelineCellBase::isEqual(const TimelineCellBase& other) const
{
    return typeid(*this) == typeid(other) && entityId() == other.entityId();
}

AttributedString TimelineCellBase::parseText(const QString& text, int type, QStringList* linkedPaths)
{
    return AttributedString::fromRichText(
        ::parseText(text, type, CellContext::current().hotTextResources(), linkedPaths));
}

AttributedString TimelineCellBase::parseImage(const QString& urlString, int type, bool& determinate)
{
    determinate = true;
    if (urlString.isEmpty())
        return {};
    const QUrl url(urlString);
    if (std::optional<QByteArray> cached = platform::URLCache::shared().cachedResponseForRequest(url))
        return makeAttachmentWithData(*cached, type);

    const QString key = keyForURL(url);
    CellListController* list = listViewController();
    QByteArray bytes;
    bool start = false, raise = false, haveBytes = false;
    {
        std::lock_guard<std::mutex> lock(tableMutex);
        auto it = cachedImageURLRequests().find(key);
        if (it == cachedImageURLRequests().end()) {
            PendingImage entry;
            if (list)
                entry.waiters.push_back({list, list->lifetime()});
            cachedImageURLRequests().insert(key, entry);
            start = true;
            raise = list != nullptr;
        } else if (it->loading) {
            // Another list waiting for the same picture is reloaded too when it arrives; a list is counted once.
            if (list && !hasWaiter(it->waiters, list)) {
                it->waiters.push_back({list, list->lifetime()});
                raise = true;
            }
        } else {
            bytes = it->bytes;
            haveBytes = true;
            // The placeholder of a failed picture whose back-off is over: asked for again while it stays up, so
            // the list never waits on the retry.
            if (it->failures > 0 && !it->retrying && Clock::now() >= it->retryAt) {
                it->retrying = true;
                if (list) {
                    it->waiters.push_back({list, list->lifetime()});
                    raise = true;
                }
                start = true;
            }
            if (it->retrying) {
                const std::weak_ptr<TimelineCellBase> self = weakSelf();
                const bool known = std::any_of(it->retryCells.begin(), it->retryCells.end(), [&](const auto& other) {
                    return !other.owner_before(self) && !self.owner_before(other);
                });
                if (!known)
                    it->retryCells.push_back(self);
            }
        }
    }
    if (raise)
        list->beginImageLoad();
    if (start)
        startPictureDownload(url, key);
    if (!haveBytes) {
        determinate = false;
        return {};
    }
    return makeAttachmentWithData(bytes, type);
}

AttributedString TimelineCellBase::makeAttachmentWithImage(const QImage& image, int type)
{
    if (image.isNull())
        return {};
    return AttributedString::fromAttachment(MyTextAttachmentCell(type, image));
}

AttributedString TimelineCellBase::makeAttachmentWithData(const QByteArray& data, int type)
{
    QImage image = decodePicture(data);
    if (image.isNull())
        return {};
    // One point per pixel, whatever resolution the file declares.
    image.setDevicePixelRatio(1.0);
    const QSize size = WBUtility::repSize(image);
    if (type == AttachmentVideo || type == AttachmentRetweetVideo) {
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setOpacity(0.7);
        painter.drawImage(QRectF(size.width() / 2.0 - 16, size.height() / 2.0 - 16, 32, 32),
                          cellResourceImage(QStringLiteral("play")));
    }
    return AttributedString::fromAttachment(MyTextAttachmentCell(type, image, data));
}

QImage TimelineCellBase::profileImage()
{
    return profileImageWithURLString(profileImageURLString());
}

QImage TimelineCellBase::profileImageWithURLString(const QString& urlString)
{
    if (urlString.isEmpty())
        return {};
    const QUrl url(urlString);
    if (std::optional<QByteArray> cached = platform::URLCache::shared().cachedResponseForRequest(url)) {
        QImage image = decodePicture(*cached);
        image.setDevicePixelRatio(1.0);
        return image;
    }
    const QString key = keyForURL(url);
    {
        std::lock_guard<std::mutex> lock(tableMutex);
        auto it = cachedImageURLRequests().find(key);
        if (it == cachedImageURLRequests().end()) {
            cachedImageURLRequests().insert(key, PendingImage{});
        } else if (it->failures > 0 && !it->loading && Clock::now() >= it->retryAt) {
            // A failed avatar is asked for again once its back-off is over.
            it->loading = true;
        } else {
            // Loading, failed not long ago, or too big for the cache: not asked for again now.
            return {};
        }
    }
    std::weak_ptr<TimelineCellBase> self = weakSelf();
    platform::URLConnection::asyncRequest(
        url,
        [url, key, self](const QByteArray& data) {
            platform::URLCache::shared().storeCachedResponse(data, url);
            {
                std::lock_guard<std::mutex> lock(tableMutex);
                PendingImage& entry = cachedImageURLRequests()[key];
                entry.loading = false;
                entry.failures = 0;
            }
            onMainQueue([self] {
                if (const CellPtr cell = self.lock()) {
                    if (CellListController* list = cell->listViewController())
                        list->reloadIfCellVisible(*cell);
                }
            });
        },
        [key](const QString&) {
            std::lock_guard<std::mutex> lock(tableMutex);
            cachedImageURLRequests()[key].noteFailure();
        });
    return {};
}

std::size_t unreadAmongTop(const CellArray& cells, std::size_t count)
{
    const std::size_t n = std::min(count, cells.size());
    return std::size_t(std::count_if(cells.begin(), cells.begin() + std::ptrdiff_t(n),
                                     [](const CellPtr& cell) { return cell && !cell->isWrittenBySelf(); }));
}
