#pragma once
// The records the rest of Plumet reads, and the functions that turn the service's JSON answers into them.
//
// Records are plain structures named after the JSON keys they are read from, built in one step from one node of
// the JsonCpp value tree and shared through boost::shared_ptr. Texts are the UTF-8 bytes exactly as the service
// sent them; ids are unsigned 64-bit (0 means no id); counters are int.
//
// A record constructor throws (a Json::Exception) when a field holds a JSON kind its conversion refuses, or when
// the node is neither an object nor null. The parse functions below never throw: any such failure, anywhere in
// the answer, gives the function's empty result.
//
// print() writes a record's fields, nested records included, to standard output for a look while debugging;
// print(out) writes the same to a stream of the caller's. WBCount has none: its three numbers are read directly.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include <boost/multi_index/hashed_index.hpp>
#include <boost/multi_index/member.hpp>
#include <boost/multi_index_container.hpp>
#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>
#include <json/json.h>

namespace weibo {

struct WBUser {
    explicit WBUser(const Json::Value& node = Json::Value::nullSingleton());
    bool isValid() const;
    // Every field as "name: value" lines under the type name, nested records indented; to standard output.
    void print() const;
    void print(std::ostream& out) const;

    uint64_t id = 0;
    std::string screen_name;
    std::string name;
    std::string province;
    std::string city;
    std::string location;
    std::string description;
    std::string url;
    std::string profile_image_url;
    std::string domain;
    std::string gender;
    int followers_count = 0;
    int friends_count = 0;
    int statuses_count = 0;
    int favourites_count = 0;
    std::string created_at;
    bool following = false;
    bool verified = false;
};

struct WBStatus {
    explicit WBStatus(const Json::Value& node = Json::Value::nullSingleton());
    bool isValid() const;
    void print() const;
    void print(std::ostream& out) const;

    std::string created_at;
    uint64_t id = 0;
    std::string text;
    std::string source;
    // The only field changed after construction: the timeline engine flips it on the main thread.
    bool favorited = false;
    bool truncated = false;
    std::string in_reply_to_status_id;
    std::string in_reply_to_user_id;
    std::string in_reply_to_screen_name;
    std::string thumbnail_pic;
    std::string bmiddle_pic;
    std::string original_pic;
    boost::shared_ptr<WBUser> user;                // never empty
    boost::shared_ptr<WBStatus> retweeted_status;  // empty unless the status is a repost
};

struct WBComment {
    explicit WBComment(const Json::Value& node = Json::Value::nullSingleton());
    bool isValid() const;
    void print() const;
    void print(std::ostream& out) const;

    uint64_t id = 0;
    std::string text;
    std::string source;
    bool favorited = false;
    bool truncated = false;
    std::string created_at;
    boost::shared_ptr<WBUser> user;              // never empty
    boost::shared_ptr<WBStatus> status;          // never empty; id 0 when the answer had none
    boost::shared_ptr<WBComment> reply_comment;  // empty unless the comment answers another
};

struct WBMessage {
    explicit WBMessage(const Json::Value& node = Json::Value::nullSingleton());
    bool isValid() const;
    void print() const;
    void print(std::ostream& out) const;

    uint64_t id = 0;
    std::string text;
    uint64_t sender_id = 0;
    uint64_t recipient_id = 0;
    std::string created_at;
    std::string sender_screen_name;
    std::string recipient_screen_name;
    boost::shared_ptr<WBUser> sender;     // never empty
    boost::shared_ptr<WBUser> recipient;  // never empty
};

struct WBList {
    explicit WBList(const Json::Value& node = Json::Value::nullSingleton());
    bool isValid() const;
    void print() const;
    void print(std::ostream& out) const;

    uint64_t id = 0;
    std::string name;
    std::string full_name;
    std::string slug;
    std::string description;
    int subscriber_count = 0;
    int member_count = 0;
    std::string uri;
    std::string mode;
    boost::shared_ptr<WBUser> user;  // the owner; never empty
};

struct WBEmotion {
    explicit WBEmotion(const Json::Value& node = Json::Value::nullSingleton());
    bool isValid() const;
    void print() const;
    void print(std::ostream& out) const;

    std::string phrase;  // without its brackets: "[哈哈]" is stored as "哈哈"
    std::string type;
    std::string url;
    bool is_hot = false;
    bool is_common = false;
    int order_number = 0;
    std::string category;
};

struct WBCount {
    explicit WBCount(const Json::Value& node = Json::Value::nullSingleton());

    uint64_t status_id = 0;  // read from "id"
    int comments = 0;
    int rt = 0;              // reposts
};

// A counter that is not a whole number from 0 up (text, a fraction, a negative or an out-of-range number) reads as
// -1, "not reported", so that a hostile answer cannot clear or flood the badges.
struct WBUnread {
    explicit WBUnread(const Json::Value& node = Json::Value::nullSingleton());
    void print() const;
    void print(std::ostream& out) const;

    int comments = 0;
    int followers = 0;
    int new_status = -1;  // -1 when the service did not report it, so that it differs from "none new"
    int dm = 0;
    int mentions = 0;
};

struct WBFollow {
    explicit WBFollow(const Json::Value& node = Json::Value::nullSingleton());
    void print() const;
    void print(std::ostream& out) const;

