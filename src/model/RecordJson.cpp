#include "model/RecordJson.h"

#include <charconv>

namespace weibo {

namespace {

void write(std::string& out, const WBUser& user);
void write(std::string& out, const WBStatus& status);
void write(std::string& out, const WBComment& comment);
void write(std::string& out, const WBMessage& message);

// Appends one JSON object to `out`, a member at a time; members holding their default are not written.
class ObjectWriter {
public:
    explicit ObjectWriter(std::string& out) : out_(out) { out_ += '{'; }
    ~ObjectWriter() { out_ += '}'; }

    ObjectWriter& field(const char* key, const std::string& value) {
        if (!value.empty()) {
            name(key);
            quoted(value);
        }
        return *this;
    }
    ObjectWriter& field(const char* key, uint64_t value) {
        if (value != 0) {
            name(key);
            number(value);
        }
        return *this;
    }
    ObjectWriter& field(const char* key, int value) {
        if (value != 0) {
            name(key);
            number(value);
        }
        return *this;
    }
    ObjectWriter& field(const char* key, bool value) {
        if (value) {
            name(key);
            out_ += "true";
        }
        return *this;
    }
    // A nested record the parser always builds: one that wrote nothing ("{}") is taken back out, since an absent
    // key builds the same record of defaults.
    template <class Record>
    ObjectWriter& record(const char* key, const boost::shared_ptr<Record>& value) {
        if (!value)
            return *this;
        const std::size_t before = out_.size();
        const bool wasFirst = first_;
        name(key);
        const std::size_t opened = out_.size();
        write(out_, *value);
        if (out_.size() == opened + 2) {
            out_.resize(before);
            first_ = wasFirst;
        }
        return *this;
    }
    // A nested record the parser builds only when its key is there: written even when it holds only defaults.
    template <class Record>
    ObjectWriter& optionalRecord(const char* key, const boost::shared_ptr<Record>& value) {
        if (value) {
            name(key);
            write(out_, *value);
        }
        return *this;
    }

private:
    void name(const char* key) {
        if (!first_)
            out_ += ',';
        first_ = false;
        out_ += '"';
        out_ += key;
        out_ += "\":";
    }

    template <class Number>
    void number(Number value) {
        char digits[24];
        const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
        out_.append(digits, end.ptr);
    }

    void quoted(const std::string& text) {
        static const char hex[] = "0123456789abcdef";
        out_ += '"';
        std::size_t plain = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if (c >= 0x20 && c != '"' && c != '\\')
                continue;
            out_.append(text, plain, i - plain);
            plain = i + 1;
            switch (c) {
            case '"': out_ += "\\\""; break;
            case '\\': out_ += "\\\\"; break;
            case '\n': out_ += "\\n"; break;
            case '\r': out_ += "\\r"; break;
            case '\t': out_ += "\\t"; break;
            default:
                out_ += "\\u00";
                out_ += hex[c >> 4];
                out_ += hex[c & 0xF];
            }
        }
        out_.append(text, plain, std::string::npos);
        out_ += '"';
    }

    std::string& out_;
    bool first_ = true;
};

// Members in the records' declaration order, under the keys they are read from.

void write(std::string& out, const WBUser& user) {
    ObjectWriter(out)
        .field("id", user.id)
        .field("screen_name", user.screen_name)
        .field("name", user.name)
        .field("province", user.province)
        .field("city", user.city)
        .field("location", user.location)
        .field("description", user.description)
        .field("url", user.url)
        .field("profile_image_url", user.profile_image_url)
        .field("domain", user.domain)
        .field("gender", user.gender)
        .field("followers_count", user.followers_count)
        .field("friends_count", user.friends_count)
        .field("statuses_count", user.statuses_count)
        .field("favourites_count", user.favourites_count)
        .field("created_at", user.created_at)
        .field("following", user.following)
        .field("verified", user.verified);
}

void write(std::string& out, const WBStatus& status, bool favorited) {
    ObjectWriter(out)
        .field("created_at", status.created_at)
        .field("id", status.id)
        .field("text", status.text)
        .field("source", status.source)
        .field("favorited", favorited)
        .field("truncated", status.truncated)
        .field("in_reply_to_status_id", status.in_reply_to_status_id)
        .field("in_reply_to_user_id", status.in_reply_to_user_id)
        .field("in_reply_to_screen_name", status.in_reply_to_screen_name)
        .field("thumbnail_pic", status.thumbnail_pic)
        .field("bmiddle_pic", status.bmiddle_pic)
        .field("original_pic", status.original_pic)
        .record("user", status.user)
        .optionalRecord("retweeted_status", status.retweeted_status);
}

void write(std::string& out, const WBStatus& status) { write(out, status, status.favorited); }

void write(std::string& out, const WBComment& comment) {
    ObjectWriter(out)
        .field("id", comment.id)
        .field("text", comment.text)
        .field("source", comment.source)
        .field("favorited", comment.favorited)
        .field("truncated", comment.truncated)
        .field("created_at", comment.created_at)
        .record("user", comment.user)
        .record("status", comment.status)
        .optionalRecord("reply_comment", comment.reply_comment);
}

void write(std::string& out, const WBMessage& message) {
    ObjectWriter(out)
        .field("id", message.id)
        .field("text", message.text)
        .field("sender_id", message.sender_id)
        .field("recipient_id", message.recipient_id)
        .field("created_at", message.created_at)
        .field("sender_screen_name", message.sender_screen_name)
        .field("recipient_screen_name", message.recipient_screen_name)
        .record("sender", message.sender)
        .record("recipient", message.recipient);
}

template <class Record, class... Extra>
std::string written(const Record& record, Extra... extra) {
    std::string out;
    out.reserve(1024);
    write(out, record, extra...);
    return out;
}

}  // namespace

std::string toJson(const WBUser& user) { return written(user); }
std::string toJson(const WBStatus& status) { return written(status); }
std::string toJson(const WBStatus& status, bool favorited) { return written(status, favorited); }
std::string toJson(const WBComment& comment) { return written(comment); }
std::string toJson(const WBMessage& message) { return written(message); }

}  // namespace weibo
