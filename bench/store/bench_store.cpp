// The timeline store with five lists of 1024 stored items (home, mentions, favourites: statuses, half of them
// reposts; comments received; received messages), in a file made once in a private folder:
// - open_and_read/first_list, /five_lists: opening the store and reading the home list, or all five;
//   /start: what a start needs before the first list shows: the home list read and the other four lists' summaries
//   (their badges); "cold" drops the file from the page cache before each run, as after a reboot;
// - hand_over_merge_of_100: the caller's time to hand over the home list after a merge of 100 new items (the rows
//   built from the list's records and save()); the writer's time to write it follows as writer_ms;
// - database_size: the file once written and closed (its WAL folded in), and while open;
// - memory_of_read_lists: the heap and resident memory that holding the five lists read costs (and the home list
//   alone, as a start reads it), and what keeping each item's JSON text beside its records (the alternative to
//   writing records back) would add.
//   bench_store [Google Benchmark flags]
#include "PageMaker.h"
#include "model/RecordJson.h"
#include "model/WeiboParser.h"
#include "store/TimelineStore.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using store::ListKind;
using store::Row;
using store::TimelineStore;

constexpr int kItems = 1024;
const ListKind kFive[] = {ListKind::Home, ListKind::Mentions, ListKind::Favorites, ListKind::CommentsReceived,
                          ListKind::MessagesReceived};
const char* const kAccount = "1404376560";

template <class Record>
std::vector<Row> rowsOf(const std::string& page) {
    std::vector<Row> rows;
    for (auto& record : weibo::parseString<Record>(page))
        rows.emplace_back(record, rows.size() < 30);  // a screen of unread items on top
    return rows;
}

std::vector<Row> freshRows(benchpages::PageMaker& maker, ListKind kind, int count) {
    switch (kind) {
    case ListKind::CommentsReceived:
        return rowsOf<weibo::WBComment>(maker.comments(count));
    case ListKind::MessagesReceived:
        return rowsOf<weibo::WBMessage>(maker.messages(count));
    default:
        return rowsOf<weibo::WBStatus>(maker.statuses(count));
    }
}

// The folder of the benchmark's store, written once with the five lists.
const std::string& storeFolder() {
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/plumet-bench-store-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        std::atexit([] { fs::remove_all(fs::path(storeFolder()).parent_path()); });
        const std::string folder = pattern + "/timelines";
        benchpages::PageMaker maker;
        auto opened = TimelineStore::open(folder, kAccount);
        for (ListKind kind : kFive)
            opened.store->save(kind, freshRows(maker, kind, kItems));
        opened.store->flush(60000);
        return folder;
    }();
    return folder;
}

double megabytes(double bytes) { return bytes / (1024.0 * 1024.0); }

double residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

double heapBytesInUse() { return double(mallinfo2().uordblks); }

