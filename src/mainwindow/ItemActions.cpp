#include "mainwindow/ItemActions.h"

#include "cells/AttachmentTypes.h"
#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellStatus.h"
#include "mainwindow/TabModel.h"
#include "cells/FailureText.h"
#include "model/Replies.h"
#include "platform/AlertResponder.h"
#include "platform/Browser.h"
#include "platform/Dispatch.h"
#include "timeline/PXListViewController.h"
#include "timeline/WBTextView.h"
#include "viewers/Viewers.h"
#include "widgets/PXListView.h"

#include <QPointer>
#include <QUrl>

#include <memory>

namespace {

TimelineCellStatus* statusItem(const CellPtr& cell) { return dynamic_cast<TimelineCellStatus*>(cell.get()); }

PXListViewController* listOf(const CellPtr& cell)
{
    return cell ? dynamic_cast<PXListViewController*>(cell->listViewController()) : nullptr;
}

template <class T>
weibo::TransferOutcome recordBack(const weibo::Reply<std::string>& answer)
{
    return weibo::recordOf<T>(answer).outcome;
}

} // namespace

ItemActions::ItemActions(QWidget* window, ItemActionsHost& host) : QObject(window), window_(window), host_(host) {}

QList<PXListViewController*> ItemActions::statusLists() const
{
    TabModel& tabs = host_.tabs();
    QList<PXListViewController*> lists{tabs.home(), tabs.user(), tabs.lists(), tabs.mentions(), tabs.favorites()};
    lists.removeAll(nullptr);
    return lists;
}

// ---------------------------------------------------------------------------------------------------------------
// Clicks

void ItemActions::textViewClickedOnCell(WBTextView* textView, const MyTextAttachmentCell& attachment, int)
{
    if (!textView)
        return;
    const CellPtr cell = textView->cellData();
    if (!cell || isBusy(cell->entityId()))
        return;
    TimelineCellStatus* status = statusItem(cell);
    const boost::shared_ptr<weibo::WBStatus> record = status ? status->status() : nullptr;
    const boost::shared_ptr<weibo::WBStatus> original = record ? record->retweeted_status : nullptr;
    const bool comment = dynamic_cast<TimelineCellComment*>(cell.get()) != nullptr;
    switch (attachment.type()) {
    case AttachmentStatusPicture:
    case AttachmentRetweetPicture:
    case AttachmentVideo:
    case AttachmentRetweetVideo:
        Viewers::openAttachment(cell, attachment);
        break;
    case AttachmentStatusComments:
    case AttachmentCommentsOfEntity:
        host_.displayCommentsFromDataCell(cell, cell->entityId(), true, true);
        break;
    case AttachmentStatusRepost:
        host_.displayRepostFromDataCell(cell, cell->entityId(), true);
        break;
    case AttachmentStatusWebPage:
        if (record && record->user) {
            const QString page = QString::fromStdString(host_.weiboInstance()->baseUrl()) +
                                 QStringLiteral("/%1/statuses/%2").arg(record->user->id).arg(record->id);
            platform::Browser::openURL(QUrl(page));
        }
        break;
    case AttachmentReplyComment:
        if (comment)
            host_.replyOtherCommentFromCommentCell(cell);
        break;
    case AttachmentFavorite:
    case AttachmentFavoriteOnly:
        favorite(cell);
        break;
    case AttachmentRetweetComments:
        if (original)
            host_.displayCommentsFromDataCell(cell, original->id, true, true);
        break;
    case AttachmentRetweetRepost:
        if (original)
            host_.displayRepostFromDataCell(cell, original->id, true);
        break;
    case AttachmentRemoveStatus:
        if (status)
            deleteStatus(cell);
        break;
    case AttachmentRemoveComment:
        if (comment)
            deleteComment(cell);
        break;
    default:
        break;
    }
}

