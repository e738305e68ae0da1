// What one poll of the main window costs, measured on an instrumented run: the requests it makes, the bytes the
// service answers, and the main thread's time (every event the main thread handles during the poll is timed;
// the longest is the worst stall). Two cases: nothing is new, and every list has new items (100 statuses from a
// followed person, 10 of them mentioning the account, 10 comments, 10 direct messages) with the home timeline
// shown. The baseline is what one main-thread block that reloads the list and posts the notifications costs for
// the same 100 new statuses: the poll without its sliced layout of the new rows and with its notifications
// posted on the main thread.
//   bench_refresh [rounds]
// The development service (PLUMET_DEVSERVER, or the path built beside this program) runs on a free loopback port
// behind a counting proxy; notifications go to a listener on a private session bus.
#include "../../tests/support/PrivateSessionBus.h"
#include "../../tests/refresh/RefreshTestSupport.h"

#include "model/WeiboParser.h"
#include "platform/Dispatch.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace refreshtest;

namespace {

constexpr double kStallTargetMs = 16.0;

// Times every event the main thread handles while recording is on (nested deliveries count in their outer one).
class TimingApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!recording_ || depth_ > 0 || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        ++depth_;
        QElapsedTimer clock;
        clock.start();
        const bool handled = QApplication::notify(receiver, event);
        const qint64 ns = clock.nsecsElapsed();
        --depth_;
        totalNs_ += ns;
        if (ns > maxNs_) {
            maxNs_ = ns;
            maxType_ = int(event->type());
        }
        if (ns > qint64(kStallTargetMs * 1e6))
            ++overTarget_;
        return handled;
    }

    void start()
    {
        totalNs_ = maxNs_ = 0;
        overTarget_ = 0;
        maxType_ = 0;
        recording_ = true;
    }
    void stop() { recording_ = false; }
    double totalMs() const { return totalNs_ / 1e6; }
    double maxMs() const { return maxNs_ / 1e6; }
    int maxType() const { return maxType_; }
    int overTarget() const { return overTarget_; }

private:
    bool recording_ = false;
    int depth_ = 0;
    qint64 totalNs_ = 0;
    qint64 maxNs_ = 0;
    int maxType_ = 0;
    int overTarget_ = 0;
};

TimingApplication* app() { return static_cast<TimingApplication*>(qApp); }

struct Cost {
    std::size_t requests = 0;
    std::uint64_t bytes = 0;
    double mainMs = 0;
    double worstMs = 0;
    int worstType = 0;
    int over = 0;
    double wallMs = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

void print(const char* label, const Cost& c)
{
    std::printf("%-34s requests %2zu  bytes %8llu  main thread %7.2f ms  worst event %6.2f ms (type %d)  "
                "events over 16 ms %d  wall %7.1f ms\n",
                label, c.requests, (unsigned long long)c.bytes, c.mainMs, c.worstMs, c.worstType, c.over, c.wallMs);
}

class Bench {
public:
    bool setUp()
    {
        if (!service_.isRunning()) {
            std::fprintf(stderr, "development service: %s\n", service_.error().toUtf8().constData());
            return false;
        }
        person_ = service_.personClient("zhangsan@plumet.local");
        proxy_ = std::make_unique<CountingProxy>(service_.port());
        if (!person_ || !proxy_->start())
            return false;
        if (bus() && bus()->isRunning()) {
            peer_ = std::make_unique<QDBusConnection>(bus()->connect(QStringLiteral("notification-service")));
            listener_ = std::make_unique<NotificationListener>(*peer_);
        }
        useFreshSettingsAndData();
        auto demo = service_.demoClient();
        for (int type : {1, 2, 3})
            demo->statusResetCount(type);
        auto client = makeClient(proxy_->base(), service_.value(QStringLiteral("DemoAccessToken")),
                                 service_.value(QStringLiteral("DemoAccessTokenSecret")));
        window_ = std::make_unique<MyWindowController>(QStringLiteral("MainWindow"), client);
        window_->resize(540, 760);
        window_->show();
        // What the start-up's catch-up shows, then the first poll.
        weibo::SinaWeiboOptions options;
        options.count_ = 20;
        window_->weiboListViewController()->fetchDataWithOptions(options, PXListViewController::kModeInitial, false);
        window_->initComplete();
        if (!waitUntil([&] { return window_->pollsCompleted() == 1; }, 60000))
            return false;
        window_->timer()->stop();
        return true;
    }

    // One timer poll, measured.
    Cost poll()
    {
        Cost cost;
        const std::size_t from = proxy_->size();
        const auto before = window_->pollsCompleted();
        QElapsedTimer wall;
        wall.start();
        app()->start();
        window_->scheduledTask(window_->timer());
        waitUntil([&] { return window_->pollsCompleted() == before + 1; }, 120000);
        // The reload of the shown list may wait for pictures; the poll ends when it is on screen.
        PXListViewController* home = window_->weiboListViewController();
        waitUntil([&] { return home->listView()->numberOfRows() == int(home->dataOfCells()->size()); }, 30000);
        app()->stop();
        cost.wallMs = wall.nsecsElapsed() / 1e6;
        cost.requests = proxy_->size() - from;
        cost.bytes = proxy_->bytesAnswered(from);
        cost.mainMs = app()->totalMs();
        cost.worstMs = app()->maxMs();
        cost.worstType = app()->maxType();
        cost.over = app()->overTarget();
        if (listener_)
            listener_->answerAll();
        return cost;
    }

