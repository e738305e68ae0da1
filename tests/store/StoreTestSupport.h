#pragma once
// Records and lists for the store's tests and its crash child: small, but with a user, a repost, a comment's
// status and reply, so that what comes back shows whether nested records survived.
#include "store/StoredList.h"

#include <boost/make_shared.hpp>

#include <string>
#include <vector>

namespace storetest {

inline boost::shared_ptr<weibo::WBUser> user(std::uint64_t id) {
    auto user = boost::make_shared<weibo::WBUser>();
    user->id = id;
    user->screen_name = "用户" + std::to_string(id);
    user->profile_image_url = "http://127.0.0.1:8470/avatar/50/" + std::to_string(id) + ".jpg";
    return user;
}

inline boost::shared_ptr<weibo::WBStatus> status(std::uint64_t id, const std::string& text) {
    auto status = boost::make_shared<weibo::WBStatus>();
    status->id = id;
    status->text = text;
    status->user = user(1000 + id % 7);
    if (id % 3 == 0) {
        status->retweeted_status = boost::make_shared<weibo::WBStatus>();
        status->retweeted_status->id = id + 1;
        status->retweeted_status->text = "原文 " + text;
        status->retweeted_status->user = user(2000);
    }
    return status;
}

inline boost::shared_ptr<weibo::WBComment> comment(std::uint64_t id, const std::string& text) {
    auto comment = boost::make_shared<weibo::WBComment>();
    comment->id = id;
    comment->text = text;
    comment->user = user(3000);
    comment->status = status(id * 10, "被评论的微博");
    if (id % 2 == 0) {
        comment->reply_comment = boost::make_shared<weibo::WBComment>();
        comment->reply_comment->id = id - 1;
        comment->reply_comment->text = "上一条";
    }
    return comment;
}

inline boost::shared_ptr<weibo::WBMessage> message(std::uint64_t id, const std::string& text) {
    auto message = boost::make_shared<weibo::WBMessage>();
    message->id = id;
    message->text = text;
    message->sender = user(4000);
    message->recipient = user(4001);
    message->sender_id = 4000;
    message->recipient_id = 4001;
    return message;
}

// `count` rows of the list's record type, ids from `firstId` down, each text `text`.
inline std::vector<store::Row> rowsOf(store::ListKind kind, std::uint64_t firstId, std::size_t count,
                                      const std::string& text) {
    std::vector<store::Row> rows;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t id = firstId - i;
        switch (kind) {
        case store::ListKind::CommentsReceived:
        case store::ListKind::CommentsSent:
            rows.emplace_back(comment(id, text), false);
            break;
        case store::ListKind::MessagesReceived:
        case store::ListKind::MessagesSent:
            rows.emplace_back(message(id, text), false);
            break;
        default:
            rows.emplace_back(status(id, text), false);
        }
    }
    return rows;
}

// The text of a row's record.
inline std::string textOf(const store::Row& row) {
    return std::visit([](const auto& value) -> std::string {
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, store::Gap>)
            return "(gap)";
        else
            return value->text;
    }, row.entry);
}

} // namespace storetest
