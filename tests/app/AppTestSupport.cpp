#include "AppTestSupport.h"

#include <QWidget>

static ::testing::Environment* const appTestEnvironment = ::testing::AddGlobalTestEnvironment(new AppTestEnvironment);

QString useFreshSettings()
{
    static int serial = 0;
    const QString path =
        QDir(AppTestEnvironment::root()).filePath(QStringLiteral("settings-%1/Plumet.conf").arg(++serial));
    platform::UserDefaults::standard().reopen(path);
    return path;
}

AuthWindowController* visibleAuthWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* auth = qobject_cast<AuthWindowController*>(w); auth && auth->isVisible())
            return auth;
    }
    return nullptr;
}

void whenAuthWindowShows(std::function<void(AuthWindowController*)> drive, int timeoutMs)
{
    QTimer::singleShot(0, [drive = std::move(drive), timeoutMs] {
        waitUntil([] { return visibleAuthWindow() != nullptr; }, timeoutMs);
        drive(visibleAuthWindow());
    });
}

DevService::DevService()
{
    const QString program = qEnvironmentVariable("PLUMET_DEVSERVER");
    if (program.isEmpty()) {
        error_ = QStringLiteral("PLUMET_DEVSERVER is not set");
        return;
    }
    process_.setProgram(program);
    process_.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--db"),
                           dir_.filePath(QStringLiteral("dev.sqlite"))});
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
    if (!process_.waitForStarted(10000)) {
        error_ = process_.errorString();
        return;
    }
    // It prints "Key=value" lines and then "Ready".
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000 && process_.state() == QProcess::Running) {
        if (!process_.canReadLine() && !process_.waitForReadyRead(500))
            continue;
        while (process_.canReadLine()) {
            const QString line = QString::fromUtf8(process_.readLine()).trimmed();
            if (line == QLatin1String("Ready")) {
                running_ = true;
                return;
            }
            const qsizetype eq = line.indexOf(u'=');
            if (eq > 0)
                values_.insert(line.left(eq), line.mid(eq + 1));
        }
    }
    error_ = QStringLiteral("no Ready line: ") + QString::fromUtf8(process_.readAllStandardError());
}

DevService::~DevService()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

void DevService::configureSettings() const
{
    auto& defaults = platform::UserDefaults::standard();
    for (const char* key : {"WeiboHost", "Weibo2Host", "WebHost", "StaticImageHost"})
        defaults.setObject(value(QString::fromLatin1(key)), QString::fromLatin1(key));
    defaults.setObject(value(QStringLiteral("FeedbackURL")), QStringLiteral("FeedbackURL"));
    defaults.synchronize();
}
