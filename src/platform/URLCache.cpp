#include "platform/URLCache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    if (key.isEmpty())
        return std::nullopt;
    QString path;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = index_.constFind(key);
        if (found != index_.constEnd()) {
            entries_.splice(entries_.begin(), entries_, found.value());
            return entries_.front().data;
        }
        path = diskPathLocked(key);
    }
    // Read outside the lock: other threads' hits need not wait for the disk.
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();
    if (data.isEmpty())
        return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    storeInMemoryLocked(key, data);
    return data;
}

bool URLCache::storeCachedResponse(const QByteArray& data, const QUrl& url)
{
    const QString key = keyFor(url);
    if (key.isEmpty())
        return false;
    QString path, folder;
    qint64 diskCapacity = 0;
    bool kept = false, prune = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        kept = storeInMemoryLocked(key, data);
        path = diskPathLocked(key);
        folder = diskFolder_;
        diskCapacity = diskCapacity_;
        prune = !path.isEmpty() && ++storesSincePrune_ >= 200;
        if (prune)
            storesSincePrune_ = 0;
    }
    if (kept && !path.isEmpty() && !data.isEmpty()) {
        // Whole or not at all: a half-written picture would be shown as broken in every later run.
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size())
            file.commit();
    }
    if (prune)
        pruneDisk(folder, diskCapacity);
    return kept;
}

bool URLCache::storeInMemoryLocked(const QString& key, const QByteArray& data)
{
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

void URLCache::setDiskFolder(const QString& folder, qint64 capacity)
{
    if (!folder.isEmpty())
        QDir().mkpath(folder);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        diskFolder_ = folder;
        diskCapacity_ = qMax<qint64>(0, capacity);
    }
    if (!folder.isEmpty())
        pruneDisk(folder, capacity);
}

QString URLCache::diskPathLocked(const QString& key) const
{
    if (diskFolder_.isEmpty())
        return QString();
    const QByteArray name = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDir(diskFolder_).filePath(QString::fromLatin1(name));
}

void URLCache::pruneDisk(const QString& folder, qint64 capacity)
{
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files, QDir::Time);  // newest first
    qint64 total = 0;
    for (const QFileInfo& file : files) {
        total += file.size();
        if (total > capacity)
            QFile::remove(file.filePath());
    }
}

void URLCache::removeCachedResponseForRequest(const QUrl& url)
{
    const QString key = keyFor(url);
    std::lock_guard<std::mutex> lock(mutex_);
    removeLocked(key);
    const QString path = key.isEmpty() ? QString() : diskPathLocked(key);
    if (!path.isEmpty())
        QFile::remove(path);
}

void URLCache::removeAllCachedResponses()
{
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    index_.clear();
    usage_ = 0;
    if (!diskFolder_.isEmpty())
        for (const QFileInfo& file : QDir(diskFolder_).entryInfoList(QDir::Files))
            QFile::remove(file.filePath());
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
