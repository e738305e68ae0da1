#include "model/WeiboParser.h"

#include <boost/make_shared.hpp>

#include <iostream>
#include <sstream>

namespace weibo {

namespace {

const Json::Value& nullNode() { return Json::Value::nullSingleton(); }

// Fields are read by key, which only an object allows; the null node of an absent key reads as all defaults.
void requireReadable(const Json::Value& node) {
    if (node.type() != Json::objectValue && node.type() != Json::nullValue)
        throw Json::LogicError("in Json::Value::find(begin, end): requires objectValue or nullValue");
}

template <std::size_t N>
const Json::Value& member(const Json::Value& node, const char (&key)[N]) {
    const Json::Value* found = node.find(key, key + N - 1);
    return found ? *found : nullNode();
}

// The five conversions. Id and count are JsonCpp's own; text and flag are written out because JsonCpp 1.9
// turns numbers into text and refuses strings as flags, the opposite of what the records rely on.

uint64_t readId(const Json::Value& v) {
    if (v.type() == Json::realValue) {
        // JsonCpp lets 2^64 itself through its range test and then converts it, which is undefined.
        const double d = v.asDouble();
        if (!(d >= 0.0 && d < 18446744073709551616.0))
            throw Json::LogicError("double out of UInt64 range");
        return static_cast<uint64_t>(d);
    }
    return v.asUInt64();
}

int readCount(const Json::Value& v) { return v.asInt(); }

std::string readText(const Json::Value& v) {
    switch (v.type()) {
    case Json::nullValue:
        return std::string();
    case Json::stringValue: {
        const char* begin = nullptr;
        const char* end = nullptr;
        if (!v.getString(&begin, &end))
            return std::string();
        return std::string(begin, end);
    }
    case Json::booleanValue:
        return v.asBool() ? "true" : "false";
    default:
        throw Json::LogicError("Type is not convertible to string");
    }
}

bool readFlag(const Json::Value& v) {
    switch (v.type()) {
    case Json::nullValue:
        return false;
    case Json::booleanValue:
        return v.asBool();
    case Json::intValue:
        return v.asLargestInt() != 0;
    case Json::uintValue:
        return v.asLargestUInt() != 0;
    case Json::realValue:
        return v.asDouble() != 0.0;
    case Json::stringValue: {
        const char* begin = nullptr;
        const char* end = nullptr;
        return v.getString(&begin, &end) && begin != end;
    }
    case Json::arrayValue:
    case Json::objectValue:
        return v.size() != 0;
    }
    return false;
}

// A nested record that may be missing: built only from a present, non-null node.
template <class T>
boost::shared_ptr<T> optionalRecord(const Json::Value& v) {
    if (v.isNull())
        return boost::shared_ptr<T>();
    return boost::make_shared<T>(v);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code unit of a "\uXXXX" escape starting at i, or -1.
long escapedUnit(const std::string& text, std::size_t i) {
    if (i + 6 > text.size() || text[i] != '\\' || text[i + 1] != 'u') return -1;
    long unit = 0;
    for (std::size_t k = i + 2; k < i + 6; ++k) {
        const int h = hexValue(text[k]);
        if (h < 0) return -1;
        unit = unit * 16 + h;
    }
    return unit;
}

bool parseDocument(const std::string& text, Json::Value& root) {
    Json::Reader reader;
    const std::string repaired = weibo::repairLoneSurrogateEscapes(text);
    const char* begin = repaired.data();
    return reader.parse(begin, begin + repaired.size(), root, false);
}

bool isErrorObject(const Json::Value& node) {
    return !member(node, "error").isNull() || !member(node, "error_code").isNull();
}

// Records stand either as one object or as an array of objects. Fn receives every record built; an error object
// and any node that is neither array nor object give none. An element that cannot be read (an id given as text, a
// count out of range) is left out on its own: one hostile item must not take its whole page with it.
template <class T, class Fn>
void eachRecord(const Json::Value& node, Fn&& fn, PageShape* shape) {
    auto offer = [&](const Json::Value& element) {
        if (shape)
            ++shape->elements;
        try {
            fn(boost::make_shared<T>(element));
        } catch (const std::exception&) {
            if (shape)
                ++shape->unreadable;
        }
    };
    if (node.isArray()) {
        for (const Json::Value& element : node)
            offer(element);
    } else if (node.isObject() && !isErrorObject(node)) {
        offer(node);
    } else if (shape && node.isObject()) {
        shape->errorObject = true;
    }
}

template <class T>
std::vector<boost::shared_ptr<T>> validRecords(const Json::Value& node, PageShape* shape) {
    std::vector<boost::shared_ptr<T>> records;
    if (node.isArray())
        records.reserve(node.size());
    eachRecord<T>(node, [&records](boost::shared_ptr<T>&& record) {
        if (record->isValid())
            records.push_back(std::move(record));
    }, shape);
    return records;
}

}  // namespace

namespace {

// Writes a record as its type name, then one "  name: value" line per field. Texts are quoted with their line
// breaks, quotes and backslashes escaped, so one field stays on one line; a nested record follows its field
// name and its lines are indented once more; an empty one prints as (none).
class RecordPrinter {
public:
    RecordPrinter(std::ostream& out, const char* type) : out_(out) { out_ << type << '\n'; }

