// Text and height of 1024 status cells at width 400 (a third of them reposts; emotions, links, names and
// topics in the texts), against the floor: the same texts as plain strings laid out with no attributes, in the
// same run. Prints the ratio at the end.
#include "cells/CellContext.h"
#include "cells/CellListController.h"
#include "cells/TimelineCellStatus.h"
#include "platform/UserDefaults.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextDocument>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

namespace {

constexpr int kCells = 1024;
constexpr double kWidth = 400;

class BenchList : public CellListController {
public:
    double cellWidth() const override { return kWidth; }
    QString identifier() const override { return QStringLiteral("/statuses/friends_timeline"); }
    void beginImageLoad() override {}
    void defferedReloadData() override {}
    void reloadIfCellVisible(const TimelineCellBase&) override {}
};

// No short-address lookups: the benchmark measures text and layout, not the network.
class BenchContext : public StandardCellContext {
public:
    QUrl shortURLInfoURL(const QString&) const override { return {}; }
};

const char* const kEmotions[] = {"哈哈", "呵呵", "泪", "爱你", "鼓掌", "思考", "晕", "酷"};
const char* const kPhrases[] = {"今天天气不错", "刚看完一部电影，", "大家觉得怎么样？", "周末去爬山了 ",
                                "good morning everyone ", "这家店的咖啡很好喝", "终于下班了！",
                                "分享一下最近的照片 ", "有人一起吗", "let's go "};

std::string makeText(std::mt19937& rng, int index)
{
    std::string text;
    const int pieces = 4 + int(rng() % 5);
    for (int i = 0; i < pieces; ++i) {
        switch (rng() % 6) {
        case 0:
            text += std::string("[") + kEmotions[rng() % 8] + "]";
            break;
        case 1:
            text += "@用户" + std::to_string(rng() % 500) + " ";
            break;
        case 2:
            text += "http://127.0.0.1:8470/s" + std::to_string(index) + "x" + std::to_string(i) + " ";
            break;
        case 3:
            text += "#话题" + std::to_string(rng() % 40) + "# ";
            break;
        default:
            text += kPhrases[rng() % 10];
            break;
        }
    }
    return text;
}

struct Fixture {
    QTemporaryDir dir;
    BenchContext context;
    BenchList list;
    std::vector<boost::shared_ptr<weibo::WBStatus>> statuses;
    std::vector<QString> plainTexts;

    Fixture()
    {
        for (const char* name : kEmotions) {
            const QString path = dir.filePath(QString::fromUtf8(name) + QStringLiteral(".png"));
            QImage image(22, 22, QImage::Format_ARGB32);
            image.fill(Qt::yellow);
            image.save(path);
            context.mutableHotTextResources().setEmotionFile(QString::fromUtf8(name), path);
        }
        CellContext::setCurrent(&context);
        std::mt19937 rng(20240302);
        for (int i = 0; i < kCells; ++i) {
            auto user = boost::make_shared<weibo::WBUser>();
            user->id = 100 + rng() % 300;
            user->screen_name = "用户" + std::to_string(user->id);
            user->verified = rng() % 7 == 0;
            auto status = boost::make_shared<weibo::WBStatus>();
            status->id = 5000000 + i;
            status->user = user;
            status->text = makeText(rng, i);
            status->created_at = "Sat Mar 02 09:05:00 +0800 2024";
            status->source = "<a href=\"http://127.0.0.1:8470/apps/plumet\" rel=\"nofollow\">Plumet</a>";
            if (i % 3 == 0) {
                auto original = boost::make_shared<weibo::WBStatus>(*status);
                original->id = 4000000 + i;
                original->text = makeText(rng, i + kCells);
                original->retweeted_status.reset();
                auto author = boost::make_shared<weibo::WBUser>(*user);
                author->screen_name = "原作者" + std::to_string(i);
                original->user = author;
                status->retweeted_status = original;
                status->text = "转发微博 " + makeText(rng, i + 2 * kCells);
            }
            statuses.push_back(status);
        }
        // The floor's texts: exactly the characters the cells show, as plain strings.
        for (const auto& status : statuses) {
            TimelineCellStatus cell(status);
            bool determinate = true;
            plainTexts.push_back(cell.stringForTextView(determinate).plainString());
        }
    }
};

Fixture* fixture = nullptr;

void BM_StatusCellTextAndHeight(benchmark::State& state)
{
    for (auto _ : state) {
        double total = 0;
        for (const auto& status : fixture->statuses) {
            auto cell = std::make_shared<TimelineCellStatus>(status);
            cell->setListViewController(&fixture->list);
            cell->calculateTextViewHeight();
            total += cell->textViewHeight();
        }
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_StatusCellTextAndHeight)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);

// The floor: the same texts as plain strings with no attributes, laid out at the same width. Two orders of
// building the document, as their costs differ; the ratio is taken against the cheaper.
void BM_PlainTextLayoutFloor(benchmark::State& state)
{
    const bool layoutFirst = state.range(0) != 0;
    for (auto _ : state) {
        double total = 0;
        for (const QString& text : fixture->plainTexts) {
            QTextDocument document;
            if (layoutFirst) {
                document.setTextWidth(kWidth);
                document.documentLayout();
                document.setPlainText(text);
            } else {
                document.setPlainText(text);
                document.setTextWidth(kWidth);
            }
            total += document.documentLayout()->documentSize().height();
        }
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_PlainTextLayoutFloor)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);

// Keeps each benchmark's time per iteration so that the ratio can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0)
                continue;
            // The best of the repetitions: on a shared machine the others measure the neighbours.
            auto [it, fresh] = perIteration.try_emplace(run.benchmark_name(), run.GetAdjustedRealTime(),
                                                        run.GetAdjustedCPUTime());
            if (!fresh) {
                it->second.first = std::min(it->second.first, run.GetAdjustedRealTime());
                it->second.second = std::min(it->second.second, run.GetAdjustedCPUTime());
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Real and CPU time per iteration (best of the repetitions), in the unit the benchmark reports (ms). On a
    // busy machine the CPU time is the steadier of the two.
    std::map<std::string, std::pair<double, double>> perIteration;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QGuiApplication app(argc, argv);
    platform::UserDefaults::standard().reopen(settings.filePath(QStringLiteral("Plumet.ini")));
    platform::UserDefaults::standard().registerDefaultsFromResource();
    Fixture data;
    fixture = &data;

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // The time of a benchmark; of the cheapest when several names share the prefix.
    auto timeOf = [&](const char* name, bool cpu) {
        double best = 0;
        for (const auto& [key, times] : reporter.perIteration) {
            const double t = cpu ? times.second : times.first;
            if (key.rfind(name, 0) == 0 && (best == 0 || t < best))
                best = t;
        }
        return best;
    };
    for (bool cpu : {false, true}) {
        const double cells = timeOf("BM_StatusCellTextAndHeight", cpu);
        const double floor = timeOf("BM_PlainTextLayoutFloor", cpu);
        if (cells > 0 && floor > 0)
            std::printf("%s time, best of 5: 1024 status cells %.1f ms; plain floor %.1f ms; ratio %.2f "
                        "(targets: <= 300 ms, <= 2.5)\n",
                        cpu ? "CPU " : "real", cells, floor, cells / floor);
    }
    CellContext::setCurrent(nullptr);
    benchmark::Shutdown();
    return 0;
}
