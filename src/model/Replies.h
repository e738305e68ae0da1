#pragma once
// The typed replies the windows and lists work with: the records of one answer together with the outcome of the
// request that brought it. Every rule that decides whether an answer counts as a failure lives here, once:
//   - a transfer that failed keeps its outcome; an error answer (HTTP 4xx/5xx) adds the service's own text and code;
//   - an answer that came but is the service's error object is Refused (AuthRefused for a refused token), with its
//     text and code;
//   - an answer that is not JSON, or that must carry a record and carries none, or a page every element of which
//     is unreadable, is Unreadable;
//   - a page with some unreadable elements is a success with the readable ones.
#include "model/WeiboParser.h"
#include "service/Reply.h"

#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace weibo {

template <class T>
using Records = std::vector<boost::shared_ptr<T>>;

// The outcome of an answer as a caller must see it (the rules above), for an answer whose records are not read.
TransferOutcome outcomeOf(const Reply<std::string>& answer);

// A page of records (a list page, or the one record of a write's answer as a page of one).
template <class T>
Reply<Records<T>> recordsOf(const Reply<std::string>& answer);

// The record an answer must carry (a posted status, a shown user): Unreadable when it carries none.
template <class T>
Reply<boost::shared_ptr<T>> recordOf(const Reply<std::string>& answer);

// The unread counters: Unreadable unless the answer is an object.
Reply<boost::optional<WBUnread>> unreadOf(const Reply<std::string>& answer);

// The relation of two users: Unreadable unless the answer names both.
Reply<boost::shared_ptr<WBFriendship>> friendshipOf(const Reply<std::string>& answer);

Reply<Records<WBList>> listsOf(const Reply<std::string>& answer);

struct ListMembersPage {
    Records<WBUserStatus> members;
    int previous_cursor = 0;
    int next_cursor = 0;
    int total_number = 0;
};
Reply<ListMembersPage> listMembersOf(const Reply<std::string>& answer);

Reply<WBCountTable> countsOf(const Reply<std::string>& answer);

// A write whose answer says no more than that it was done (a reset counter, a removed favourite): true on success.
Reply<bool> doneOf(const Reply<std::string>& answer);

extern template Reply<Records<WBStatus>> recordsOf<WBStatus>(const Reply<std::string>&);
extern template Reply<Records<WBComment>> recordsOf<WBComment>(const Reply<std::string>&);
extern template Reply<Records<WBMessage>> recordsOf<WBMessage>(const Reply<std::string>&);
extern template Reply<Records<WBUser>> recordsOf<WBUser>(const Reply<std::string>&);
extern template Reply<Records<WBEmotion>> recordsOf<WBEmotion>(const Reply<std::string>&);
extern template Reply<Records<WBSuggestionAtUser>> recordsOf<WBSuggestionAtUser>(const Reply<std::string>&);
extern template Reply<boost::shared_ptr<WBStatus>> recordOf<WBStatus>(const Reply<std::string>&);
extern template Reply<boost::shared_ptr<WBComment>> recordOf<WBComment>(const Reply<std::string>&);
extern template Reply<boost::shared_ptr<WBMessage>> recordOf<WBMessage>(const Reply<std::string>&);
extern template Reply<boost::shared_ptr<WBUser>> recordOf<WBUser>(const Reply<std::string>&);

} // namespace weibo