    RecordPrinter& field(const char* name, const std::string& value) {
        out_ << "  " << name << ": \"";
        for (char c : value) {
            if (c == '\n') out_ << "\\n";
            else if (c == '\r') out_ << "\\r";
            else if (c == '"' || c == '\\') out_ << '\\' << c;
            else out_ << c;
        }
        out_ << "\"\n";
        return *this;
    }
    RecordPrinter& field(const char* name, bool value) {
        out_ << "  " << name << ": " << (value ? "true" : "false") << '\n';
        return *this;
    }
    RecordPrinter& field(const char* name, int value) {
        out_ << "  " << name << ": " << value << '\n';
        return *this;
    }
    RecordPrinter& field(const char* name, uint64_t value) {
        out_ << "  " << name << ": " << value << '\n';
        return *this;
    }
    template <class Record>
    RecordPrinter& record(const char* name, const boost::shared_ptr<Record>& value) {
        out_ << "  " << name << ": ";
        if (!value) {
            out_ << "(none)\n";
            return *this;
        }
        std::ostringstream inner;
        value->print(inner);
        const std::string text = inner.str();
        // Every line a record prints ends in a line break, the last one included.
        for (std::size_t start = 0, end; start < text.size() && (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            if (start) out_ << "  ";
            out_.write(text.data() + start, static_cast<std::streamsize>(end - start + 1));
        }
        return *this;
    }

private:
    std::ostream& out_;
};

}  // namespace

WBUser::WBUser(const Json::Value& node) {
    requireReadable(node);
    id = readId(member(node, "id"));
    screen_name = readText(member(node, "screen_name"));
    name = readText(member(node, "name"));
    province = readText(member(node, "province"));
    city = readText(member(node, "city"));
    location = readText(member(node, "location"));
    description = readText(member(node, "description"));
    url = readText(member(node, "url"));
    profile_image_url = readText(member(node, "profile_image_url"));
    domain = readText(member(node, "domain"));
    gender = readText(member(node, "gender"));
    followers_count = readCount(member(node, "followers_count"));
    friends_count = readCount(member(node, "friends_count"));
    statuses_count = readCount(member(node, "statuses_count"));
    favourites_count = readCount(member(node, "favourites_count"));
    created_at = readText(member(node, "created_at"));
    following = readFlag(member(node, "following"));
    verified = readFlag(member(node, "verified"));
}

bool WBUser::isValid() const { return id != 0 && !screen_name.empty(); }
void WBUser::print() const { print(std::cout); }

void WBUser::print(std::ostream& out) const {
    RecordPrinter(out, "WBUser")
        .field("id", id)
        .field("screen_name", screen_name)
        .field("name", name)
        .field("province", province)
        .field("city", city)
        .field("location", location)
        .field("description", description)
        .field("url", url)
        .field("profile_image_url", profile_image_url)
        .field("domain", domain)
        .field("gender", gender)
        .field("followers_count", followers_count)
        .field("friends_count", friends_count)
        .field("statuses_count", statuses_count)
        .field("favourites_count", favourites_count)
        .field("created_at", created_at)
        .field("following", following)
        .field("verified", verified);
}

WBStatus::WBStatus(const Json::Value& node) {
    requireReadable(node);
    created_at = readText(member(node, "created_at"));
    id = readId(member(node, "id"));
    text = readText(member(node, "text"));
    source = readText(member(node, "source"));
    favorited = readFlag(member(node, "favorited"));
    truncated = readFlag(member(node, "truncated"));
    in_reply_to_status_id = readText(member(node, "in_reply_to_status_id"));
    in_reply_to_user_id = readText(member(node, "in_reply_to_user_id"));
    in_reply_to_screen_name = readText(member(node, "in_reply_to_screen_name"));
    thumbnail_pic = readText(member(node, "thumbnail_pic"));
    bmiddle_pic = readText(member(node, "bmiddle_pic"));
    original_pic = readText(member(node, "original_pic"));
    user = boost::make_shared<WBUser>(member(node, "user"));
    retweeted_status = optionalRecord<WBStatus>(member(node, "retweeted_status"));
}

bool WBStatus::isValid() const { return id != 0 && !text.empty(); }
void WBStatus::print() const { print(std::cout); }

void WBStatus::print(std::ostream& out) const {
    RecordPrinter(out, "WBStatus")
        .field("created_at", created_at)
        .field("id", id)
        .field("text", text)
        .field("source", source)
        .field("favorited", favorited)
        .field("truncated", truncated)
        .field("in_reply_to_status_id", in_reply_to_status_id)
        .field("in_reply_to_user_id", in_reply_to_user_id)
        .field("in_reply_to_screen_name", in_reply_to_screen_name)
        .field("thumbnail_pic", thumbnail_pic)
        .field("bmiddle_pic", bmiddle_pic)
        .field("original_pic", original_pic)
        .record("user", user)
        .record("retweeted_status", retweeted_status);
}

WBComment::WBComment(const Json::Value& node) {
    requireReadable(node);
    id = readId(member(node, "id"));
    text = readText(member(node, "text"));
    source = readText(member(node, "source"));
    favorited = readFlag(member(node, "favorited"));
    truncated = readFlag(member(node, "truncated"));
    created_at = readText(member(node, "created_at"));
    user = boost::make_shared<WBUser>(member(node, "user"));
    status = boost::make_shared<WBStatus>(member(node, "status"));
    reply_comment = optionalRecord<WBComment>(member(node, "reply_comment"));
}

bool WBComment::isValid() const { return id != 0 && !text.empty(); }
void WBComment::print() const { print(std::cout); }

void WBComment::print(std::ostream& out) const {
    RecordPrinter(out, "WBComment")
        .field("id", id)
        .field("text", text)
        .field("source", source)
        .field("favorited", favorited)
        .field("truncated", truncated)
        .field("created_at", created_at)
        .record("user", user)
        .record("status", status)
        .record("reply_comment", reply_comment);
}

WBMessage::WBMessage(const Json::Value& node) {
    requireReadable(node);
    id = readId(member(node, "id"));
    text = readText(member(node, "text"));
    sender_id = readId(member(node, "sender_id"));
    recipient_id = readId(member(node, "recipient_id"));
    created_at = readText(member(node, "created_at"));
    sender_screen_name = readText(member(node, "sender_screen_name"));
    recipient_screen_name = readText(member(node, "recipient_screen_name"));
    sender = boost::make_shared<WBUser>(member(node, "sender"));
    recipient = boost::make_shared<WBUser>(member(node, "recipient"));
}

bool WBMessage::isValid() const { return id != 0 && !text.empty(); }
void WBMessage::print() const { print(std::cout); }

void WBMessage::print(std::ostream& out) const {
    RecordPrinter(out, "WBMessage")
        .field("id", id)
        .field("text", text)
        .field("sender_id", sender_id)
        .field("recipient_id", recipient_id)
        .field("created_at", created_at)
        .field("sender_screen_name", sender_screen_name)
        .field("recipient_screen_name", recipient_screen_name)
        .record("sender", sender)
        .record("recipient", recipient);
}

WBList::WBList(const Json::Value& node) {
    requireReadable(node);
    id = readId(member(node, "id"));
    name = readText(member(node, "name"));
    full_name = readText(member(node, "full_name"));
    slug = readText(member(node, "slug"));
    description = readText(member(node, "description"));
    subscriber_count = readCount(member(node, "subscriber_count"));
    member_count = readCount(member(node, "member_count"));
    uri = readText(member(node, "uri"));
    mode = readText(member(node, "mode"));
    user = boost::make_shared<WBUser>(member(node, "user"));
}

bool WBList::isValid() const { return id != 0 && !name.empty(); }
void WBList::print() const { print(std::cout); }

void WBList::print(std::ostream& out) const {
    RecordPrinter(out, "WBList")
        .field("id", id)
        .field("name", name)
        .field("full_name", full_name)
        .field("slug", slug)
        .field("description", description)
        .field("subscriber_count", subscriber_count)
        .field("member_count", member_count)
        .field("uri", uri)
        .field("mode", mode)
        .record("user", user);
}

WBEmotion::WBEmotion(const Json::Value& node) {
    requireReadable(node);
    phrase = readText(member(node, "phrase"));
    if (phrase.size() > 2 && phrase.front() == '[' && phrase.back() == ']')
        phrase = phrase.substr(1, phrase.size() - 2);
    type = readText(member(node, "type"));
    url = readText(member(node, "url"));
    is_hot = readFlag(member(node, "is_hot"));
    is_common = readFlag(member(node, "is_common"));
    order_number = readCount(member(node, "order_number"));
    category = readText(member(node, "category"));
}

bool WBEmotion::isValid() const { return !phrase.empty() && !type.empty() && !url.empty(); }
void WBEmotion::print() const { print(std::cout); }

void WBEmotion::print(std::ostream& out) const {
    RecordPrinter(out, "WBEmotion")
        .field("phrase", phrase)
        .field("type", type)
        .field("url", url)
        .field("is_hot", is_hot)
        .field("is_common", is_common)
        .field("order_number", order_number)
        .field("category", category);
}

WBCount::WBCount(const Json::Value& node) {
    requireReadable(node);
    status_id = readId(member(node, "id"));
    comments = readCount(member(node, "comments"));
    rt = readCount(member(node, "rt"));
}

namespace {
// An unread counter: absent reads as 0 (the service leaves out what has nothing new), anything but a whole number
// from 0 up as -1.
int readCounter(const Json::Value& v, int absent) {
    if (v.isNull())
        return absent;
    if (v.type() == Json::intValue && v.asLargestInt() >= 0 && v.asLargestInt() <= INT32_MAX)
        return int(v.asLargestInt());
    if (v.type() == Json::uintValue && v.asLargestUInt() <= uint64_t(INT32_MAX))
        return int(v.asLargestUInt());
    return -1;
}
}  // namespace

WBUnread::WBUnread(const Json::Value& node) {
    requireReadable(node);
    comments = readCounter(member(node, "comments"), 0);
    followers = readCounter(member(node, "followers"), 0);
    new_status = readCounter(member(node, "new_status"), -1);
    dm = readCounter(member(node, "dm"), 0);
    mentions = readCounter(member(node, "mentions"), 0);
}

void WBUnread::print() const { print(std::cout); }

void WBUnread::print(std::ostream& out) const {
    RecordPrinter(out, "WBUnread")
        .field("comments", comments)
        .field("followers", followers)
        .field("new_status", new_status)
        .field("dm", dm)
        .field("mentions", mentions);
}

WBFollow::WBFollow(const Json::Value& node) {
    requireReadable(node);
    id = readId(member(node, "id"));
    screen_name = readText(member(node, "screen_name"));
    following = readFlag(member(node, "following"));
    followed_by = readFlag(member(node, "followed_by"));
    notifications_enabled = readFlag(member(node, "notifications_enabled"));
}

void WBFollow::print() const { print(std::cout); }

void WBFollow::print(std::ostream& out) const {
    RecordPrinter(out, "WBFollow")
        .field("id", id)
        .field("screen_name", screen_name)
        .field("following", following)
        .field("followed_by", followed_by)
        .field("notifications_enabled", notifications_enabled);
}

WBFriendship::WBFriendship(const Json::Value& node) {
    requireReadable(node);
    source = boost::make_shared<WBFollow>(member(node, "source"));
    target = boost::make_shared<WBFollow>(member(node, "target"));
}

void WBFriendship::print() const { print(std::cout); }

void WBFriendship::print(std::ostream& out) const {
    RecordPrinter(out, "WBFriendship")
        .record("source", source)
        .record("target", target);
}

WBUserStatus::WBUserStatus(const Json::Value& node) {
    requireReadable(node);
    user = boost::make_shared<WBUser>(node);
    status = optionalRecord<WBStatus>(member(node, "status"));
}

bool WBUserStatus::isValid() const { return user->isValid() && (!status || status->isValid()); }
void WBUserStatus::print() const { print(std::cout); }

void WBUserStatus::print(std::ostream& out) const {
    RecordPrinter(out, "WBUserStatus")
        .record("user", user)
        .record("status", status);
}

WBVideo::WBVideo(const Json::Value& node) {
    requireReadable(node);
    url = readText(member(node, "url"));
    type = readText(member(node, "type"));
    title = readText(member(node, "title"));
    screen = readText(member(node, "screen"));
    mp4 = readText(member(node, "mp4"));
    icon = readText(member(node, "icon"));
    flash = readText(member(node, "flash"));
}

bool WBVideo::isValid() const { return type == "video"; }
void WBVideo::print() const { print(std::cout); }

void WBVideo::print(std::ostream& out) const {
    RecordPrinter(out, "WBVideo")
        .field("url", url)
        .field("type", type)
        .field("title", title)
        .field("screen", screen)
        .field("flash", flash)
        .field("mp4", mp4)
        .field("icon", icon);
}

WBSuggestionAtUser::WBSuggestionAtUser(const Json::Value& node) {
    requireReadable(node);
    uid = readText(member(node, "uid"));
    nickname = readText(member(node, "nickname"));
    remark = readText(member(node, "remark"));
}

bool WBSuggestionAtUser::isValid() const { return !uid.empty() && !nickname.empty(); }
void WBSuggestionAtUser::print() const { print(std::cout); }

void WBSuggestionAtUser::print(std::ostream& out) const {
    RecordPrinter(out, "WBSuggestionAtUser")
        .field("uid", uid)
        .field("nickname", nickname)
        .field("remark", remark);
}

// Every parse function builds its whole result in locals and hands it over only when nothing failed, so a
// malformed answer never reaches a caller half-read, and nothing thrown by the reader or a record escapes.

namespace {
// The document of an answer; `shape` learns whether it was JSON at all.
bool readDocument(const std::string& text, Json::Value& root, PageShape* shape) {
    if (shape)
        *shape = PageShape();
    const bool readable = parseDocument(text, root);
    if (shape)
        shape->readable = readable;
    return readable;
}
}  // namespace

template <class T>
std::vector<boost::shared_ptr<T>> parseString(const std::string& text, PageShape* shape) noexcept {
    try {
        Json::Value root;
        if (!readDocument(text, root, shape))
            return {};
        return validRecords<T>(root, shape);
    } catch (...) {
        return {};
    }
}

template std::vector<boost::shared_ptr<WBStatus>> parseString<WBStatus>(const std::string&, PageShape*) noexcept;
template std::vector<boost::shared_ptr<WBComment>> parseString<WBComment>(const std::string&, PageShape*) noexcept;
template std::vector<boost::shared_ptr<WBMessage>> parseString<WBMessage>(const std::string&, PageShape*) noexcept;
template std::vector<boost::shared_ptr<WBUser>> parseString<WBUser>(const std::string&, PageShape*) noexcept;
template std::vector<boost::shared_ptr<WBEmotion>> parseString<WBEmotion>(const std::string&, PageShape*) noexcept;
template std::vector<boost::shared_ptr<WBSuggestionAtUser>> parseString<WBSuggestionAtUser>(
    const std::string&, PageShape*) noexcept;

std::vector<boost::shared_ptr<WBList>> parseLists(const std::string& text, PageShape* shape) noexcept {
    try {
        Json::Value root;
        if (!readDocument(text, root, shape) || !root.isObject())
            return {};
        if (shape && isErrorObject(root))
            shape->errorObject = true;
        return validRecords<WBList>(member(root, "lists"), shape);
    } catch (...) {
        return {};
    }
}

std::vector<boost::shared_ptr<WBUserStatus>> parseListMembers(const std::string& text, int& previous_cursor,
                                                              int& next_cursor, int& total_number,
                                                              PageShape* shape) noexcept {
    previous_cursor = 0;
    next_cursor = 0;
    total_number = 0;
    try {
        Json::Value root;
        if (!readDocument(text, root, shape) || !root.isObject())
            return {};
        if (shape && isErrorObject(root))
            shape->errorObject = true;
        std::vector<boost::shared_ptr<WBUserStatus>> members =
            validRecords<WBUserStatus>(member(root, "users"), shape);
        const int previous = readCount(member(root, "previous_cursor"));
        const int next = readCount(member(root, "next_cursor"));
        const int total = readCount(member(root, "total_number"));
        previous_cursor = previous;
        next_cursor = next;
        total_number = total;
        return members;
    } catch (...) {
        return {};
    }
}

WBCountTable parseCounts(const std::string& text, PageShape* shape) noexcept {
    try {
        Json::Value root;
        if (!readDocument(text, root, shape))
            return WBCountTable();
        WBCountTable table;
        // insert() refuses an id already present, which keeps the first occurrence.
        eachRecord<WBCount>(root, [&table](boost::shared_ptr<WBCount>&& count) { table.insert(std::move(count)); },
                            shape);
        return table;
    } catch (...) {
        return WBCountTable();
    }
}

boost::optional<WBUnread> parseUnread(const std::string& text) noexcept {
    try {
        Json::Value root;
        if (!parseDocument(text, root) || !root.isObject())
            return boost::none;
        return WBUnread(root);
    } catch (...) {
        return boost::none;
    }
}

boost::shared_ptr<WBFriendship> parseFriendship(const std::string& text) noexcept {
    try {
        Json::Value root;
        if (!parseDocument(text, root))
            return boost::shared_ptr<WBFriendship>();
        return boost::make_shared<WBFriendship>(root);
    } catch (...) {
        return boost::shared_ptr<WBFriendship>();
    }
}

boost::shared_ptr<WBVideo> parseVideo(const std::string& text, const std::string& key) noexcept {
    try {
        Json::Value root;
        if (!parseDocument(text, root) || !root.isObject())
            return boost::shared_ptr<WBVideo>();
        const Json::Value& data = member(root, "data");
        if (!data.isObject())
            return boost::shared_ptr<WBVideo>();
        const Json::Value* video = data.find(key.data(), key.data() + key.size());
        if (!video || !video->isObject())
            return boost::shared_ptr<WBVideo>();
        return boost::make_shared<WBVideo>(*video);
    } catch (...) {
        return boost::shared_ptr<WBVideo>();
    }
}

void parseError(const std::string& text, std::string& error, std::string& error_code) noexcept {
    try {
        Json::Value root;
        if (!parseDocument(text, root))
            return;
        if (!root.isObject()) {
            error.clear();
            error_code.clear();
            return;
        }
        const Json::Value& message = member(root, "error");
        const Json::Value& code = member(root, "error_code");
        std::string messageText;
        std::string codeText;
        if (!message.isNull())
            messageText = readText(message);
        if (code.type() == Json::intValue)
            codeText = std::to_string(code.asLargestInt());
        else if (code.type() == Json::uintValue)
            codeText = std::to_string(code.asLargestUInt());
        else if (!code.isNull())
            codeText = readText(code);
        // Assigned only once both have been read, so an unreadable member changes neither.
        if (!message.isNull())
            error.swap(messageText);
        if (!code.isNull())
            error_code.swap(codeText);
    } catch (...) {
    }
}

std::string repairLoneSurrogateEscapes(const std::string& text) {
    if (text.find("\\u") == std::string::npos) return text;
    std::string out;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') continue;
        const long unit = escapedUnit(text, i);
        if (unit < 0) {
            ++i;  // another escape: its second character is never the start of one
            continue;
        }
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high) {
            const long next = escapedUnit(text, i + 6);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                i += 11;  // a whole pair
                continue;
            }
        }
        if (high || low) {
            out.append(text, copied, i - copied);
            out += "\\ufffd";
            copied = i + 6;
        }
        i += 5;
    }
    if (copied == 0) return text;
    out.append(text, copied, std::string::npos);
    return out;
}

bool isReadableAnswer(const std::string& text) noexcept {
    try {
        Json::Value root;
        return !text.empty() && parseDocument(text, root);
    } catch (...) {
        return false;
    }
}

}  // namespace weibo
