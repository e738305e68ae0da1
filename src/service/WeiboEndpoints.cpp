// The endpoint catalogue of weibo::SinaWeibo: one member per service operation.
#include "service/WeiboAPI.h"
#include "service/urlencode.h"

#include <cstdio>

namespace weibo {

namespace {
std::string text(std::uint64_t v) { return std::to_string(v); }
std::string text(int v) { return std::to_string(v); }
std::string text(const std::string& v) { return v; }
std::string text(float v)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(v));
    return buffer;
}

// Free text goes into the URL percent-encoded: written raw, a "&", "#", "=" or blank in a screen name or
// a search prefix would cut the query or change its parameters. Numbers need no encoding and stay as
// they are. The signer decodes and re-encodes query values, as a server does.
std::string queryValue(const std::string& v) { return urlencode(v); }
template <class T>
std::string queryValue(const T& v)
{
    return text(v);
}

// Appends "?key=value" for the first parameter and "&key=value" for every later one.
class Query {
public:
    explicit Query(std::string url) : url_(std::move(url)) {}

    template <class T>
    Query& add(const char* key, const T& value)
    {
        url_ += separator_;
        url_ += key;
        url_ += '=';
        url_ += queryValue(value);
        separator_ = '&';
        return *this;
    }

    template <class T>
    Query& add(const char* key, const boost::optional<T>& value)
    {
        if (value)
            add(key, *value);
        return *this;
    }

    // A value the caller has written itself (digits and commas only).
    Query& addRaw(const char* key, const std::string& value)
    {
        url_ += separator_;
        url_ += key;
        url_ += '=';
        url_ += value;
        separator_ = '&';
        return *this;
    }

    const std::string& url() const { return url_; }

private:
    std::string url_;
    char separator_ = '?';
};

template <class T>
void put(KeyValueMap& form, const char* key, const boost::optional<T>& value)
{
    if (value)
        form[key] = text(*value);
}

// since_id, max_id, count, page: the paging parameters shared by most lists.
std::string pagedUrl(const std::string& base, const SinaWeiboOptions& o)
{
    return Query(base).add("since_id", o.since_id_).add("max_id", o.max_id_).add("count", o.count_)
        .add("page", o.page_).url();
}
}

Reply<std::string> SinaWeibo::timelinePublic(const SinaWeiboOptions& o)
{
    return performGet(Query(makeBaseUrl(WEIBO_API_TIMELINE_PUBLIC)).add("count", o.count_)
                          .add("base_app", o.base_app_).url());
}

Reply<std::string> SinaWeibo::timelineFriends(const SinaWeiboOptions& o)
{
    return performGet(Query(makeBaseUrl(WEIBO_API_TIMELINE_FRIENDS)).add("since_id", o.since_id_)
                          .add("max_id", o.max_id_).add("count", o.count_).add("page", o.page_)
                          .add("base_app", o.base_app_).add("feature", o.feature_).url());
}

Reply<std::string> SinaWeibo::timelineUser(const SinaWeiboOptions& o)
{
    return performGet(Query(makeBaseUrl(WEIBO_API_TIMELINE_USER)).add("user_id", o.user_id_)
                          .add("screen_name", o.screen_name_).add("since_id", o.since_id_)
                          .add("max_id", o.max_id_).add("count", o.count_).add("page", o.page_)
                          .add("base_app", o.base_app_).add("feature", o.feature_).url());
}

Reply<std::string> SinaWeibo::timelineMentions(const SinaWeiboOptions& o)
{
    return performGet(pagedUrl(makeBaseUrl(WEIBO_API_TIMELINE_MENTIONS), o));
}

Reply<std::string> SinaWeibo::timelineCommentsToMe(const SinaWeiboOptions& o)
{
    return performGet(pagedUrl(makeBaseUrl(WEIBO_API_TIMELINE_COMMENTS_TO_ME), o));
}

Reply<std::string> SinaWeibo::timelineCommentsByMe(const SinaWeiboOptions& o)
{
    return performGet(pagedUrl(makeBaseUrl(WEIBO_API_TIMELINE_COMMENTS_BY_ME), o));
}

Reply<std::string> SinaWeibo::timelineAllMyComments(const SinaWeiboOptions& o)
{
    return performGet(pagedUrl(makeBaseUrl(WEIBO_API_TIMELINE_ALL_MY_COMMENTS), o));
}

Reply<std::string> SinaWeibo::timelineComments(std::uint64_t statusId, const SinaWeiboOptions& o)
{
    if (statusId == 0)
        return unsent(TransferFailure::NotSent, "nothing to ask");
    return performGet(Query(makeBaseUrl(WEIBO_API_TIMELINE_COMMENTS)).add("id", statusId).add("count", o.count_)
                          .add("page", o.page_).url());
}

Reply<std::string> SinaWeibo::directMessages(const SinaWeiboOptions& o)
{
    return performGet(pagedUrl(makeBaseUrl(WEIBO_API_MESSAGE), o));
}

Reply<std::string> SinaWeibo::directMessagesSent(const SinaWeiboOptions& o)
{
    return performGet(pagedUrl(makeBaseUrl(WEIBO_API_MESSAGE_SENT), o));
}

