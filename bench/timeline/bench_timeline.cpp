// The timeline engine's costs, offscreen:
// - merging fetched cells into a full list (1024 rows), against copying the list's array (the baseline);
// - scrolling through 1024 status rows at 400 px width once their heights are cached: one frame = move the
//   content offset (rows coming into view are filled: text built, laid out, avatar and date set) + render the
//   whole visible area with its row views into an image. Worst, p99 and mean frame, frames over 16 ms;
// - a key press in a focused list of 1024 status rows: one frame = the Down key moves the current row (scrolling
//   it into view, filling the rows that come in) + render the visible area. Worst, p99 and mean frame;
// - the resident memory of five full lists of 1024 items with their records, cells and row views.
#include "cells/CellContext.h"
#include "cells/TimelineCellStatus.h"
#include "model/WeiboParser.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <json/json.h>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

const char* const kPhrases[] = {"哈哈", "嘻嘻", "赞", "威武", "泪"};
const char* const kNames[] = {"张三", "李四", "王小明", "陈晓雨", "刘洋_Liu", "赵敏-Zhao", "孙悟空"};
const char* const kWords[] = {"今天", "天气", "不错", "出去", "走走", "吃饭", "看书", "写代码", "microblog",
                              "status", "周末", "爬山", "火锅", "摄影", "旅行", "加油"};

// A status as the service sends it: a text of 10 to 140 characters with @names, #topics# and emotions, the
// author's full record, a client link; every fifth a repost with its own text and author.
Json::Value statusJson(std::mt19937& random, std::uint64_t id, bool repost)
{
    std::uniform_int_distribution<int> words(3, 40), pick(0, 1000);
    auto text = [&] {
        std::string t;
        const int n = words(random);
        for (int i = 0; i < n; ++i) {
            const int r = pick(random) % 20;
            if (r == 0)
                t += "@" + std::string(kNames[pick(random) % 7]) + " ";
            else if (r == 1)
                t += "#" + std::string(kWords[pick(random) % 16]) + "# ";
            else if (r == 2)
                t += "[" + std::string(kPhrases[pick(random) % 5]) + "]";
            else
                t += kWords[pick(random) % 16];
        }
        return t;
    };
    auto user = [&](std::uint64_t uid) {
        Json::Value u(Json::objectValue);
        u["id"] = Json::UInt64(uid);
        u["screen_name"] = kNames[uid % 7];
        u["name"] = kNames[uid % 7];
        u["location"] = "北京 海淀区";
        u["description"] = "喜欢摄影和旅行，写代码也写诗";
        u["profile_image_url"] = "";
        u["gender"] = "m";
        u["followers_count"] = 120;
        u["created_at"] = "Mon Nov 02 10:00:00 +0800 2026";
        return u;
    };
    Json::Value s(Json::objectValue);
    s["id"] = Json::UInt64(id);
    s["text"] = text();
    s["created_at"] = "Mon Dec 07 13:55:31 +0800 2026";
    s["source"] = "<a href=\"http://127.0.0.1:8470/\" rel=\"nofollow\">Plumet</a>";
    s["user"] = user(1000 + id % 50);
    if (repost) {
        Json::Value original(Json::objectValue);
        original["id"] = Json::UInt64(id + 9000000);
        original["text"] = text();
        original["created_at"] = "Mon Dec 07 10:00:00 +0800 2026";
        original["source"] = s["source"];
        original["user"] = user(2000 + id % 30);
        s["retweeted_status"] = original;
    }
    return s;
}

// 1024 parsed statuses, newest first, from one answer text (records built as the parser builds them).
std::vector<boost::shared_ptr<weibo::WBStatus>> statuses(unsigned seed, std::size_t count = 1024,
                                                         std::uint64_t topId = 3400000000001024)
{
    std::mt19937 random(seed);
    Json::Value array(Json::arrayValue);
    for (std::size_t i = 0; i < count; ++i)
        array.append(statusJson(random, topId - i, i % 5 == 4));
    Json::StreamWriterBuilder writer;
    return weibo::parseString<weibo::WBStatus>(Json::writeString(writer, array));
}

CellArray cellsOf(const std::vector<boost::shared_ptr<weibo::WBStatus>>& records)
{
    CellArray cells;
    for (const auto& status : records)
        cells.push_back(std::make_shared<TimelineCellStatus>(status));
    return cells;
}

