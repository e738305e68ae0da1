#pragma once
// Which new items a poll announces as desktop notifications, and what a click on one of them shows.
//
// A poll announces at most kOneByOne items of a kind one by one, newest first, and the rest of that kind in one
// summary ("还有 12 条新微博"). An item is announced once, whatever lists it is in (a status that is new on the
// home timeline and mentions the user) and across restarts: the announced items are remembered in the settings,
// the newest kRemembered of them ("AnnouncedItems"). A start announces only items newer than the newest each list
// held at the last poll of the run before ("AnnouncedUpTo"), never old unread items again. Bodies show emotions by
// their names and the service's old emoji as standard ones.
#include "cells/CellTypes.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <vector>

class HotTextResources;
class PXListViewController;

// What the announcements ask of their window. Main thread.
class AnnouncerHost {
public:
    virtual ~AnnouncerHost() = default;
    virtual bool isShuttingDown() const = 0;
    // Where an announcement's text finds the emotions.
    virtual const HotTextResources& itemTextResources() const = 0;
    // The window forward, minimised or not, showing the list of left tab `leftTab` (状态, 评论, 提及, 私信); that
    // list.
    virtual PXListViewController* bringForward(int leftTab) = 0;
};

namespace platform {
class UserDefaults;
}

class Announcer : public QObject {
    Q_OBJECT
public:
    // The lists that announce, in the order a poll announces them.
    enum class Kind { Status, Comment, Mention, Message };
    struct Announcement {
        QString title;
        QString body;
        QVariant clickContext; // {"kind", "id"} of an item; {"kind"} of a summary
    };

    static constexpr std::size_t kOneByOne = 3;
    static constexpr std::size_t kRemembered = 500;
    static const QString kAnnouncedItems; // "AnnouncedItems"
    static const QString kAnnouncedUpTo;  // "AnnouncedUpTo"

    // A child of `parent`, reporting to `host`.
    Announcer(AnnouncerHost& host, platform::UserDefaults& defaults, QObject* parent);

    // Main thread. What to post for the top `count` cells of a list of this kind, with "UseGrowl" and the kind's
    // switch on; the chosen items count as announced from now on.
    std::vector<Announcement> choose(Kind kind, const CellArray& cells, std::size_t count);
    // Main thread, after a poll has chosen: the newest item of the list is what this run has seen of the kind.
    void noteSeen(Kind kind, const CellArray& cells);

    // A click on a notification: the window comes forward on the kind's tab with the item in view and selected.
    void show(const QVariant& clickContext);

private:
    static QString keyOf(Kind kind, std::uint64_t id);
    void remember(const QString& key);
    void save();

    AnnouncerHost& host_;
    platform::UserDefaults& defaults_;
    std::set<QString> announced_;
    std::deque<QString> announcedOrder_;
    // The newest id each kind held at the last poll (of this run, or of the run before until the first poll).
    std::map<int, std::uint64_t> seenUpTo_;
};
