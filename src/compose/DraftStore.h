#pragma once
// Unsent text kept on disk: one small JSON file per draft in the drafts folder under the application-data
// location, owner-only, each written whole (write to a temporary file, then rename), so a crash leaves either
// the old draft or the new one.
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

struct Draft {
    QString id;
    QString kind;      // "status" or "message"
    QString text;      // as sent: emotions as their codes
    QString picture;   // the picture's file, or empty
    QString recipient; // the send window's recipient
    QDateTime modified;

    bool isEmpty() const { return text.trimmed().isEmpty() && picture.isEmpty(); }
};

class DraftStore {
public:
    // The drafts of one kind in `folder` (the standard folder when empty).
    explicit DraftStore(const QString& kind, const QString& folder = QString());
    static QString defaultFolder();
    QString folder() const { return folder_; }
    QString kind() const { return kind_; }

    static QString newId();
    // Writes the draft (its kind and time are set here); false when the folder or file cannot be written.
    bool save(Draft draft);
    // Removes the draft and the picture kept for it.
    void discard(const QString& id);
    // The drafts of this kind, newest first, at most `limit`.
    QList<Draft> drafts(int limit = 10) const;
    // Where a picture that must outlive its temporary file is kept for draft `id`.
    QString keptPicturePath(const QString& id) const;
    // The drafts beyond the newest `keep` of this kind are removed.
    void prune(int keep);

    static constexpr int kKept = 30;

private:
    bool ensureFolder() const;

    QString kind_;
    QString folder_;
};

// The draft of one editor window: notes changes and writes the window's content at most one second after
// the first unsaved change; flushes at once when asked (reset, close, quit).
class DraftKeeper : public QObject {
    Q_OBJECT
public:
    static constexpr int kDelayMs = 1000;
    using Snapshot = std::function<Draft()>;

    DraftKeeper(DraftStore store, Snapshot snapshot, QObject* parent = nullptr);
    ~DraftKeeper() override;

    DraftStore& store() { return store_; }
    QString currentId() const { return id_; }
    bool isDirty() const { return dirty_; }

    void noteChange();
    // Writes the content now when it changed since the last write (an emptied editor removes its draft).
    void flush();
    // Flushes, then starts a new draft (the old one stays on disk).
    void startNew();
    // The editor now shows this draft: later changes go to it.
    void adopt(const QString& id);
    // The content was sent: its draft goes, and a new one starts.
    void discardCurrent();
    // Stops writing (the window is going; call flush first).
    void detach();

private:
    DraftStore store_;
    Snapshot snapshot_;
    QString id_;
    bool dirty_ = false;
    QTimer timer_;
};