std::unique_ptr<PXListViewController> controller()
{
    // The client is never asked: the lists are filled directly.
    return std::make_unique<PXListViewController>(QStringLiteral("PXListView"), QStringLiteral("/statuses/friends_timeline"),
                                                  boost::make_shared<weibo::SinaWeibo>());
}

double residentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double threadCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// --- Merge ---

void BM_CopyFullListBaseline(benchmark::State& state)
{
    const CellArray old = cellsOf(statuses(1));
    for (auto _ : state) {
        CellArray copy = old;
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_CopyFullListBaseline)->Unit(benchmark::kMicrosecond);

// Mode 2: 100 newer cells on top of a full list with three fake cells registered; the oldest 100 drop out.
void BM_MergeNewerIntoFullList(benchmark::State& state)
{
    auto list = controller();
    const CellArray old = cellsOf(statuses(1));
    list->setDataOfCells(old);
    for (int i = 0; i < 3; ++i)
        list->addFakeCell(std::make_shared<TimelineCellStatus>(statuses(9, 1, 3500000000000000 + i).front()));
    const CellArray fresh = cellsOf(statuses(2, 100, 3400000000001124));
    for (auto _ : state) {
        CellArray merged = list->cellsByMergeNewCells(fresh, old, PXListViewController::kModeNewer);
        benchmark::DoNotOptimize(merged.data());
    }
}
BENCHMARK(BM_MergeNewerIntoFullList)->Unit(benchmark::kMicrosecond);

// Mode 3: 50 older cells (the seam first) into a list of 1000: 24 fit.
void BM_MergeOlderPastTheCap(benchmark::State& state)
{
    auto list = controller();
    const auto records = statuses(1);
    CellArray old = cellsOf(records);
    old.resize(1000);
    const CellArray older = cellsOf(statuses(3, 50, records[999]->id));
    for (auto _ : state) {
        CellArray merged = list->cellsByMergeNewCells(older, old, PXListViewController::kModeOlder);
        benchmark::DoNotOptimize(merged.data());
    }
}
BENCHMARK(BM_MergeOlderPastTheCap)->Unit(benchmark::kMicrosecond);

// --- Scrolling ---

void BM_ScrollThrough1024StatusRows(benchmark::State& state)
{
    const int step = int(state.range(0));
    auto list = controller();
    list->setDataOfCells(cellsOf(statuses(1)));
    PXListView* view = list->listView();
    view->setSmoothScrolling(false);
    view->resize(400, 600);
    view->show();
    list->reloadData();  // heights computed and cached here, not while scrolling
    QImage image(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    view->viewport()->render(&image);

    std::vector<double> times, cpuTimes;
    double total = 0, fillTotal = 0, paintTotal = 0;
    for (auto _ : state) {
        for (int y = 0; y <= view->maximumContentOffset(); y += step) {
            const double cpuStart = threadCpuMilliseconds();
            const auto start = std::chrono::steady_clock::now();
            view->setContentOffset(y);
            const double fill = millisecondsSince(start);
            const auto paintStart = std::chrono::steady_clock::now();
            view->viewport()->render(&image);
            const double paint = millisecondsSince(paintStart);
            times.push_back(fill + paint);
            cpuTimes.push_back(threadCpuMilliseconds() - cpuStart);
            total += fill + paint;
            fillTotal += fill;
            paintTotal += paint;
        }
        state.PauseTiming();
        // The bottom asked for more (moreWeibo, after 0.5 s); there is no main window here, so start over.
        list->setScrollMode(PXListViewController::kScrollIdle);
        view->setContentOffset(0);
        state.ResumeTiming();
    }
    const double frames = double(std::max<std::size_t>(1, times.size()));
    std::sort(times.begin(), times.end());
    std::sort(cpuTimes.begin(), cpuTimes.end());
    state.counters["frames"] = double(times.size());
    state.counters["worst_frame_ms"] = times.empty() ? 0.0 : times.back();
    state.counters["p99_frame_ms"] = times.empty() ? 0.0 : times[std::size_t(0.99 * double(times.size() - 1))];
    state.counters["worst_frame_cpu_ms"] = cpuTimes.empty() ? 0.0 : cpuTimes.back();
    state.counters["over_16ms"] = double(times.end() - std::upper_bound(times.begin(), times.end(), 16.0));
    state.counters["mean_frame_ms"] = total / frames;
    state.counters["mean_fill_ms"] = fillTotal / frames;
    state.counters["mean_paint_ms"] = paintTotal / frames;
    state.counters["document_px"] = view->documentHeight();
}
BENCHMARK(BM_ScrollThrough1024StatusRows)->Arg(16)->Arg(60)->Unit(benchmark::kMillisecond)->Iterations(3);

// A reload of a full list at an unchanged width (heights cached): what every refresh costs.
void BM_ReloadFullListCachedHeights(benchmark::State& state)
{
    auto list = controller();
    list->setDataOfCells(cellsOf(statuses(1)));
    list->listView()->resize(400, 600);
    list->listView()->show();
    list->reloadData();
    for (auto _ : state)
        list->reloadData();
}
BENCHMARK(BM_ReloadFullListCachedHeights)->Unit(benchmark::kMillisecond);

// --- Keyboard ---

void BM_KeyMovesTheCurrentRowIn1024Rows(benchmark::State& state)
{
    auto list = controller();
    list->setDataOfCells(cellsOf(statuses(1)));
    PXListView* view = list->listView();
    view->resize(400, 600);
    view->show();
    view->activateWindow();
    view->setFocus(Qt::OtherFocusReason);
    list->reloadData();
    QCoreApplication::processEvents();
    QImage image(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    view->viewport()->render(&image);

    std::vector<double> times;
    double total = 0;
    for (auto _ : state) {
        view->selectRowFromKeyboard(0);
        view->setContentOffset(0);
        for (int row = 1; row < view->numberOfRows(); ++row) {
            const auto start = std::chrono::steady_clock::now();
            QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
            QCoreApplication::sendEvent(view, &down);
            view->viewport()->render(&image);
            const double frame = millisecondsSince(start);
            times.push_back(frame);
            total += frame;
        }
        if (view->currentRow() != view->numberOfRows() - 1)
            state.SkipWithError("the key did not move the current row");
        // The bottom asked for more (moreWeibo, after 0.5 s); there is no main window here.
        list->setScrollMode(PXListViewController::kScrollIdle);
    }
    std::sort(times.begin(), times.end());
    state.counters["presses"] = double(times.size());
    state.counters["worst_frame_ms"] = times.empty() ? 0.0 : times.back();
    state.counters["p99_frame_ms"] = times.empty() ? 0.0 : times[std::size_t(0.99 * double(times.size() - 1))];
    state.counters["mean_frame_ms"] = total / double(std::max<std::size_t>(1, times.size()));
    state.counters["over_16ms"] = double(times.end() - std::upper_bound(times.begin(), times.end(), 16.0));
    state.counters["has_focus"] = view->hasFocus() ? 1 : 0;
}
BENCHMARK(BM_KeyMovesTheCurrentRowIn1024Rows)->Unit(benchmark::kMillisecond)->Iterations(2);

// --- Memory ---

void BM_FiveFullListsResidentMemory(benchmark::State& state)
{
    for (auto _ : state) {
        const double before = residentMegabytes();
        std::vector<std::unique_ptr<PXListViewController>> lists;
        for (unsigned i = 0; i < 5; ++i) {
            lists.push_back(controller());
            // Each list its own records, as five lists fetched from the service have.
            lists.back()->setDataOfCells(cellsOf(statuses(10 + i, 1024, 3400000000001024 + i * 100000)));
            lists.back()->listView()->resize(400, 600);
            lists.back()->listView()->show();
            lists.back()->reloadData();
        }
        const double after = residentMegabytes();
        state.counters["lists_mb"] = after - before;
        state.counters["process_rss_mb"] = after;
        state.counters["per_item_kb"] = (after - before) * 1024.0 / (5.0 * 1024.0);
    }
}
BENCHMARK(BM_FiveFullListsResidentMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QApplication app(argc, argv);
    platform::UserDefaults::standard().reopen(settings.filePath(QStringLiteral("Plumet.ini")));
    platform::UserDefaults::standard().registerDefaultsFromResource();

    // Emotions drawn as pictures, as in the application.
    StandardCellContext context;
    QImage face(22, 22, QImage::Format_ARGB32);
    face.fill(QColor(250, 200, 60));
    for (const char* phrase : kPhrases) {
        const QString path = settings.filePath(QString::fromUtf8(phrase) + QStringLiteral(".png"));
        face.save(path);
        context.mutableHotTextResources().setEmotionFile(QString::fromUtf8(phrase), path);
    }
    CellContext::setCurrent(&context);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    platform::closeMainQueue();
    CellContext::setCurrent(nullptr);
    return 0;
}
