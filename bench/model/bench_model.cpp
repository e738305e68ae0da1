// How much building records adds to reading the JSON: each page of 100 items is timed once as a bare
// Json::Reader::parse and once through its parse function, in the same run, and the ratio is printed at the end.
// Repetitions of the two kinds are interleaved at random so that a busy machine slows both alike.
//   bench_model [Google Benchmark flags, which override the defaults set in main]

#include "PageMaker.h"
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

using benchpages::PageMaker;

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
