#pragma once
// What a list is. One entry per kind of list (the home timeline, one's own or another user's statuses, the list
// filter, mentions, comments received and sent, the conversations and the messages of one, the comments of a status,
// favourites) holds everything that differs between them; code asks the entry and never compares list names.
#include "service/Reply.h"
#include "service/WeiboAPI.h"

#include <QString>

#include <cstdint>
#include <string>

struct ListKind {
    // The row a cell of the list is drawn in.
    enum class Rows { Status, Conversation, Chat };
    // How the list's items are read from an answer (the cell type codes of the list controller).
    enum class Cells { None = 0, Status = 1, Comment = 2, Favorite = 3, Message = 4 };
    // How a comment row quotes what it answers.
    enum class CommentRows { None, OfStatus, Received, Sent };
    // What its first load, a refresh and the end of the list do.
    enum class FirstLoad { None, Page, UpToCounter, Conversations };
    enum class Refresh { None, Newer, UpToCounter, Conversations, FirstPage };
    enum class Older { None, Older, Conversations, NextPage, NextCommentPage };
    // Which of the account's lists kept on disk it is; None for a list that starts empty each run.
    enum class Kept { None, Home, Own, Mentions, CommentsReceived, CommentsSent, Conversations, Favorites };

    // One request of the kind; `required` is the status id for the comments of a status, 0 otherwise.
    using Request = weibo::Reply<std::string> (*)(weibo::SinaWeibo& client, std::uint64_t required,
                                                  const weibo::SinaWeiboOptions& options);

    std::string identifier;           // the endpoint path that names the list
    Rows rows = Rows::Status;
    Cells cells = Cells::None;
    CommentRows commentRows = CommentRows::None;
    Request request = nullptr;        // none for a list that fetches nothing of its own
    FirstLoad firstLoad = FirstLoad::None;
    QString firstLoadBusy;            // the busy text of its first load
    Refresh refresh = Refresh::None;
    Older older = Older::None;
    bool perUser = false;             // shows one user's statuses: its loads name that user
    bool readOnRefresh = false;       // a refresh by the user reads what it brings (home timeline)
    bool unreadRows = false;          // new rows on top are unread until seen, and read by a tab click
    int resetCountType = 0;           // the service's counter reset when read: 1 comments, 2 mentions, 3 messages
    QString notificationSwitch;       // the setting that lets its new items be announced ("NewStatus", ...)
    bool statusCounts = false;        // its rows show comment and repost counts, kept current
    bool favouriteFlags = false;      // its rows follow a status's favourite flag
    bool inDrawer = false;            // shown in the drawer: its scrolling says nothing of the drawer's item
    bool answersComments = false;     // its comments take a reply ("回复"): in the drawer's editor when inDrawer
    bool listsChooser = false;        // the "分组" chooser shows beside it
    bool newMessage = false;          // the 新私信 button shows beside it
    Kept kept = Kept::None;

    bool isConversations() const { return rows == Rows::Conversation; }
    bool isCommentPages() const { return older == Older::NextCommentPage; }
    bool isFavouritePages() const { return older == Older::NextPage; }
};

// The entry of a list name; a name of no list gives a plain entry that fetches nothing.
const ListKind& listKind(const std::string& identifier);
const ListKind& listKind(const QString& identifier);
