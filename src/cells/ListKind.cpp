#include "cells/ListKind.h"

#include "service/WeiboPaths.h"

#include <vector>

namespace {

using weibo::Reply;
using weibo::SinaWeibo;
using weibo::SinaWeiboOptions;
using Options = const SinaWeiboOptions&;

std::vector<ListKind> makeKinds()
{
    using K = ListKind;
    std::vector<ListKind> kinds;

    K home;
    home.identifier = weibo::WEIBO_API_TIMELINE_FRIENDS;
    home.cells = K::Cells::Status;
    home.request = [](SinaWeibo& c, std::uint64_t, Options o) { return c.timelineFriends(o); };
    home.refresh = K::Refresh::Newer;
    home.older = K::Older::Older;
    home.readOnRefresh = true;
    home.unreadRows = true;
    home.notificationSwitch = QStringLiteral("NewStatus");
    home.statusCounts = true;
    home.favouriteFlags = true;
    home.listsChooser = true;
    home.kept = K::Kept::Home;
    kinds.push_back(home);

    K user;
    user.identifier = weibo::WEIBO_API_TIMELINE_USER;
    user.cells = K::Cells::Status;
    user.request = [](SinaWeibo& c, std::uint64_t, Options o) { return c.timelineUser(o); };
    user.firstLoad = K::FirstLoad::Page;
    user.firstLoadBusy = QStringLiteral("正在加载该用户的微博...");
    user.refresh = K::Refresh::Newer;
    user.older = K::Older::Older;
    user.perUser = true;
    user.statusCounts = true;
    user.favouriteFlags = true;
    user.kept = K::Kept::Own;
    kinds.push_back(user);

    K lists;  // the home timeline filtered by one of the user's lists: nothing fetched of its own
    lists.identifier = weibo::WEIBO_API_LISTS;
    lists.cells = K::Cells::Status;
    kinds.push_back(lists);

    K mentions;
    mentions.identifier = weibo::WEIBO_API_TIMELINE_MENTIONS;
    mentions.cells = K::Cells::Status;
    mentions.request = [](SinaWeibo& c, std::uint64_t, Options o) { return c.timelineMentions(o); };
    mentions.firstLoad = K::FirstLoad::UpToCounter;
    mentions.firstLoadBusy = QStringLiteral("正在加载提到我的...");
    mentions.refresh = K::Refresh::UpToCounter;
    mentions.older = K::Older::Older;
    mentions.unreadRows = true;
    mentions.resetCountType = 2;
    mentions.notificationSwitch = QStringLiteral("NewAtme");
    mentions.statusCounts = true;
    mentions.favouriteFlags = true;
    mentions.kept = K::Kept::Mentions;
    kinds.push_back(mentions);

    K received;
    received.identifier = weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME;
    received.cells = K::Cells::Comment;
    received.commentRows = K::CommentRows::Received;
    received.request = [](SinaWeibo& c, std::uint64_t, Options o) { return c.timelineCommentsToMe(o); };
    received.firstLoad = K::FirstLoad::UpToCounter;
    received.firstLoadBusy = QStringLiteral("正在加载我收到的评论...");
    received.refresh = K::Refresh::UpToCounter;
    received.older = K::Older::Older;
    received.unreadRows = true;
    received.resetCountType = 1;
    received.notificationSwitch = QStringLiteral("NewComment");
    received.answersComments = true;
    received.kept = K::Kept::CommentsReceived;
    kinds.push_back(received);

    K sent;
    sent.identifier = weibo::WEIBO_API_TIMELINE_COMMENTS_BY_ME;
    sent.cells = K::Cells::Comment;
    sent.commentRows = K::CommentRows::Sent;
    sent.request = [](SinaWeibo& c, std::uint64_t, Options o) { return c.timelineCommentsByMe(o); };
    sent.firstLoad = K::FirstLoad::Page;
    sent.firstLoadBusy = QStringLiteral("正在加载我发出的评论...");
    sent.refresh = K::Refresh::Newer;
    sent.older = K::Older::Older;
    sent.kept = K::Kept::CommentsSent;
    kinds.push_back(sent);

    K conversations;  // fetched as its two streams of messages, grouped by correspondent
    conversations.identifier = weibo::WEIBO_API_MESSAGE;
    conversations.rows = K::Rows::Conversation;
    conversations.cells = K::Cells::Message;
    conversations.firstLoad = K::FirstLoad::Conversations;
    conversations.firstLoadBusy = QStringLiteral("正在加载私信...");
    conversations.refresh = K::Refresh::Conversations;
    conversations.older = K::Older::Conversations;
    conversations.resetCountType = 3;
    conversations.notificationSwitch = QStringLiteral("NewMessage");
    conversations.newMessage = true;
    conversations.kept = K::Kept::Conversations;
    kinds.push_back(conversations);

    K chat;  // the messages of the open conversation, in the drawer
    chat.identifier = weibo::WEIBO_API_MESSAGE_CHAT;
    chat.rows = K::Rows::Chat;
    chat.inDrawer = true;
    kinds.push_back(chat);

    K comments;  // the comments of the drawer's status, page by page
    comments.identifier = weibo::WEIBO_API_TIMELINE_COMMENTS;
    comments.cells = K::Cells::Comment;
    comments.commentRows = K::CommentRows::OfStatus;
    comments.request = [](SinaWeibo& c, std::uint64_t status, Options o) { return c.timelineComments(status, o); };
    comments.older = K::Older::NextCommentPage;
    comments.inDrawer = true;
    comments.answersComments = true;
    kinds.push_back(comments);

    K favorites;
    favorites.identifier = weibo::WEIBO_API_FAVORITES;
    favorites.cells = K::Cells::Favorite;
    favorites.request = [](SinaWeibo& c, std::uint64_t, Options o) { return c.favorites(o); };
    favorites.firstLoad = K::FirstLoad::Page;
    favorites.firstLoadBusy = QStringLiteral("正在加载我的收藏第 1 页...");
    favorites.refresh = K::Refresh::FirstPage;
    favorites.older = K::Older::NextPage;
    favorites.statusCounts = true;
    favorites.kept = K::Kept::Favorites;
    kinds.push_back(favorites);
    return kinds;
}

const std::vector<ListKind>& kinds()
{
    static const std::vector<ListKind> table = makeKinds();
    return table;
}

} // namespace

const ListKind& listKind(const std::string& identifier)
{
    static const ListKind none;
    for (const ListKind& kind : kinds())
        if (kind.identifier == identifier)
            return kind;
    return none;
}

const ListKind& listKind(const QString& identifier)
{
    return listKind(identifier.toStdString());
}