void dropFromPageCache(const std::string& path) {
    for (const char* file : {"", "-wal"}) {
        const int fd = ::open((path + file).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

void BM_MemoryOfReadLists(benchmark::State& state) {
    const std::string path = TimelineStore::pathFor(storeFolder(), kAccount);
    for (auto _ : state) {
        auto opened = TimelineStore::open(storeFolder(), kAccount);
        malloc_trim(0);
        const double heapBefore = heapBytesInUse();
        const double residentBefore = residentBytes();
        std::vector<store::StoredList> lists;
        for (ListKind kind : kFive) {
            lists.push_back(opened.store->read(kind));
            if (lists.size() == 1)
                state.counters["first_list_heap_mb"] = megabytes(heapBytesInUse() - heapBefore);
        }
        const double heapRecords = heapBytesInUse() - heapBefore;
        const double residentRecords = residentBytes() - residentBefore;
        // The alternative: every item's JSON text kept beside its records.
        std::vector<std::string> texts;
        for (const store::StoredList& list : lists)
            for (const Row& row : list.rows)
                std::visit([&texts](const auto& record) {
                    if constexpr (!std::is_same_v<std::decay_t<decltype(record)>, store::Gap>)
                        texts.push_back(weibo::toJson(*record));
                }, row.entry);
        state.counters["records_heap_mb"] = megabytes(heapRecords);
        state.counters["records_rss_mb"] = megabytes(residentRecords);
        state.counters["json_texts_too_heap_mb"] = megabytes(heapBytesInUse() - heapBefore - heapRecords);
        state.counters["process_rss_mb"] = megabytes(residentBytes());
    }
}
// First, so that the heap has not grown and been freed by the others before it measures.
BENCHMARK(BM_MemoryOfReadLists)->Name("memory_of_read_lists")->Unit(benchmark::kMillisecond)->Iterations(1);

void openAndRead(benchmark::State& state, int lists, bool cold, bool summaries = false) {
    const std::string folder = storeFolder();
    const std::string path = TimelineStore::pathFor(folder, kAccount);
    std::size_t rows = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            dropFromPageCache(path);
            state.ResumeTiming();
        }
        auto opened = TimelineStore::open(folder, kAccount);
        rows = 0;
        for (int i = 0; i < lists; ++i)
            rows += opened.store->read(kFive[i]).rows.size();
        for (int i = lists; summaries && i < 5; ++i)
            rows += opened.store->summary(kFive[i]).rows;
        state.PauseTiming();
        opened.store.reset();  // closing is not part of a start
        state.ResumeTiming();
    }
    if (rows != std::size_t(summaries ? 5 : lists) * kItems)
        state.SkipWithError("the store did not give every row back");
    state.counters["rows"] = double(rows);
}

void BM_OpenAndReadFirstList(benchmark::State& state) { openAndRead(state, 1, state.range(0) != 0); }
BENCHMARK(BM_OpenAndReadFirstList)->Name("open_and_read/first_list")->ArgName("cold")->Arg(0)->Arg(1)
    ->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Start(benchmark::State& state) { openAndRead(state, 1, state.range(0) != 0, true); }
BENCHMARK(BM_Start)->Name("open_and_read/start")->ArgName("cold")->Arg(0)->Arg(1)
    ->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_OpenAndReadFiveLists(benchmark::State& state) { openAndRead(state, 5, state.range(0) != 0); }
BENCHMARK(BM_OpenAndReadFiveLists)->Name("open_and_read/five_lists")->ArgName("cold")->Arg(0)->Arg(1)
    ->Unit(benchmark::kMillisecond)->Iterations(10);

// A copy of the store, so that the merges written here leave the others' file as it was.
std::string copyOfStore(const std::string& name) {
    const std::string folder = fs::path(storeFolder()).parent_path() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(TimelineStore::pathFor(storeFolder(), kAccount), TimelineStore::pathFor(folder, kAccount));
    return folder;
}

void BM_HandOverMergeOf100(benchmark::State& state) {
    auto opened = TimelineStore::open(copyOfStore("merge"), kAccount);
    std::vector<Row> home = opened.store->read(ListKind::Home).rows;
    benchpages::PageMaker maker;
    double writerSeconds = 0;
    for (auto _ : state) {
        // The list after the merge, as its owner holds it: records of the new items on top of the old ones.
        const std::vector<Row> fresh = freshRows(maker, ListKind::Home, 100);
        std::vector<boost::shared_ptr<weibo::WBStatus>> merged;
        for (const Row& row : fresh)
            merged.push_back(std::get<boost::shared_ptr<weibo::WBStatus>>(row.entry));
        for (std::size_t i = 0; i + fresh.size() < home.size(); ++i)
            merged.push_back(std::get<boost::shared_ptr<weibo::WBStatus>>(home[i].entry));

        const auto start = std::chrono::steady_clock::now();
        std::vector<Row> rows;
        rows.reserve(merged.size());
        for (std::size_t i = 0; i < merged.size(); ++i)
            rows.emplace_back(merged[i], i < 100);
        opened.store->save(ListKind::Home, std::move(rows));
        const auto handedOver = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(handedOver - start).count());
        home.clear();
        for (const auto& status : merged)
            home.emplace_back(status, false);

        opened.store->flush(60000);
        writerSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - handedOver).count();
    }
    state.counters["writer_ms"] = writerSeconds * 1000.0 / double(state.iterations());
    state.counters["records_written"] =
        benchmark::Counter(double(opened.store->statistics().recordsWritten), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_HandOverMergeOf100)->Name("hand_over_merge_of_100")->UseManualTime()->Unit(benchmark::kMicrosecond)
    ->Iterations(20);

void BM_DatabaseSize(benchmark::State& state) {
    const std::string path = TimelineStore::pathFor(storeFolder(), kAccount);
    for (auto _ : state) {
        auto opened = TimelineStore::open(storeFolder(), kAccount);
        for (ListKind kind : kFive)
            opened.store->read(kind);
        std::uintmax_t open = 0;
        for (const char* file : {"", "-wal", "-shm"})
            open += fs::exists(path + file) ? fs::file_size(path + file) : 0;
        state.counters["open_mb"] = megabytes(double(open));
    }
    state.counters["file_mb"] = megabytes(double(fs::file_size(path)));
}
BENCHMARK(BM_DatabaseSize)->Name("database_size")->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
