#pragma once
// What a click in an item's text asks for: the control table (pictures, videos, the toolbar icons, reply,
// favourite, delete), links (addresses to the browser, @names to the user tab), favourite and delete. Requests
// run in the background while the item's controls are disabled; their outcome is applied on the main thread
// to every list that shows the item.
#include "cells/CellTypes.h"
#include "cells/MyTextAttachmentCell.h"
#include "cells/RichText.h"
#include "model/WeiboParser.h"
#include "service/Reply.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <functional>
#include <set>

namespace weibo {
class SinaWeibo;
}
class PXListViewController;
class QWidget;
class TabModel;
class WBTextView;

// What the item actions ask of their window.
class ItemActionsHost {
public:
    virtual ~ItemActionsHost() = default;
    virtual TabModel& tabs() = 0;
    virtual PXListViewController* selectedListViewController() = 0;
    virtual PXListViewController* commentListViewController() = 0;
    virtual CellPtr activeDataCell() const = 0;
    virtual void closeDrawer() = 0;
    virtual void displayCommentsFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle,
                                             bool fetchData) = 0;
    virtual void displayRepostFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle) = 0;
    virtual void replyOtherCommentFromCommentCell(const CellPtr& cell) = 0;
    virtual void replaceStatusUserTabViewItemWithUser(const QString& screenName) = 0;
    virtual boost::shared_ptr<weibo::SinaWeibo> weiboInstance() const = 0;
    // A request in the background, counted so that the window waits for it when it goes.
    virtual void runItemRequest(std::function<void()> work) = 0;
};

class ItemActions : public QObject {
    Q_OBJECT
public:
    // `window` is where confirmations and failures are said.
    ItemActions(QWidget* window, ItemActionsHost& host);

    void textViewClickedOnCell(WBTextView* textView, const MyTextAttachmentCell& cell, int index);
    bool textViewClickedOnLink(WBTextView* textView, const LinkValue& link, int index);

    void favorite(const CellPtr& cell);
    // Asks for confirmation, then deletes the status or comment.
    void deleteStatus(const CellPtr& cell);
    void deleteComment(const CellPtr& cell);
    // Removes the items from each list; the selected one is reloaded.
    void removeCells(const std::set<std::uint64_t>& ids, const QList<PXListViewController*>& controllers);

    // Items whose request is under way: their controls do nothing meanwhile.
    bool isBusy(std::uint64_t entityId) const { return busy_.contains(entityId); }

signals:
    // A favourite or delete request has been applied (ok: the service did it).
    void actionFinished(std::uint64_t entityId, bool ok);

private:
    // Every list of the tab model that holds status items, the given one included.
    QList<PXListViewController*> statusLists() const;
    // Asks `question`; on the second button runs `destroy` in the background with the item's controls idle, then
    // on the main thread either `removed` or the warning `failure` with the service's text and code.
    // `destroy` asks the service; `gone` reads its answer (only the record back means the item is gone).
    void confirmAndDelete(const CellPtr& cell, const QString& question, const QString& failure,
                          weibo::Reply<std::string> (*destroy)(weibo::SinaWeibo&, std::uint64_t),
                          weibo::TransferOutcome (*gone)(const weibo::Reply<std::string>&),
                          std::function<void(std::uint64_t)> removed);
    void favoriteDidEnd(const CellPtr& cell, bool wasFavorited,
                        const weibo::Reply<boost::shared_ptr<weibo::WBStatus>>& changed);

    QWidget* window_;
    ItemActionsHost& host_;
    QSet<std::uint64_t> busy_;
};
