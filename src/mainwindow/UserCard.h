#pragma once
// The card about a user named in an item's text, popped up at the mouse by a right click on an @name: the
// counts, the description, the relation to the signed-in user, follow / unfollow and a direct message. Its two
// requests run in the background; only the latest right click's answer is shown, on the main thread.
#include "cells/CellTypes.h"
#include "model/WeiboParser.h"
#include "platform/BusyText.h"
#include "service/Reply.h"

#include <QObject>
#include <QPoint>
#include <QPointer>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <functional>

class WBTextViewDelegate;
namespace weibo {
class SinaWeibo;
}

// What the user card asks of its window.
class UserCardHost {
public:
    virtual ~UserCardHost() = default;
    // The signed-in user (0 before the account is known).
    virtual std::uint64_t selfUserId() const = 0;
    virtual bool isStarting() const = 0;
    virtual BusyText displayBusy(const QString& text) = 0;
    virtual boost::shared_ptr<weibo::SinaWeibo> weiboInstance() const = 0;
    // A request in the background, counted so that the window waits for it when it goes.
    virtual void runItemRequest(std::function<void()> work) = 0;
    // The message window, empty or for `screenName`.
    virtual void writeMessageTo(const QString& screenName) = 0;
    // Where the links of the card's texts go.
    virtual WBTextViewDelegate* linkDelegate() = 0;
};
class QContextMenuEvent;
class QLabel;
class QMenu;
class QPushButton;
class QWidget;
class WBTextView;

class UserCard : public QObject {
    Q_OBJECT
public:
    // `window` is the card's parent and where its failures are said.
    UserCard(QWidget* window, UserCardHost& host);
    ~UserCard() override;

    // The right click: none (the card pops up when its data is in) for an @name, none at all otherwise.
    QMenu* textViewMenuForEvent(WBTextView* textView, QContextMenuEvent* event, int index);
    // Shows the card for `screenName` at `globalPos` once its user is known. `author`: the item's own author
    // when the name is theirs (then only the relation is asked for).
    void requestCard(const QString& screenName, const boost::shared_ptr<weibo::WBUser>& author,
                     const QPoint& globalPos);
    // The same for a user named by an item (its avatar): the item's author record is used when it is theirs.
    // Nothing for an empty name (the signed-in user's own slot).
    void requestCardForItem(const QString& screenName, const CellPtr& cell, const QPoint& globalPos);

    void initContextView(const boost::shared_ptr<weibo::WBUser>& user,
                         const boost::shared_ptr<weibo::WBFriendship>& friendship);
    void resetContextView();
    void follow();
    void sendMessage();
    void close();
    bool isCardOwnTextView(const QObject* view) const;

    // Main thread only.
    boost::shared_ptr<weibo::WBUser> contextUser() const { return contextUser_; }
    QMenu* userContextMenu() const { return userContextMenu_; }
    QWidget* userContextView() const { return userContextView_; }
    QPushButton* userContextIcon() const { return userContextIcon_; }
    QPushButton* userContextMessage() const { return userContextMessage_; }
    QLabel* userContextFriendship() const { return userContextFriendship_; }
    QPushButton* userContextFollow() const { return userContextFollow_; }
    WBTextView* userContextInfo() const { return userContextInfo_; }
    WBTextView* userContextDescription() const { return userContextDescription_; }
    QPoint lastPopupPosition() const { return popupPosition_; }

signals:
    // The card was filled and popped up.
    void cardShown(const QString& screenName);
    // A follow or unfollow request has ended (its result is on screen: the card again, or an alert).
    void followFinished();

private:
    void cardDidLoad(std::uint64_t generation, const weibo::Reply<boost::shared_ptr<weibo::WBUser>>& user,
                     const boost::shared_ptr<weibo::WBFriendship>& friendship, const QPoint& globalPos);
    void followDidEnd(bool create, std::uint64_t generation,
                      const weibo::Reply<boost::shared_ptr<weibo::WBUser>>& followed);

    QWidget* window_;
    UserCardHost& host_;
    QMenu* userContextMenu_ = nullptr;
    QWidget* userContextView_ = nullptr;
    QPushButton* userContextIcon_ = nullptr;
    QPushButton* userContextMessage_ = nullptr;
    QLabel* userContextFriendship_ = nullptr;
    QPushButton* userContextFollow_ = nullptr;
    WBTextView* userContextInfo_ = nullptr;
    WBTextView* userContextDescription_ = nullptr;
    boost::shared_ptr<weibo::WBUser> contextUser_;
    boost::shared_ptr<weibo::WBFriendship> contextFriendship_;
    std::uint64_t generation_ = 0;
    QPoint popupPosition_;
};
