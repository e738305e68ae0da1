#pragma once

#include "cells/CellTypes.h"
#include "platform/BusyText.h"
#include "service/Reply.h"
#include "timeline/WBTextView.h"

#include <QPoint>
#include <QString>

#include <cstdint>

class PXListViewController;

// What a list controller and its row views ask of the main window. The main window implements it; tests
// provide a stand-in. displayBusy, selfUserId and chatListViewController may be called from any thread (a
// background fetch calls them); everything else is called on the main thread.
class TimelineHost : public WBTextViewDelegate {
public:
    ~TimelineHost() override = default;

    // Puts an operation's text on the busy line until the returned BusyText (every copy of it) goes.
    virtual BusyText displayBusy(const QString& text) = 0;
    // The signed-in user's id (0 when none).
    virtual std::uint64_t selfUserId() const = 0;
    // The list of the messages of the open conversation: the list controller of every message cell.
    virtual PXListViewController* chatListViewController() const = 0;

    // The outcome of a list's load: a failure goes on the window's failure line, a success takes it away.
    virtual void showTransferOutcome(const weibo::TransferOutcome& outcome) { (void)outcome; }
    // Redraws the tab and dock badges from the lists' unread counts.
    virtual void updateLeftTabs() = 0;
    // Loads older items into the selected list (the end of the list was reached).
    virtual void moreWeibo() = 0;

    // The drawer beside the lists.
    virtual void checkDrawer() = 0;
    virtual void closeDrawer() = 0;
    virtual bool isDrawerOpenOrOpening() const = 0;
    // True until the window's start-up has ended and its first list is shown: rows laid out before then have not
    // been seen by anyone.
    virtual bool isStarting() const { return false; }
    // The item whose drawer is open, and the id the drawer is about.
    virtual CellPtr activeDataCell() const = 0;
    virtual void setActiveDataCell(const CellPtr& cell) = 0;
    virtual std::uint64_t activeEntityId() const = 0;
    // Opens (or, with toggle, closes) the conversation of a conversation item.
    virtual void displayMessageFromDataCell(const CellPtr& cell, bool toggle, bool init, int mode) = 0;
    // Shows the comments drawer of an item for the status `activeId`.
    virtual void displayCommentsFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle,
                                             bool fetchData) = 0;

    // The avatar of a row was clicked; `name` is the user it shows ("" for the signed-in user).
    virtual void profileButtonClicked(const QString& name) = 0;
    // The avatar of a row was right-clicked at `globalPos` (screen coordinates); `cell` is the row's item.
    virtual void profileButtonMenuRequested(const QString& name, const CellPtr& cell, const QPoint& globalPos)
    {
        (void)name;
        (void)cell;
        (void)globalPos;
    }
};
