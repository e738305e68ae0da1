#include "mainwindow/UserCard.h"

#include "cells/AttributedString.h"
#include "cells/FailureText.h"
#include "cells/TimelineCellStatus.h"
#include "compose/ComposeWindows.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "platform/URLConnection.h"
#include "timeline/WBTextView.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QUrl>
#include <QWidgetAction>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// The widths of the card's two texts; their heights follow the text in the font of the moment.
constexpr int kInfoWidth = 240;
constexpr int kDescriptionWidth = 300;

// As tall as `text` laid out at `width` (at least one line of the body font), so a large font or a long
// description is shown whole rather than cut.
void fitToText(WBTextView* view, const AttributedString& text, int width)
{
    const QSizeF inset = view->textContainerInset();
    const double lines = std::max(text.heightForWidth(width - 2 * inset.width()),
                                  QFontMetricsF(AttributedString::documentDefaultFont()).lineSpacing());
    view->setFixedSize(width, int(std::ceil(lines + 2 * inset.height())) + 2);
}

// The author of a status item when `name` is theirs: the card then needs no user request.
boost::shared_ptr<weibo::WBUser> authorNamed(const CellPtr& cell, const QString& name)
{
    auto* status = dynamic_cast<TimelineCellStatus*>(cell.get());
    if (status && status->status() && status->status()->user &&
        QString::fromStdString(status->status()->user->screen_name) == name)
        return status->status()->user;
    return nullptr;
}

} // namespace

UserCard::UserCard(QWidget* window, UserCardHost& host) : QObject(window), window_(window), host_(host)
{
    userContextMenu_ = new QMenu(window);
    userContextView_ = new QWidget;
    userContextView_->setObjectName(QStringLiteral("userContextView"));
    auto* grid = new QGridLayout(userContextView_);
    userContextIcon_ = new QPushButton(userContextView_);
    userContextIcon_->setFixedSize(54, 54);
    userContextIcon_->setIconSize(QSize(50, 50));
    userContextInfo_ = new WBTextView(userContextView_);
    userContextInfo_->setDelegate(host.linkDelegate());
    userContextDescription_ = new WBTextView(userContextView_);
    userContextDescription_->setDelegate(host.linkDelegate());
    fitToText(userContextInfo_, AttributedString(), kInfoWidth);
    fitToText(userContextDescription_, AttributedString(), kDescriptionWidth);
    userContextFriendship_ = new QLabel(userContextView_);
    userContextMessage_ = new QPushButton(QStringLiteral("新私信"), userContextView_);
    userContextFollow_ = new QPushButton(QStringLiteral("加关注"), userContextView_);
    grid->addWidget(userContextIcon_, 0, 0, 2, 1);
    grid->addWidget(userContextInfo_, 0, 1, 1, 3);
    grid->addWidget(userContextDescription_, 2, 0, 1, 4);
    grid->addWidget(userContextFriendship_, 3, 0, 1, 2);
    grid->addWidget(userContextMessage_, 3, 2);
    grid->addWidget(userContextFollow_, 3, 3);
    auto* action = new QWidgetAction(userContextMenu_);
    action->setDefaultWidget(userContextView_);
    userContextMenu_->addAction(action);
    connect(userContextFollow_, &QPushButton::clicked, this, &UserCard::follow);
    connect(userContextMessage_, &QPushButton::clicked, this, &UserCard::sendMessage);
}

UserCard::~UserCard() = default;

bool UserCard::isCardOwnTextView(const QObject* view) const
{
    return view && (view == userContextInfo_ || view == userContextDescription_);
}

QMenu* UserCard::textViewMenuForEvent(WBTextView* textView, QContextMenuEvent* event, int index)
{
    if (!textView || !textView->document() || index < 0 || isCardOwnTextView(textView))
        return nullptr;
    const LinkValue link = linkAtDocumentPosition(*textView->document(), index);
    if (link.kind != LinkValue::ScreenName)
        return nullptr;
    requestCard(link.screenName, authorNamed(textView->cellData(), link.screenName),
                event ? event->globalPos() : QCursor::pos());
    return nullptr;
}

