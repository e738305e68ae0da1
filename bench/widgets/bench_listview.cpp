// Scrolling a 1024-row list of variable row heights at 400 px width, offscreen.
//
// One frame = fill (move the content offset: rows leaving are queued, rows coming in are filled by the delegate)
// + paint (render the whole content view with its row views into an image, as if nothing could be blitted).
// Reported per frame: worst, mean, and the fill and paint shares of the mean.

#include "widgets/PXListView.h"
#include "widgets/PXListViewCell.h"
#include "widgets/PXListViewDelegate.h"

#include <QApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>
#include <vector>

namespace {

class PaintedRow : public PXListViewCell {
public:
    PaintedRow() : PXListViewCell("Row") {}
    QString name;
    QString text;
    QColor avatar;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        const QRect bounds = rect();
        QLinearGradient background(0, 0, 0, bounds.height());
        background.setColorAt(0, isSelected() ? QColor(200, 220, 250) : QColor(252, 252, 252));
        background.setColorAt(1, isSelected() ? QColor(170, 200, 240) : QColor(236, 236, 236));
        painter.fillRect(bounds, background);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(avatar);
        painter.drawRoundedRect(QRect(8, 8, 48, 48), 6, 6);
        painter.setPen(QColor(40, 40, 40));
        QFont bold = painter.font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.drawText(QRect(64, 6, bounds.width() - 72, 18), Qt::AlignLeft | Qt::AlignVCenter, name);
        bold.setBold(false);
        painter.setFont(bold);
        painter.drawText(QRect(64, 26, bounds.width() - 72, bounds.height() - 32), Qt::TextWordWrap, text);
        painter.setPen(QColor(210, 210, 210));
        painter.drawLine(0, bounds.height() - 1, bounds.width(), bounds.height() - 1);
    }
};

class BenchDelegate : public PXListViewDelegate {
public:
    explicit BenchDelegate(int rows) {
        std::mt19937 random(2024);
        std::uniform_int_distribution<int> words(4, 70);
        std::uniform_int_distribution<int> hue(0, 359);
        const QString word = QStringLiteral("微博 status ");
        for (int row = 0; row < rows; ++row) {
            const int count = words(random);
            texts.push_back(word.repeated(count));
            heights.push_back(64.0 + count * 2.7);  // 75 .. 253 px
            colours.push_back(QColor::fromHsv(hue(random), 120, 200));
        }
    }
    int numberOfRowsInListView(PXListView *) override { return int(heights.size()); }
    double listViewHeightOfRow(PXListView *, int row) override { return heights[size_t(row)]; }
    PXListViewCell *listViewCellForRow(PXListView *listView, int row) override {
        auto *cell = static_cast<PaintedRow *>(listView->dequeueCellWithReusableIdentifier("Row"));
        if (!cell)
            cell = new PaintedRow;
        cell->name = QStringLiteral("用户 %1").arg(row);
        cell->text = texts[size_t(row)];
        cell->avatar = colours[size_t(row)];
        return cell;
    }

    std::vector<double> heights;
    std::vector<QString> texts;
    std::vector<QColor> colours;
};

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// CPU time of this thread: on a shared, busy machine the wall-clock worst frame is mostly time spent preempted.
double threadCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void BM_ScrollThrough1024Rows(benchmark::State &state) {
    const int step = int(state.range(0));
    BenchDelegate delegate(1024);
    PXListView list;
    list.setDelegate(&delegate);
    list.setSmoothScrolling(false);
    list.resize(400, 600);
    list.show();
    list.reloadData();
    QImage image(list.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    // Font and glyph caches are loaded once per program, not per frame.
    list.viewport()->render(&image);

    double total = 0, fillTotal = 0, paintTotal = 0;
    std::vector<double> times;
    std::vector<double> cpuTimes;
    for (auto _ : state) {
        for (int y = 0; y <= list.maximumContentOffset(); y += step) {
            const double cpuStart = threadCpuMilliseconds();
            const auto start = std::chrono::steady_clock::now();
            list.setContentOffset(y);
            const double fill = millisecondsSince(start);
            const auto paintStart = std::chrono::steady_clock::now();
            list.viewport()->render(&image);
            const double paint = millisecondsSince(paintStart);
            times.push_back(fill + paint);
            cpuTimes.push_back(threadCpuMilliseconds() - cpuStart);
            total += fill + paint;
            fillTotal += fill;
            paintTotal += paint;
        }
        state.PauseTiming();
        list.setContentOffset(0);
        state.ResumeTiming();
    }
    const double frames = double(std::max<size_t>(1, times.size()));
    std::sort(times.begin(), times.end());
    state.counters["frames"] = double(times.size());
    state.counters["worst_frame_ms"] = times.empty() ? 0.0 : times.back();
    state.counters["p99_frame_ms"] = times.empty() ? 0.0 : times[size_t(0.99 * double(times.size() - 1))];
    std::sort(cpuTimes.begin(), cpuTimes.end());
    state.counters["worst_frame_cpu_ms"] = cpuTimes.empty() ? 0.0 : cpuTimes.back();
    state.counters["over_16ms"] = double(times.end() - std::upper_bound(times.begin(), times.end(), 16.0));
    state.counters["mean_frame_ms"] = total / frames;
    state.counters["mean_fill_ms"] = fillTotal / frames;
    state.counters["mean_paint_ms"] = paintTotal / frames;
    state.counters["document_px"] = list.documentHeight();
    list.setDelegate(nullptr);
}
BENCHMARK(BM_ScrollThrough1024Rows)->Arg(16)->Arg(60)->Unit(benchmark::kMillisecond)->Iterations(3);

// The cost of a reload of a full list: 1024 heights, then the rows in view filled again.
void BM_ReloadData1024Rows(benchmark::State &state) {
    BenchDelegate delegate(1024);
    PXListView list;
    list.setDelegate(&delegate);
    list.resize(400, 600);
    list.show();
    list.reloadData();
    list.setContentOffset(list.documentHeight() / 2);
    for (auto _ : state)
        list.reloadData();
    list.setDelegate(nullptr);
}
BENCHMARK(BM_ReloadData1024Rows)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
