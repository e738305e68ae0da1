// Measures how long Plumet takes from process start to its home timeline shown, and its resident memory then.
// It starts the development service on a free loopback port with a fresh database, stores the demo account and
// the service's addresses in a private settings folder, runs Plumet once to fill the picture caches, then starts
// it `runs` times (default 5) and reports every run, the median and the targets.
//   bench_startup [runs] [store]
// By default each run starts without the lists kept on disk, so its list comes from the service. With "store", each
// run starts with the lists the run before it kept, first against the service, then with the service unreachable
// (its addresses pointing at a closed loopback port): the time then is the store's, whatever the link does.
#include "../../tests/support/DevServerProcess.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QTcpServer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QVariantMap>

#include <algorithm>
#include <cstring>
#include <functional>
#include <cstdio>
#include <vector>

namespace {

constexpr int kTimeoutMs = 120000;
constexpr double kTargetSeconds = 1.0;
constexpr double kTargetMegabytes = 120.0;

// Resident memory of a process in megabytes (VmRSS), or -1.
double residentMegabytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

struct Run {
    bool ok = false;
    double seconds = 0;
    double megabytes = 0;
    QString error;
};

// Starts Plumet, waits for its marker line, notes the time and the memory, and ends it the way a logout does.
Run runPlumet(const QProcessEnvironment& environment)
{
    Run run;
    QProcess plumet;
    plumet.setProgram(QStringLiteral(PLUMET_BINARY));
    plumet.setProcessEnvironment(environment);
    plumet.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    plumet.start();
    if (!plumet.waitForStarted(kTimeoutMs)) {
        run.error = plumet.errorString();
        return run;
    }
    while (!run.ok && clock.elapsed() < kTimeoutMs && plumet.state() == QProcess::Running) {
        if (!plumet.canReadLine())
            plumet.waitForReadyRead(100);
        while (plumet.canReadLine()) {
            if (plumet.readLine().trimmed() == "PLUMET_FIRST_LIST_SHOWN") {
                run.seconds = clock.nsecsElapsed() / 1e9;
                run.megabytes = residentMegabytes(plumet.processId());
                run.ok = true;
            }
        }
    }
    if (!run.ok)
        run.error = QStringLiteral("no marker line; stderr: ") + QString::fromUtf8(plumet.readAllStandardError());
    plumet.terminate();
    if (!plumet.waitForFinished(30000)) {
        plumet.kill();
        plumet.waitForFinished(5000);
    }
    return run;
}

// Removes every folder of kept lists under `data`.
void forgetKeptLists(const QString& data)
{
    QStringList found;
    for (QDirIterator it(data, {QStringLiteral("timelines")}, QDir::Dirs, QDirIterator::Subdirectories); it.hasNext();)
        found << it.next();
    for (const QString& folder : found)
        QDir(folder).removeRecursively();
}

// Timed runs of Plumet, each after `prepare`; prints each and answers the medians, or false on a failed run.
bool timedRuns(const char* label, int runs, const QProcessEnvironment& environment,
               const std::function<void()>& prepare, double& s, double& mb)
{
    std::vector<double> seconds, megabytes;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const Run run = runPlumet(environment);
        if (!run.ok) {
            std::fprintf(stderr, "bench_startup: %s run %d failed: %s\n", label, i + 1, qPrintable(run.error));
            return false;
        }
        std::printf("%s run %d: %.3f s to the home timeline shown, %.1f MB resident\n", label, i + 1, run.seconds,
                    run.megabytes);
        seconds.push_back(run.seconds);
        megabytes.push_back(run.megabytes);
    }
    s = median(seconds);
    mb = median(megabytes);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const bool storeMode = argc > 2 && std::strcmp(argv[2], "store") == 0;
    QTemporaryDir root;