Reply<std::string> SinaWeibo::favorites(const SinaWeiboOptions& o)
{
    return performGet(Query(makeBaseUrl(WEIBO_API_FAVORITES)).add("page", o.page_).url());
}

Reply<std::string> SinaWeibo::statusUnread(const SinaWeiboOptions& o)
{
    return performGet(Query(makeBaseUrl(WEIBO_API_STATUS_UNREAD)).add("with_new_status", o.with_new_status_)
                          .add("since_id", o.since_id_).url());
}

Reply<std::string> SinaWeibo::statusCounts(const std::vector<std::uint64_t>& statusIds)
{
    if (statusIds.empty())
        return unsent(TransferFailure::NotSent, "nothing to ask");
    std::string ids;
    for (std::uint64_t id : statusIds) {
        if (!ids.empty())
            ids += ',';
        ids += text(id);
    }
    return performGet(Query(makeBaseUrl(WEIBO_API_STATUS_COUNTS)).addRaw("ids", ids).url());
}

Reply<std::string> SinaWeibo::statusShowById(std::uint64_t statusId, const SinaWeiboOptions&)
{
    if (statusId == 0)
        return unsent(TransferFailure::NotSent, "nothing to ask");
    return performGet(makeBaseUrl(WEIBO_API_STATUS_SHOW + text(statusId)));
}

Reply<std::string> SinaWeibo::userShow(const SinaWeiboOptions& o)
{
    return performGet(Query(makeBaseUrl(WEIBO_API_USER_SHOW)).add("user_id", o.user_id_)
                          .add("screen_name", o.screen_name_).url());
}

Reply<std::string> SinaWeibo::accountVerify()
{
    return performGet(makeBaseUrl(WEIBO_API_ACCOUNT_VERIFY));
}

Reply<std::string> SinaWeibo::emotions(const SinaWeiboOptions& o)
{
    return performGet(Query(makeBaseUrl(WEIBO_API_EMOTIONS)).add("type", o.type_).add("language", o.language_).url());
}

Reply<std::string> SinaWeibo::friendshipsShow(const SinaWeiboOptions& o)
{
    return performGet(Query(makeBaseUrl(WEIBO_API_FRIENDSHIPS_SHOW)).add("source_id", o.source_id_)
                          .add("source_screen_name", o.source_screen_name_).add("target_id", o.target_id_)
                          .add("target_screen_name", o.target_screen_name_).url());
}

Reply<std::string> SinaWeibo::friendshipsIds(const SinaWeiboOptions& o)
{
    return performGet(Query(makeBaseUrl2(WEIBO_API_FRIENDSHIPS_IDS)).add("uid", o.uid_)
                          .add("screen_name", o.screen_name_).url());
}

Reply<std::string> SinaWeibo::searchSuggestionsAtUsers(const std::string& prefix, int type, const SinaWeiboOptions& o)
{
    return performGet(Query(makeBaseUrl2(WEIBO_API_SEARCH_SUGGESTIONS_AT_USERS)).add("q", prefix).add("type", type)
                          .add("count", o.count_).add("range", o.range_).url());
}

// The list operations put their texts into the path; encoding keeps a "/" or "?" in them from changing
// which resource is asked for (ids and plain names are unchanged by it).
Reply<std::string> SinaWeibo::userLists(const std::string& user, const SinaWeiboOptions& o)
{
    return performGet(Query(baseUrl() + "/" + urlencode(user) + "/" + "lists" + WEIBO_API_FORMAT_JSON)
                          .add("listType", o.listType_).url());
}

Reply<std::string> SinaWeibo::membersOfUserList(const std::string& user, const std::string& list, const SinaWeiboOptions& o)
{
    return performGet(Query(baseUrl() + "/" + urlencode(user) + "/" + urlencode(list) + "/members"
                            + WEIBO_API_FORMAT_JSON)
                          .add("cursor", o.cursor_).url());
}

Reply<std::string> SinaWeibo::isUserMemberOfList(const std::string& member, const std::string& owner, const std::string& list)
{
    return performGet(baseUrl() + "/" + urlencode(owner) + "/" + urlencode(list) + "/members/" + urlencode(member)
                      + WEIBO_API_FORMAT_JSON);
}

Reply<std::string> SinaWeibo::statusUpdate(const std::string& status, const SinaWeiboOptions& o)
{
    if (status.empty())
        return unsent(TransferFailure::NotSent, "nothing to ask");
    KeyValueMap form;
    form["status"] = status;
    put(form, "in_reply_to_status_id", o.in_reply_to_status_id_);
    put(form, "lat", o.latitude_);
    put(form, "long", o.longtitude_);
    put(form, "annotations", o.annotations_);
    return performPost(makeBaseUrl(WEIBO_API_STATUS_UPDATE), form, std::string(), false);
}

Reply<std::string> SinaWeibo::statusUpload(const std::string& status, const std::string& picturePath,
                                    const SinaWeiboOptions& o)
{
    if (status.empty())
        return unsent(TransferFailure::NotSent, "nothing to ask");
    KeyValueMap form;
    form["status"] = status;
    put(form, "lat", o.latitude_);
    put(form, "long", o.longtitude_);
    return performPost(makeBaseUrl(WEIBO_API_STATUS_UPLOAD), form, picturePath, false);
}

