#include "platform/URLCache.h"

namespace platform {

URLCache& URLCache::shared()
{
    // Never destroyed: download callbacks may still store while the program exits.
    static URLCache* cache = new URLCache(kDefaultMemoryCapacity);
    return *cache;
}

URLCache::URLCache(qint64 memoryCapacity)
    : capacity_(qMax<qint64>(0, memoryCapacity))
{
}

QString URLCache::keyFor(const QUrl& url)
{
    if (!url.isValid() || url.isEmpty())
        return QString();
    return url.adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
}

void URLCache::setMemoryCapacity(qint64 bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    capacity_ = qMax<qint64>(0, bytes);
    evictLocked(capacity_);
}

qint64 URLCache::memoryCapacity() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return capacity_;
}

qint64 URLCache::currentMemoryUsage() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return usage_;
}

qint64 URLCache::maximumEntrySize() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return capacity_ / 10;
}

int URLCache::count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(index_.size());
}

std::optional<QByteArray> URLCache::cachedResponseForRequest(const QUrl& url)
{
    const QString key = keyFor(url);
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = index_.constFind(key);
    if (key.isEmpty() || found == index_.constEnd())
        return std::nullopt;
    entries_.splice(entries_.begin(), entries_, found.value());
    return entries_.front().data;
}

bool URLCache::storeCachedResponse(const QByteArray& data, const QUrl& url)
{
    const QString key = keyFor(url);
    if (key.isEmpty())
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    removeLocked(key);
    const qint64 size = data.size();
    if (size > capacity_ / 10)
        return false;
    evictLocked(capacity_ - size);
    entries_.push_front(Entry{key, data});
    index_.insert(key, entries_.begin());
    usage_ += size;
    return true;
}

void URLCache::removeCachedResponseForRequest(const QUrl& url)
{
    const QString key = keyFor(url);
    std::lock_guard<std::mutex> lock(mutex_);
    removeLocked(key);
}

void URLCache::removeAllCachedResponses()
{
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    index_.clear();
    usage_ = 0;
}

void URLCache::evictLocked(qint64 capacity)
{
    while (usage_ > capacity && !entries_.empty()) {
        usage_ -= entries_.back().data.size();
        index_.remove(entries_.back().key);
        entries_.pop_back();
    }
}

void URLCache::removeLocked(const QString& key)
{
    auto found = index_.find(key);
    if (found == index_.end())
        return;
    usage_ -= found.value()->data.size();
    entries_.erase(found.value());
    index_.erase(found);
}

} // namespace platform
