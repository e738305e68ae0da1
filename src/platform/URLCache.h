#pragma once
// The shared memory cache of downloaded data (pictures): least recently used entries go first once the stored
// bytes would pass the capacity. With a disk folder, what is stored is also written there (one file per address)
// and read back on a miss, so that the pictures of lists kept from an earlier run show without the network. Any
// thread.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>

#include <list>
#include <mutex>
#include <optional>

namespace platform {

class URLCache {
public:
    static constexpr qint64 kDefaultMemoryCapacity = 2000000;
    static constexpr qint64 kDefaultDiskCapacity = 50000000;

    // The cache every download goes through; starts with kDefaultMemoryCapacity.
    static URLCache& shared();

    explicit URLCache(qint64 memoryCapacity = kDefaultMemoryCapacity);

    // Shrinking evicts the least recently used entries at once.
    void setMemoryCapacity(qint64 bytes);
    qint64 memoryCapacity() const;
    // Bytes of data held now (the data alone; keys are not counted).
    qint64 currentMemoryUsage() const;
    // The largest entry kept: a tenth of the capacity, so one big picture cannot flush every thumbnail.
    qint64 maximumEntrySize() const;
    int count() const;

    // Keeps stored data in `folder` too, at most `capacity` bytes (the least recently written files go first, now
    // and every so many stores). An empty folder keeps nothing on disk.
    void setDiskFolder(const QString& folder, qint64 capacity = kDefaultDiskCapacity);

    // The data stored for the address (fragment ignored), or none. A hit makes the entry the most recent.
    std::optional<QByteArray> cachedResponseForRequest(const QUrl& url);
    // Stores (or replaces) the data for the address; false when it was not kept (larger than
    // maximumEntrySize, or an invalid address).
    bool storeCachedResponse(const QByteArray& data, const QUrl& url);
    void removeCachedResponseForRequest(const QUrl& url);
    void removeAllCachedResponses();

private:
    struct Entry {
        QString key;
        QByteArray data;
    };
    static QString keyFor(const QUrl& url);
    void evictLocked(qint64 capacity);
    bool storeInMemoryLocked(const QString& key, const QByteArray& data);
    QString diskPathLocked(const QString& key) const;
    void pruneDisk(const QString& folder, qint64 capacity);
    void removeLocked(const QString& key);

    mutable std::mutex mutex_; // guards every member below
    qint64 capacity_;
    qint64 usage_ = 0;
    std::list<Entry> entries_; // most recently used first
    QHash<QString, std::list<Entry>::iterator> index_;
    QString diskFolder_;
    qint64 diskCapacity_ = 0;
    int storesSincePrune_ = 0;
};

} // namespace platform