    uint64_t id = 0;
    std::string screen_name;
    bool following = false;
    bool followed_by = false;
    bool notifications_enabled = false;
};

struct WBFriendship {
    explicit WBFriendship(const Json::Value& node = Json::Value::nullSingleton());
    void print() const;
    void print(std::ostream& out) const;

    boost::shared_ptr<WBFollow> source;  // never empty
    boost::shared_ptr<WBFollow> target;  // never empty
};

// One member of a user list: the user is the member object itself, the status its latest post.
struct WBUserStatus {
    explicit WBUserStatus(const Json::Value& node = Json::Value::nullSingleton());
    bool isValid() const;
    void print() const;
    void print(std::ostream& out) const;

    boost::shared_ptr<WBUser> user;      // never empty
    boost::shared_ptr<WBStatus> status;  // empty when the member object had none
};

struct WBVideo {
    explicit WBVideo(const Json::Value& node = Json::Value::nullSingleton());
    bool isValid() const;  // type is exactly "video"
    void print() const;
    void print(std::ostream& out) const;

    std::string url;
    std::string type;
    std::string title;
    std::string screen;
    std::string flash;
    std::string mp4;
    std::string icon;
};

struct WBSuggestionAtUser {
    explicit WBSuggestionAtUser(const Json::Value& node = Json::Value::nullSingleton());
    bool isValid() const;
    void print() const;
    void print(std::ostream& out) const;

    std::string uid;
    std::string nickname;
    std::string remark;
};

// Comment and repost counts by status id: one entry per id, found in constant time.
typedef boost::multi_index_container<
    boost::shared_ptr<WBCount>,
    boost::multi_index::indexed_by<boost::multi_index::hashed_unique<
        boost::multi_index::member<WBCount, uint64_t, &WBCount::status_id>>>>
    WBCountTable;

// What an answer held besides its valid records, for a caller that must tell "nothing new" from "nothing
// readable": whether it was JSON at all, whether it was the service's error object, how many elements it offered
// and how many of those could not be read (and were left out).
struct PageShape {
    bool readable = false;
    bool errorObject = false;
    std::size_t elements = 0;
    std::size_t unreadable = 0;
};

// Valid records of a single-object or array answer, in the answer's order; empty for an error object. An element
// that cannot be read is left out on its own. Instantiated for WBStatus, WBComment, WBMessage, WBUser, WBEmotion and
// WBSuggestionAtUser. `shape`, when given, receives what the answer held.
template <class T>
std::vector<boost::shared_ptr<T>> parseString(const std::string& text, PageShape* shape = nullptr) noexcept;

extern template std::vector<boost::shared_ptr<WBStatus>> parseString<WBStatus>(const std::string&, PageShape*) noexcept;
extern template std::vector<boost::shared_ptr<WBComment>> parseString<WBComment>(const std::string&,
                                                                                PageShape*) noexcept;
extern template std::vector<boost::shared_ptr<WBMessage>> parseString<WBMessage>(const std::string&,
                                                                                PageShape*) noexcept;
extern template std::vector<boost::shared_ptr<WBUser>> parseString<WBUser>(const std::string&, PageShape*) noexcept;
extern template std::vector<boost::shared_ptr<WBEmotion>> parseString<WBEmotion>(const std::string&,
                                                                                PageShape*) noexcept;
extern template std::vector<boost::shared_ptr<WBSuggestionAtUser>> parseString<WBSuggestionAtUser>(
    const std::string&, PageShape*) noexcept;

// The valid lists under the answer's "lists".
std::vector<boost::shared_ptr<WBList>> parseLists(const std::string& text, PageShape* shape = nullptr) noexcept;

// The valid members under the answer's "users", with the answer's paging numbers (all 0 when it is unusable).
std::vector<boost::shared_ptr<WBUserStatus>> parseListMembers(const std::string& text, int& previous_cursor,
                                                              int& next_cursor, int& total_number,
                                                              PageShape* shape = nullptr) noexcept;

// Every readable count of the answer, valid or not; the first entry of a repeated status id wins.
WBCountTable parseCounts(const std::string& text, PageShape* shape = nullptr) noexcept;

// The counters when the answer is an object (an error object included: all 0, new_status -1).
boost::optional<WBUnread> parseUnread(const std::string& text) noexcept;

// The friendship of any answer that parses to an object or null; empty otherwise.
boost::shared_ptr<WBFriendship> parseFriendship(const std::string& text) noexcept;

// The video filed under data.<key> of a short-URL information answer, not tested for validity; empty otherwise.
boost::shared_ptr<WBVideo> parseVideo(const std::string& text, const std::string& key) noexcept;

// The service's message and code from an error object. A member the object lacks leaves its out-text as passed;
// an answer that parses to anything but an object clears both; unparsable or unreadable answers change neither.
// A numeric code (the version-2 form) is given as its decimal text.
void parseError(const std::string& text, std::string& error, std::string& error_code) noexcept;

// The answer with every "\\u" escape of a lone UTF-16 surrogate (an emoji cut in half) written as U+FFFD, so that
// one broken character does not make the whole answer unreadable. Every parser above reads through it.
std::string repairLoneSurrogateEscapes(const std::string& text);

// Whether the answer is a JSON document at all (an empty list is; a truncated page or an HTML error page is not).
bool isReadableAnswer(const std::string& text) noexcept;

}  // namespace weibo