void UserCard::requestCardForItem(const QString& screenName, const CellPtr& cell, const QPoint& globalPos)
{
    if (!screenName.isEmpty())
        requestCard(screenName, authorNamed(cell, screenName), globalPos);
}

void UserCard::requestCard(const QString& screenName, const boost::shared_ptr<weibo::WBUser>& author,
                           const QPoint& globalPos)
{
    contextUser_.reset();
    contextFriendship_.reset();
    resetContextView();
    // Each right click outdates the ones before it: only its own answer is shown.
    const std::uint64_t generation = ++generation_;
    const boost::shared_ptr<weibo::SinaWeibo> client = host_.weiboInstance();
    const std::string name = screenName.toStdString();
    QPointer<UserCard> self(this);
    host_.runItemRequest([self, client, name, author, generation, globalPos] {
        weibo::SinaWeiboOptions relation;
        relation.target_screen_name_ = name;
        const auto friendship = weibo::friendshipOf(client->friendshipsShow(relation));
        weibo::Reply<boost::shared_ptr<weibo::WBUser>> user(author, weibo::TransferOutcome());
        if (!author) {
            weibo::SinaWeiboOptions options;
            options.screen_name_ = name;
            user = weibo::recordOf<weibo::WBUser>(client->userShow(options));
        }
        platform::dispatchMainAsync([self, generation, user, friendship, globalPos] {
            if (self)
                self->cardDidLoad(generation, user, friendship.value, globalPos);
        });
    });
}

void UserCard::cardDidLoad(std::uint64_t generation, const weibo::Reply<boost::shared_ptr<weibo::WBUser>>& found,
                           const boost::shared_ptr<weibo::WBFriendship>& friendship, const QPoint& globalPos)
{
    if (generation != generation_)
        return;
    if (!found.ok() || !found.value || found.value->id == 0) {
        // The right click asked for a card: say why none comes.
        alertFailure(QStringLiteral("获取用户资料失败！"),
                     found.ok() ? weibo::failureOf(weibo::TransferFailure::Unreadable) : found.outcome, window_);
        return;
    }
    const boost::shared_ptr<weibo::WBUser>& user = found.value;
    contextUser_ = user;
    contextFriendship_ = friendship;
    initContextView(user, friendship);
    popupPosition_ = globalPos;
    userContextMenu_->popup(globalPos);
    const QUrl avatar(QString::fromStdString(user->profile_image_url));
    if (avatar.isValid() && !avatar.isEmpty()) {
        QPointer<UserCard> self(this);
        platform::URLConnection::asyncRequest(
            avatar,
            [self, generation](const QByteArray& data) {
                if (!self || generation != self->generation_)
                    return;
                QImage image;
                if (image.loadFromData(data))
                    self->userContextIcon_->setIcon(QIcon(QPixmap::fromImage(image)));
            },
            [](const QString&) {});
    }
    emit cardShown(QString::fromStdString(user->screen_name));
}

void UserCard::initContextView(const boost::shared_ptr<weibo::WBUser>& user,
                               const boost::shared_ptr<weibo::WBFriendship>& friendship)
{
    if (!user)
        return;
    const QString name = QString::fromStdString(user->screen_name);
    AttributedString info = AttributedString::fromLink(name, LinkValue::fromScreenName(name));
    info.appendString(QStringLiteral("\n") + QStringLiteral("关注 %1 粉丝 %2 微博 %3")
                                                 .arg(user->friends_count)
                                                 .arg(user->followers_count)
                                                 .arg(user->statuses_count));
    info.setFont(AttributedString::documentDefaultFont());
    fitToText(userContextInfo_, info, kInfoWidth);
    userContextInfo_->setAttributedString(info);
    const QString description = QString::fromStdString(user->description);
    AttributedString text(
        QStringLiteral("简介: ") + (description.isEmpty() ? QStringLiteral("暂无简介") : description));
    text.setFont(AttributedString::documentDefaultFont());
    fitToText(userContextDescription_, text, kDescriptionWidth);
    userContextDescription_->setAttributedString(text);
    userContextView_->adjustSize();
    userContextFollow_->setText(QStringLiteral("加关注"));
    // Nobody follows or writes to themselves: one's own card offers neither.
    const bool own = user->id != 0 && user->id == host_.selfUserId();
    userContextFollow_->setVisible(!own);
    userContextMessage_->setVisible(!own);
    if (own) {
        userContextFriendship_->clear();
        return;
    }
    // Without a known relation (the request failed) the card says nothing about it.
    if (!friendship || !friendship->source || friendship->source->id == 0)
        return;
    if (friendship->source->following) {
        userContextFriendship_->setText(friendship->source->followed_by ? QStringLiteral("互相关注")
                                                                        : QStringLiteral("已关注"));
        userContextFollow_->setText(QStringLiteral("取消关注"));
    } else {
        userContextFriendship_->clear();
    }
}