Reply<std::string> SinaWeibo::statusRepost(std::uint64_t statusId, const SinaWeiboOptions& o)
{
    if (statusId == 0)
        return unsent(TransferFailure::NotSent, "nothing to ask");
    KeyValueMap form;
    form["id"] = text(statusId);
    put(form, "status", o.status_);
    put(form, "is_comment", o.is_comment_);
    return performPost(makeBaseUrl(WEIBO_API_STATUS_REPOST), form, std::string(), false);
}

Reply<std::string> SinaWeibo::statusComment(std::uint64_t statusId, const std::string& comment, const SinaWeiboOptions& o)
{
    if (statusId == 0 || comment.empty())
        return unsent(TransferFailure::NotSent, "nothing to ask");
    KeyValueMap form;
    form["id"] = text(statusId);
    form["comment"] = comment;
    put(form, "cid", o.cid_);
    put(form, "without_mention", o.without_mention_);
    put(form, "comment_ori", o.comment_ori_);
    return performPost(makeBaseUrl(WEIBO_API_STATUS_COMMENT), form, std::string(), false);
}

Reply<std::string> SinaWeibo::statusReply(std::uint64_t commentId, const std::string& comment, std::uint64_t statusId,
                                   const SinaWeiboOptions& o)
{
    if (commentId == 0 || statusId == 0 || comment.empty())
        return unsent(TransferFailure::NotSent, "nothing to ask");
    KeyValueMap form;
    form["cid"] = text(commentId);
    form["comment"] = comment;
    form["id"] = text(statusId);
    put(form, "without_mention", o.without_mention_);
    return performPost(makeBaseUrl(WEIBO_API_STATUS_REPLY), form, std::string(), false);
}

Reply<std::string> SinaWeibo::directMessagesNew(const std::string& recipient, const std::string& message,
                                         const SinaWeiboOptions& o)
{
    if (message.empty())
        return unsent(TransferFailure::NotSent, "nothing to ask");
    KeyValueMap form;
    if (!recipient.empty())
        form["id"] = recipient;
    form["text"] = message;
    put(form, "user_id", o.user_id_);
    put(form, "screen_name", o.screen_name_);
    return performPost(makeBaseUrl(WEIBO_API_MESSAGE_NEW), form, std::string(), false);
}

Reply<std::string> SinaWeibo::favoritesCreate(std::uint64_t statusId)
{
    if (statusId == 0)
        return unsent(TransferFailure::NotSent, "nothing to ask");
    KeyValueMap form;
    form["id"] = text(statusId);
    return performPost(makeBaseUrl(WEIBO_API_FAVORITES_CREATE), form, std::string(), false);
}

Reply<std::string> SinaWeibo::friendshipsCreate(const SinaWeiboOptions& o)
{
    KeyValueMap form;
    put(form, "user_id", o.user_id_);
    put(form, "screen_name", o.screen_name_);
    return performPost(makeBaseUrl(WEIBO_API_FRIENDSHIPS_CREATE), form, std::string(), false);
}

Reply<std::string> SinaWeibo::friendshipsDestroy(const SinaWeiboOptions& o)
{
    KeyValueMap form;
    put(form, "user_id", o.user_id_);
    put(form, "screen_name", o.screen_name_);
    return performPost(makeBaseUrl(WEIBO_API_FRIENDSHIPS_DESTROY), form, std::string(), false);
}

Reply<std::string> SinaWeibo::statusResetCount(int type)
{
    if (type == 0)
        return unsent(TransferFailure::NotSent, "nothing to ask");
    KeyValueMap form;
    form["type"] = text(type);
    return performPost(makeBaseUrl(WEIBO_API_STATUS_RESET_COUNT), form, std::string(), false);
}

Reply<std::string> SinaWeibo::statusDestroyById(std::uint64_t statusId)
{
    return statusId == 0 ? unsent(TransferFailure::NotSent, "nothing to ask") : performDelete(makeBaseUrl(WEIBO_API_STATUS_DELETE + text(statusId)));
}

Reply<std::string> SinaWeibo::commentDestroyById(std::uint64_t commentId)
{
    return commentId == 0 ? unsent(TransferFailure::NotSent, "nothing to ask") : performDelete(makeBaseUrl(WEIBO_API_COMMENT_DELETE + text(commentId)));
}

Reply<std::string> SinaWeibo::favoritesDestroy(std::uint64_t statusId)
{
    return statusId == 0 ? unsent(TransferFailure::NotSent, "nothing to ask") : performDelete(makeBaseUrl(WEIBO_API_FAVORITES_DESTROY + text(statusId)));
}

Reply<std::string> SinaWeibo::directMessagesDestroyById(std::uint64_t messageId)
{
    return messageId == 0 ? unsent(TransferFailure::NotSent, "nothing to ask") : performDelete(makeBaseUrl(WEIBO_API_MESSAGE_DELETE + text(messageId)));
}

} // namespace weibo
