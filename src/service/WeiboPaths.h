#pragma once
// The request paths of the service. They also name the lists of the timeline engine and the tab items,
// which is why they live apart from the client: the layers that only compare list names include this
// header and nothing of the transport.
#include <string>

namespace weibo {

inline const std::string WEIBO_API_OAUTH_REQUEST_TOKEN = "/oauth/request_token";
inline const std::string WEIBO_API_OAUTH_AUTHORIZE = "/oauth/authorize?oauth_token=";
inline const std::string WEIBO_API_OAUTH_ACCESS_TOKEN = "/oauth/access_token";
inline const std::string WEIBO_API_TIMELINE_PUBLIC = "/statuses/public_timeline";
inline const std::string WEIBO_API_TIMELINE_FRIENDS = "/statuses/friends_timeline";
inline const std::string WEIBO_API_TIMELINE_USER = "/statuses/user_timeline";
inline const std::string WEIBO_API_TIMELINE_ALL_MY_COMMENTS = "/statuses/comments_timeline";
inline const std::string WEIBO_API_TIMELINE_COMMENTS_BY_ME = "/statuses/comments_by_me";
inline const std::string WEIBO_API_TIMELINE_COMMENTS_TO_ME = "/statuses/comments_to_me";
inline const std::string WEIBO_API_TIMELINE_COMMENTS = "/statuses/comments";
inline const std::string WEIBO_API_TIMELINE_MENTIONS = "/statuses/mentions";
inline const std::string WEIBO_API_STATUS_SHOW = "/statuses/show/:";
inline const std::string WEIBO_API_STATUS_UPDATE = "/statuses/update";
inline const std::string WEIBO_API_STATUS_UPLOAD = "/statuses/upload";
inline const std::string WEIBO_API_STATUS_DELETE = "/statuses/destroy/";
inline const std::string WEIBO_API_STATUS_COMMENT = "/statuses/comment";
inline const std::string WEIBO_API_COMMENT_DELETE = "/statuses/comment_destroy/";
inline const std::string WEIBO_API_STATUS_COUNTS = "/statuses/counts";
inline const std::string WEIBO_API_STATUS_REPOST = "/statuses/repost";
inline const std::string WEIBO_API_STATUS_UNREAD = "/statuses/unread";
inline const std::string WEIBO_API_STATUS_RESET_COUNT = "/statuses/reset_count";
inline const std::string WEIBO_API_STATUS_REPLY = "/statuses/reply";
inline const std::string WEIBO_API_USER_SHOW = "/users/show";
inline const std::string WEIBO_API_ACCOUNT_VERIFY = "/account/verify_credentials";
inline const std::string WEIBO_API_EMOTIONS = "/emotions";
inline const std::string WEIBO_API_FAVORITES = "/favorites";
inline const std::string WEIBO_API_FAVORITES_CREATE = "/favorites/create";
inline const std::string WEIBO_API_FAVORITES_DESTROY = "/favorites/destroy/";
inline const std::string WEIBO_API_MESSAGE = "/direct_messages";
inline const std::string WEIBO_API_MESSAGE_CHAT = "/direct_messages/chat";
inline const std::string WEIBO_API_MESSAGE_SENT = "/direct_messages/sent";
inline const std::string WEIBO_API_MESSAGE_NEW = "/direct_messages/new";
inline const std::string WEIBO_API_MESSAGE_DELETE = "/direct_messages/destroy/";
inline const std::string WEIBO_API_LISTS = "/lists";
inline const std::string WEIBO_API_FRIENDSHIPS_CREATE = "/friendships/create";
inline const std::string WEIBO_API_FRIENDSHIPS_DESTROY = "/friendships/destroy";
inline const std::string WEIBO_API_FRIENDSHIPS_SHOW = "/friendships/show";
inline const std::string WEIBO_API_FRIENDSHIPS_IDS = "/friendships/friends/ids";
inline const std::string WEIBO_API_SEARCH_SUGGESTIONS_AT_USERS = "/search/suggestions/at_users";

} // namespace weibo
