// How much building records adds to reading the JSON: each page of 100 items is timed once as a bare
// Json::Reader::parse and once through its parse function, in the same run, and the ratio is printed at the end.
// Repetitions of the two kinds are interleaved at random so that a busy machine slows both alike.
//   bench_model [Google Benchmark flags, which override the defaults set in main]

#include "model/WeiboParser.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// Realistic shapes: the texts, lengths and mix of reposts, pictures and replies of a busy home timeline.
class PageMaker {
public:
    std::string statuses() {
        Json::Value page(Json::arrayValue);
        for (int i = 0; i < 100; ++i) {
            Json::Value status = makeStatus(true);
            if (i % 2 == 0)
                status["retweeted_status"] = makeStatus(true);
            page.append(status);
        }
        return write(page);
    }

    std::string comments() {
        Json::Value page(Json::arrayValue);
        for (int i = 0; i < 100; ++i) {
            Json::Value comment = makeComment();
            comment["status"] = makeStatus(i % 3 == 0);
            if (i % 2 == 1)
                comment["reply_comment"] = makeComment();
            page.append(comment);
        }
        return write(page);
    }

    std::string messages() {
        Json::Value page(Json::arrayValue);
        for (int i = 0; i < 100; ++i) {
            Json::Value message(Json::objectValue);
            message["id"] = Json::UInt64(306500000 + i);
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
        comment["id"] = Json::UInt64(2200000000 + pick(1000000));
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

struct Page {
    std::string name;
    std::string text;
    std::function<size_t(const std::string&)> parse;
};

std::vector<Page>& pages() {
    static std::vector<Page> all = [] {
        PageMaker maker;
        return std::vector<Page>{
            {"statuses", maker.statuses(), [](const std::string& t) { return weibo::parseString<weibo::WBStatus>(t).size(); }},
            {"comments", maker.comments(), [](const std::string& t) { return weibo::parseString<weibo::WBComment>(t).size(); }},
            {"messages", maker.messages(), [](const std::string& t) { return weibo::parseString<weibo::WBMessage>(t).size(); }},
        };
    }();
    return all;
}

void bareParse(benchmark::State& state, const Page* page) {
    const char* begin = page->text.data();
    const char* end = begin + page->text.size();
    for (auto _ : state) {
        Json::Value root;
        Json::Reader reader;
        bool ok = reader.parse(begin, end, root, false);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page->text.size()));
}

void records(benchmark::State& state, const Page* page) {
    size_t count = 0;
    for (auto _ : state) {
        count = page->parse(page->text);
        benchmark::DoNotOptimize(count);
    }
    if (count != 100)
        state.SkipWithError("the page did not give 100 records");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page->text.size()));
}

// Prints the usual table, then one line per page: the best CPU time per page of either kind across repetitions
// (the least disturbed by other work on the machine) and their ratio.
double smallest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // A single run has no aggregates; with repetitions only the "min" aggregate counts.
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool minimum = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
            if (!(single || minimum) || run.error_occurred || run.iterations == 0)
                continue;
            const double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            best_[run.run_name.function_name] = seconds;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-10s %10s %14s %14s %18s\n", "page", "bytes", "bare MB/s", "records MB/s",
                    "records / bare");
        for (const Page& page : pages()) {
            const auto bare = best_.find("bare_parse/" + page.name);
            const auto built = best_.find("records/" + page.name);
            if (bare == best_.end() || built == best_.end())
                continue;
            const double megabytes = static_cast<double>(page.text.size()) / 1e6;
            std::printf("%-10s %10zu %14.1f %14.1f %17.2fx\n", page.name.c_str(), page.text.size(),
                        megabytes / bare->second, megabytes / built->second, built->second / bare->second);
        }
        std::fflush(stdout);
    }

private:
    std::map<std::string, double> best_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const Page& page : pages()) {
        benchmark::RegisterBenchmark(("bare_parse/" + page.name).c_str(), bareParse, &page)
            ->ComputeStatistics("min", smallest);
        benchmark::RegisterBenchmark(("records/" + page.name).c_str(), records, &page)
            ->ComputeStatistics("min", smallest);
    }
    std::vector<char*> args{argv[0]};
    char repetitions[] = "--benchmark_repetitions=10";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    char minTime[] = "--benchmark_min_time=0.2";
    char aggregatesOnly[] = "--benchmark_display_aggregates_only=true";
    args.insert(args.end(), {repetitions, interleave, minTime, aggregatesOnly});
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
