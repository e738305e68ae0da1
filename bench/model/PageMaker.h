#pragma once
// Pages of answers as a busy account gets them, for the benchmarks that parse or keep records.
#include <json/json.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

namespace benchpages {

// Realistic shapes: the texts, lengths and mix of reposts, pictures and replies of a busy home timeline.
class PageMaker {
public:
    std::string statuses(int count = 100) {
        Json::Value page(Json::arrayValue);
        for (int i = 0; i < count; ++i) {
            Json::Value status = makeStatus(true);
            if (i % 2 == 0)
                status["retweeted_status"] = makeStatus(true);
            page.append(status);
        }
        return write(page);
    }

    std::string comments(int count = 100) {
        Json::Value page(Json::arrayValue);
        for (int i = 0; i < count; ++i) {
            Json::Value comment = makeComment();
            comment["status"] = makeStatus(i % 3 == 0);
            if (i % 2 == 1)
                comment["reply_comment"] = makeComment();
            page.append(comment);
        }
        return write(page);
    }

    std::string messages(int count = 100) {
        Json::Value page(Json::arrayValue);
        for (int i = 0; i < count; ++i) {
            Json::Value message(Json::objectValue);
            message["id"] = Json::UInt64(nextMessageId_++);
            message["text"] = chinese(8 + pick(60));
            Json::Value sender = makeUser(), recipient = makeUser();
            message["sender_id"] = sender["id"];
            message["recipient_id"] = recipient["id"];
            message["created_at"] = date();
            message["sender_screen_name"] = sender["screen_name"];
            message["recipient_screen_name"] = recipient["screen_name"];
            message["sender"] = sender;
            message["recipient"] = recipient;
            page.append(message);
        }
        return write(page);
    }

private:
    std::mt19937 random_{20080827};
    uint64_t nextId_ = 11142488790;
    uint64_t nextCommentId_ = 2200000000;
    uint64_t nextMessageId_ = 306500000;

    int pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

    std::string chinese(int characters) {
        static const char* const words[] = {"今天", "北京", "天气", "真好", "我们", "一起", "去", "颐和园", "看看",
                                            "红叶", "周末", "朋友", "照片", "分享", "哈哈", "，", "。", "！",
                                            "@王大伟 ", "#周末# ", "[爱你]", "[哈哈]", " http://127.0.0.1:8470/s/h4Dr2k "};
        std::string text;
        while (static_cast<int>(text.size()) < characters * 3)
            text += words[pick(sizeof words / sizeof *words)];
        return text;
    }

    std::string date() {
        static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%s Aug %02d %02d:%02d:%02d +0800 2008", days[pick(7)], 1 + pick(28),
                      pick(24), pick(60), pick(60));
        return buffer;
    }

    Json::Value makeUser() {
        static const char* const names[] = {"李小梅", "王大伟", "张伟_Zhang", "赵静", "陈晨Chen", "刘洋", "摄影师老周"};
        Json::Value user(Json::objectValue);
        const uint64_t id = 1100000000 + pick(900000000);
        user["id"] = Json::UInt64(id);
        user["screen_name"] = names[pick(7)];
        user["name"] = user["screen_name"];
        user["province"] = std::to_string(11 + pick(70));
        user["city"] = std::to_string(1 + pick(20));
        user["location"] = "北京 海淀区";
        user["description"] = chinese(pick(40));
        user["url"] = "http://127.0.0.1:8470/u/" + std::to_string(id);
        user["profile_image_url"] = "http://127.0.0.1:8470/avatar/50/" + std::to_string(id) + ".jpg";
        user["domain"] = "";
        user["gender"] = pick(2) ? "m" : "f";
        user["followers_count"] = pick(100000);
        user["friends_count"] = pick(2000);
        user["statuses_count"] = pick(20000);
        user["favourites_count"] = pick(500);
        user["created_at"] = date();
        user["following"] = pick(2) == 1;
        user["allow_all_act_msg"] = false;
        user["geo_enabled"] = true;
        user["verified"] = pick(10) == 0;
        return user;
    }

    Json::Value makeStatus(bool withUser) {
        Json::Value status(Json::objectValue);
        status["created_at"] = date();
        status["id"] = Json::UInt64(nextId_ += 1 + pick(5000));
        status["text"] = chinese(20 + pick(120));
        status["source"] = "<a href=\"http://127.0.0.1:8470/app/plumet\" rel=\"nofollow\">Plumet</a>";
        status["favorited"] = pick(20) == 0;
        status["truncated"] = false;
        status["in_reply_to_status_id"] = "";
        status["in_reply_to_user_id"] = "";
        status["in_reply_to_screen_name"] = "";
        status["geo"] = Json::Value();
        status["mid"] = std::to_string(3400000000000000ull + nextId_);
        if (pick(3) == 0) {
            const std::string picture = std::to_string(nextId_) + "jw6dlf3kx2p3dj.jpg";
            status["thumbnail_pic"] = "http://127.0.0.1:8470/pic/thumbnail/" + picture;
            status["bmiddle_pic"] = "http://127.0.0.1:8470/pic/bmiddle/" + picture;
            status["original_pic"] = "http://127.0.0.1:8470/pic/large/" + picture;
        }
        if (withUser)
            status["user"] = makeUser();
        return status;
    }

    Json::Value makeComment() {
        Json::Value comment(Json::objectValue);
        comment["id"] = Json::UInt64(nextCommentId_ += 1 + pick(50));
        comment["text"] = chinese(4 + pick(60));
        comment["source"] = "<a href=\"http://127.0.0.1:8470/app/web\" rel=\"nofollow\">网页</a>";
        comment["favorited"] = false;
        comment["truncated"] = false;
        comment["created_at"] = date();
        comment["user"] = makeUser();
        return comment;
    }

    static std::string write(const Json::Value& page) {
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "";
        builder["emitUTF8"] = true;
        return Json::writeString(builder, page);
    }
};

} // namespace benchpages