    // New items for every list: statuses (every tenth mentions the account), comments, messages.
    void makeNewItems(int statuses, int comments, int messages)
    {
        static int serial = 0;
        const char* texts[] = {"今天天气不错 #天气# 出去走走 [哈哈] http://127.0.0.1/feedback",
                               "推荐一个页面 欢迎提意见 [赞] 第二行文字稍微长一点，看看换行以后的高度怎么算",
                               "#周末去哪儿# 和 @李四 一起去爬山 [嘻嘻]", "学习中…… [思考] 有问题问 @王小明"};
        for (int i = 0; i < statuses; ++i) {
            std::string text = std::string(i % 10 == 0 ? "@演示账号 " : "") + texts[i % 4] + " " +
                               std::to_string(++serial);
            person_->statusUpdate(text);
        }
        weibo::SinaWeiboOptions one;
        one.count_ = 1;
        const auto mine = weibo::parseString<weibo::WBStatus>(service_.demoClient()->timelineUser(one));
        for (int i = 0; mine.size() && i < comments; ++i)
            person_->statusComment(mine.front()->id, "评论一下 [嘻嘻] " + std::to_string(++serial));
        weibo::SinaWeiboOptions to;
        to.user_id_ = service_.demoUserId();
        for (int i = 0; i < messages; ++i)
            person_->directMessagesNew("", "你好，" + std::to_string(++serial), to);
    }

    // The baseline: 100 new statuses merged off the main thread, then one main-thread block that reloads the
    // list (laying every new row out) and posts their notifications.
    double unslicedReloadMs()
    {
        makeNewItems(100, 0, 0);
        PXListViewController* home = window_->weiboListViewController();
        bool done = false;
        platform::dispatchGlobal([&] {
            weibo::SinaWeiboOptions options;
            options.min_id_ = home->latestEntityId();
            home->fetchDataWithOptions(options, PXListViewController::kModeNewer, true);
            platform::dispatchMainAsync([&] { done = true; });
        });
        waitUntil([&] { return done; }, 60000);
        QElapsedTimer clock;
        clock.start();
        home->setScrollMode(PXListViewController::kScrollHold);
        home->reloadData();
        window_->notifyGrowl(home, *home->dataOfCells(), 100);
        const double ms = clock.nsecsElapsed() / 1e6;
        if (listener_)
            listener_->answerAll();
        return ms;
    }

    void tearDown()
    {
        if (proxy_)
            proxy_->release();
        window_.reset();
        listener_.reset();
        proxy_.reset();
    }

private:
    DevService service_;
    boost::shared_ptr<weibo::SinaWeibo> person_;
    std::unique_ptr<CountingProxy> proxy_;
    std::unique_ptr<QDBusConnection> peer_;
    std::unique_ptr<NotificationListener> listener_;
    std::unique_ptr<MyWindowController> window_;
};

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    if (qEnvironmentVariableIsEmpty("PLUMET_DEVSERVER"))
        qputenv("PLUMET_DEVSERVER", PLUMET_DEVSERVER_BINARY);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    setUpApplication("plumet-poll-bench",
                     [](int& c, char** v) -> QApplication* { return new TimingApplication(c, v); });
    int status = 0;
    {
        Bench bench;
        if (!bench.setUp()) {
            std::fprintf(stderr, "set-up failed\n");
            status = 1;
        } else {
            std::printf("One timer poll, home timeline shown, %d rounds each (main thread: sum of the events it "
                        "handled during the poll)\n", rounds);
            std::vector<double> idleMain, idleWorst, fullMain, fullWorst, baseline;
            for (int i = 0; i < rounds; ++i) {
                const Cost idle = bench.poll();
                print("nothing new", idle);
                idleMain.push_back(idle.mainMs);
                idleWorst.push_back(idle.worstMs);
            }
            for (int i = 0; i < rounds; ++i) {
                bench.makeNewItems(100, 10, 10);
                const Cost full = bench.poll();
                print("100 statuses, 10 each of the rest", full);
                fullMain.push_back(full.mainMs);
                fullWorst.push_back(full.worstMs);
                baseline.push_back(bench.unslicedReloadMs());
                std::printf("%-34s reload of the 100 new rows and their notifications %.2f ms\n",
                            "baseline (one block)", baseline.back());
            }
            std::printf("median: nothing new: main thread %.2f ms, worst event %.2f ms\n", median(idleMain),
                        median(idleWorst));
            std::printf("median: every list new: main thread %.2f ms, worst event %.2f ms (target %.0f ms); "
                        "baseline block %.2f ms; worst event / baseline = %.2f\n",
                        median(fullMain), median(fullWorst), kStallTargetMs, median(baseline),
                        median(baseline) > 0 ? median(fullWorst) / median(baseline) : 0.0);
        }
        bench.tearDown();
    }
    tearDownApplication();
    return status;
}
