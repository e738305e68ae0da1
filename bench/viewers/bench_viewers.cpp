// The picture viewer against the development service (offscreen): how long from the click until the thumbnail
// is painted in the shown window, and the resident memory before and after opening the viewer on a picture,
// waiting for its medium size and closing it 100 times (after a warm-up of 5).
#include "DevServerProcess.h"
#include "viewers/BigPicWindowController.h"
#include "viewers/MyImageView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

QString base;
QByteArray thumbnail;

bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

QByteArray fetch(const QUrl& url)
{
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(url)));
    waitUntil([&] { return reply->isFinished(); });
    return reply->readAll();
}

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

QUrl pic(const char* size, const char* file)
{
    return QUrl(base + QStringLiteral("/pic/%1/%2").arg(QLatin1String(size), QLatin1String(file)));
}

// Notes when the image view is first painted after a click.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

void BM_ThumbnailOnScreen(benchmark::State& state)
{
    BigPicWindowController viewer;
    PaintWatch watch;
    viewer.myImageView()->installEventFilter(&watch);
    const QImage image = QImage::fromData(thumbnail);
    for (auto _ : state) {
        watch.painted = false;
        viewer.setImage(image, thumbnail, pic("bmiddle", "s4.png"), pic("large", "s4.png"));
        while (!watch.painted)
            QCoreApplication::processEvents();
        state.PauseTiming();
        viewer.closePic();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ThumbnailOnScreen)->Unit(benchmark::kMillisecond)->Iterations(50);

void openAndClose(BigPicWindowController& viewer, const char* file)
{
    const QByteArray thumb = fetch(pic("thumbnail", file));
    viewer.setImage(QImage::fromData(thumb), thumb, pic("bmiddle", file), pic("large", file));
    waitUntil([&] { return !viewer.downloading() && !viewer.isMoving(); });
    viewer.closePic();
}

void memoryOverOpenings()
{
    BigPicWindowController viewer;
    const char* files[] = {"s4.png", "s11.png", "g1.gif"};
    for (int i = 0; i < 5; ++i)
        openAndClose(viewer, files[i % 3]);
    const double before = residentMegabytes();
    for (int i = 0; i < 100; ++i)
        openAndClose(viewer, files[i % 3]);
    const double after = residentMegabytes();
    std::printf("resident memory: %.1f MB before, %.1f MB after 100 openings and closings (%+.1f MB)\n", before,
                after, after - before);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("PLUMET_DEVSERVER"))
        qputenv("PLUMET_DEVSERVER", PLUMET_DEVSERVER_BINARY);
    QApplication app(argc, argv);
    testsupport::DevServerProcess service;
    if (!service.ready()) {
        std::fprintf(stderr, "bench_viewers: the development service did not start: %s\n", service.error().c_str());
        return 1;
    }
    base = QString::fromStdString(service.value("WeiboHost"));
    thumbnail = fetch(pic("thumbnail", "s4.png"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    memoryOverOpenings();
    benchmark::Shutdown();
    return 0;
}