    // The development service.
    if (qEnvironmentVariableIsEmpty("PLUMET_DEVSERVER"))
        qputenv("PLUMET_DEVSERVER", PLUMET_DEVSERVER_BINARY);
    testsupport::DevServerProcess service(root.filePath(QStringLiteral("dev.sqlite")).toStdString());
    const bool ready = service.ready();
    auto value = [&service](const char* key) { return QString::fromStdString(service.value(key)); };
    if (!ready) {
        std::fprintf(stderr, "bench_startup: the development service did not start\n");
        return 1;
    }

    // Plumet's private folders and the stored account, as after a first sign-in.
    const QString config = root.filePath(QStringLiteral("config"));
    {
        platform::UserDefaults store(QDir(config).filePath(QStringLiteral("Plumet/Plumet.conf")));
        QVariantMap account{{QStringLiteral("TokenKey"), value("DemoAccessToken")},
                            {QStringLiteral("SecretKey"), value("DemoAccessTokenSecret")}};
        store.setObject(QVariantMap{{value("DemoUserId"), account}}, QStringLiteral("OAuthTokens"));
        for (const char* key : {"WeiboHost", "Weibo2Host", "WebHost", "StaticImageHost"})
            store.setObject(value(key), QString::fromLatin1(key));
        store.setObject(value("FeedbackURL"), QStringLiteral("FeedbackURL"));
        store.synchronize();
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), root.filePath(QStringLiteral("cache")));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/plumet-bench"));
    environment.insert(QStringLiteral("PLUMET_STARTUP_MARKER"), QStringLiteral("1"));
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    // The first run downloads every emoji and emotion picture and the avatar; the timed runs find them cached.
    const Run warmUp = runPlumet(environment);
    if (!warmUp.ok) {
        std::fprintf(stderr, "bench_startup: warm-up run failed: %s\n", qPrintable(warmUp.error));
        return 1;
    }
    std::printf("warm-up (pictures downloaded): %.3f s, %.1f MB\n", warmUp.seconds, warmUp.megabytes);

    // Each timed run starts as if the last run had been long ago: no "LatestStatusId", so the catch-up brings
    // the 100 newest statuses (a start right after another one brings 20).
    const QString settingsFile = QDir(config).filePath(QStringLiteral("Plumet/Plumet.conf"));
    const QString data = root.filePath(QStringLiteral("data"));
    auto longAgo = [&] {
        platform::UserDefaults store(settingsFile);
        store.removeObjectForKey(QStringLiteral("LatestStatusId"));
        store.synchronize();
    };
    double s = 0, mb = 0;
    if (!timedRuns("network", runs, environment, [&] { longAgo(); forgetKeptLists(data); }, s, mb))
        return 1;
    std::printf("median of %d: %.3f s (target < %.1f s: %s), %.1f MB resident (target < %.0f MB: %s)\n", runs, s,
                kTargetSeconds, s < kTargetSeconds ? "met" : "missed", mb, kTargetMegabytes,
                mb < kTargetMegabytes ? "met" : "missed");
    if (storeMode) {
        const double networkSeconds = s, networkMegabytes = mb;
        // The run before each one kept its lists (the last network run kept the first).
        if (!timedRuns("store", runs, environment, longAgo, s, mb))
            return 1;
        std::printf("median of %d with the lists kept: %.3f s (%.2f of the network's; target < 0.3 s: %s), "
                    "%.1f MB resident (%+.1f MB; target within 10 MB: %s)\n",
                    runs, s, s / networkSeconds, s < 0.3 ? "met" : "missed", mb, mb - networkMegabytes,
                    mb - networkMegabytes < 10 ? "met" : "missed");
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        const QString dead = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
        closed.close();
        {
            platform::UserDefaults store(settingsFile);
            for (const char* key : {"WeiboHost", "Weibo2Host", "WebHost", "StaticImageHost"})
                store.setObject(dead, QString::fromLatin1(key));
            store.synchronize();
        }
        const double storeSeconds = s;
        if (!timedRuns("offline", runs, environment, longAgo, s, mb))
            return 1;
        std::printf("median of %d with the service unreachable: %.3f s (%.2f of the store's with it), %.1f MB\n",
                    runs, s, s / storeSeconds, mb);
    }

    service.stop();
    return 0;
}