bool ItemActions::textViewClickedOnLink(WBTextView*, const LinkValue& link, int)
{
    if (link.kind == LinkValue::Url)
        platform::Browser::openURL(link.url);
    else if (link.kind == LinkValue::ScreenName)
        host_.replaceStatusUserTabViewItemWithUser(link.screenName);
    return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Favourite

void ItemActions::favorite(const CellPtr& cell)
{
    TimelineCellStatus* status = statusItem(cell);
    if (!status || !status->status() || isBusy(cell->entityId()))
        return;
    const std::uint64_t id = cell->entityId();
    const bool wasFavorited = status->status()->favorited;
    const boost::shared_ptr<weibo::SinaWeibo> client = host_.weiboInstance();
    busy_.insert(id);
    QPointer<ItemActions> self(this);
    host_.runItemRequest([self, client, id, wasFavorited, cell] {
        // Only a status back means it was done: an empty answer (a dead service) is a failure.
        const weibo::Reply<boost::shared_ptr<weibo::WBStatus>> changed =
            weibo::recordOf<weibo::WBStatus>(wasFavorited ? client->favoritesDestroy(id) : client->favoritesCreate(id));
        platform::dispatchMainAsync([self, cell, wasFavorited, changed] {
            if (self)
                self->favoriteDidEnd(cell, wasFavorited, changed);
        });
    });
}

void ItemActions::favoriteDidEnd(const CellPtr& cell, bool wasFavorited,
                                 const weibo::Reply<boost::shared_ptr<weibo::WBStatus>>& changed)
{
    const std::uint64_t id = cell->entityId();
    busy_.remove(id);
    if (!changed.ok()) {
        alertFailure(wasFavorited ? QStringLiteral("取消收藏失败！") : QStringLiteral("添加收藏失败！"),
                     changed.outcome, window_);
        emit actionFinished(id, false);
        return;
    }
    // The flag changes in every list that shows the status, whatever list it was clicked in.
    for (PXListViewController* list : statusLists())
        for (const CellPtr& c : *list->dataOfCells())
            if (c->entityId() == id)
                if (TimelineCellStatus* s = statusItem(c); s && s->status()) {
                    s->status()->favorited = !wasFavorited;
                    s->setRecalculateTextViewHeight(true);
                }
    PXListViewController* favorites = host_.tabs().favorites();
    if (wasFavorited) {
        favorites->removeCells({id});
    } else if (const boost::shared_ptr<weibo::WBStatus>& status = changed.value) {
        status->favorited = true;
        auto fake = std::make_shared<TimelineCellFavorite>(status);
        fake->setListViewController(favorites);
        favorites->addFakeCell(fake);
    }
    PXListViewController* selected = host_.selectedListViewController();
    if (selected)
        selected->reloadData();
    emit actionFinished(id, true);
}

// ---------------------------------------------------------------------------------------------------------------
// Delete

void ItemActions::deleteStatus(const CellPtr& cell)
{
    confirmAndDelete(
        cell, QStringLiteral("您确定要删除这条微博吗？"), QStringLiteral("删除微博失败！"),
        [](weibo::SinaWeibo& client, std::uint64_t id) { return client.statusDestroyById(id); },
        &recordBack<weibo::WBStatus>,
        [this, cell](std::uint64_t id) {
            // Gone from every list that shows it, not only the one it was deleted from.
            QList<PXListViewController*> lists = statusLists();
            if (PXListViewController* own = listOf(cell); own && !lists.contains(own))
                lists.append(own);
            if (host_.activeDataCell() && host_.activeDataCell()->entityId() == id)
                host_.closeDrawer();
            removeCells({id}, lists);
        });
}

void ItemActions::deleteComment(const CellPtr& cell)
{
    confirmAndDelete(
        cell, QStringLiteral("您确定要删除这条评论吗？"), QStringLiteral("删除评论失败！"),
        [](weibo::SinaWeibo& client, std::uint64_t id) { return client.commentDestroyById(id); },
        &recordBack<weibo::WBComment>,
        [this, cell](std::uint64_t id) {
            QList<PXListViewController*> lists{host_.tabs().commentsToMe(), host_.tabs().commentsByMe(),
                                               host_.commentListViewController()};
            if (PXListViewController* own = listOf(cell); own && !lists.contains(own))
                lists.append(own);
            lists.removeAll(nullptr);
            removeCells({id}, lists);
            if (PXListViewController* own = listOf(cell))
                own->reloadData();
        });
}

void ItemActions::confirmAndDelete(const CellPtr& cell, const QString& question, const QString& failure,
                                   weibo::Reply<std::string> (*destroy)(weibo::SinaWeibo&, std::uint64_t),
                                   weibo::TransferOutcome (*gone)(const weibo::Reply<std::string>&),
                                   std::function<void(std::uint64_t)> removed)
{
    const std::uint64_t id = cell->entityId();
    if (platform::AlertResponder::alertMessage(question, QStringLiteral("此操作不可恢复!"), window_) !=
        platform::AlertResponder::kSecondButton)
        return;
    const boost::shared_ptr<weibo::SinaWeibo> client = host_.weiboInstance();
    busy_.insert(id);
    QPointer<ItemActions> self(this);
    host_.runItemRequest([self, client, id, failure, destroy, gone, removed] {
        const weibo::TransferOutcome outcome = gone(destroy(*client, id));
        platform::dispatchMainAsync([self, id, failure, removed, outcome] {
            if (!self)
                return;
            self->busy_.remove(id);
            if (!outcome.ok())
                alertFailure(failure, outcome, self->window_);
            else
                removed(id);
            emit self->actionFinished(id, outcome.ok());
        });
    });
}

void ItemActions::removeCells(const std::set<std::uint64_t>& ids, const QList<PXListViewController*>& controllers)
{
    PXListViewController* selected = host_.selectedListViewController();
    for (PXListViewController* c : controllers) {
        c->removeCells(ids);
        if (c == selected)
            c->reloadData();
    }
}