void UserCard::resetContextView()
{
    userContextIcon_->setIcon(QIcon());
    userContextInfo_->clear();
    userContextDescription_->clear();
    // The previous user's relation must not show on the next card.
    userContextFriendship_->clear();
    userContextFollow_->setText(QStringLiteral("加关注"));
}

void UserCard::close()
{
    userContextMenu_->hide();
}

void UserCard::follow()
{
    const boost::shared_ptr<weibo::WBUser> user = contextUser_;
    const std::string name = user ? user->screen_name : std::string();
    const QString title = userContextFollow_->text();
    close();
    const bool create = title == QStringLiteral("加关注");
    if (!create && title != QStringLiteral("取消关注"))
        return;
    const boost::shared_ptr<weibo::SinaWeibo> client = host_.weiboInstance();
    const std::uint64_t generation = generation_;
    const BusyText busy =
        host_.displayBusy(create ? QStringLiteral("正在加关注...") : QStringLiteral("正在取消关注..."));
    QPointer<UserCard> self(this);
    host_.runItemRequest([self, client, name, create, generation, busy] {
        weibo::SinaWeiboOptions options;
        options.screen_name_ = name;
        const auto followed = weibo::recordOf<weibo::WBUser>(create ? client->friendshipsCreate(options)
                                                                   : client->friendshipsDestroy(options));
        platform::dispatchMainAsync([self, create, generation, followed, busy]() mutable {
            busy.done();
            if (self)
                self->followDidEnd(create, generation, followed);
        });
    });
}

void UserCard::followDidEnd(bool create, std::uint64_t generation,
                            const weibo::Reply<boost::shared_ptr<weibo::WBUser>>& followed)
{
    if (!followed.ok()) {
        alertFailure(create ? QStringLiteral("加关注失败！") : QStringLiteral("取消关注失败！"), followed.outcome,
                     window_);
        emit followFinished();
        return;
    }
    // The card comes back with the new relation and the user's counts as the service now gives them, unless the
    // user has asked for another card meanwhile.
    if (generation == generation_ && contextUser_) {
        auto friendship = boost::make_shared<weibo::WBFriendship>();
        friendship->source->id = contextFriendship_ && contextFriendship_->source->id
                                     ? contextFriendship_->source->id
                                     : host_.selfUserId();
        friendship->source->following = create;
        friendship->source->followed_by = contextFriendship_ && contextFriendship_->source->followed_by;
        friendship->target->id = contextUser_->id;
        if (followed.value && followed.value->id == contextUser_->id)
            contextUser_ = followed.value;
        contextFriendship_ = friendship;
        initContextView(contextUser_, contextFriendship_);
        userContextMenu_->popup(popupPosition_);
    }
    emit followFinished();
}

void UserCard::sendMessage()
{
    if (host_.isStarting())
        return;
    close();
    const QString name = contextUser_ ? QString::fromStdString(contextUser_->screen_name) : QString();
    QPointer<UserCard> self(this);
    platform::dispatchMainAsync([self, name] {
        if (self)
            self->host_.writeMessageTo(name);
    });
}
