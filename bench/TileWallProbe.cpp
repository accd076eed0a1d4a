// Tile-wall probe: runs the application's main window exactly as latisvnc does (same program folder
// rules, same bilgisayar.ini, same embedded control library) and measures it from inside: how late a
// 20 ms user-interface timer fires (responsiveness), CPU time used, resident memory, connected tiles.
// Usage: latisvnc_tilewall <warm-up seconds> <measured seconds> [rebuilds]
// After the measurement it rebuilds the grid `rebuilds` times as the editor's close does, each after the
// warm-up again, and prints the longest stall of the user-interface thread until the new grid is made. At the
// end it closes the main window as the operator does and prints the wall-clock time of that close ("closing
// at"), so a script can time the way to process exit (bench/close_wall.sh), and the wall-clock times the
// measurement began and ended ("measuring from", "measured until"). It also prints when every tile
// first showed a picture ("all pictures at"), and, with LATIS_WALL_SEARCH set, types that text into the
// search field one letter at a time, clears it, and shows each group and then all again, printing the longest
// of these interface steps.
#include "AnaForm.h"
#include "Deployment.h"
#include "TileWall.h"
#include "VNCPanel.h"
#include "WallBuilder.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <time.h>
#include <vector>

namespace {

constexpr int TickMs = 20;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Wall-clock seconds as "s.micro", for a script to line the probe's window up with other logs.
void PrintRealTime(const char* what) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::printf("%s %lld.%06ld\n", what, static_cast<long long>(now.tv_sec), now.tv_nsec / 1000);
    std::fflush(stdout);
}

long ResidentKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// Counts what the user-interface thread handles: paints and timers, per second of measurement.
class EventCounter : public QObject {
public:
    bool Counting = false;
    long Paints = 0;
    long Timers = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (Counting) {
            if (event->type() == QEvent::Paint)
                ++Paints;
            else if (event->type() == QEvent::Timer)
                ++Timers;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int warmup = argc > 1 ? std::atoi(argv[1]) : 15;
    const int measured = argc > 2 ? std::atoi(argv[2]) : 60;
    int rebuildsLeft = argc > 3 ? std::atoi(argv[3]) : 0;
    EventCounter counter;
    app.installEventFilter(&counter);
    TAnaFormF form(ProgramFolder());
    form.ShowMain();

    // When every tile first shows a picture (the status text gives way to the viewer).
    QElapsedTimer sinceStart;
    sinceStart.start();
    QTimer pictures;
    pictures.setInterval(100);
    QObject::connect(&pictures, &QTimer::timeout, [&] {
        const QList<TVNCPanel*> tiles = form.Tiles();
        if (tiles.isEmpty())
            return;
        for (TVNCPanel* tile : tiles)
            if (!tile->StatusLabel()->isHidden())
                return;
        std::printf("all pictures at %.1f s (%lld tiles)\n", sinceStart.elapsed() / 1000.0,
                    static_cast<long long>(tiles.size()));
        std::fflush(stdout);
        pictures.stop();
    });
    pictures.start();

    // The longest single step of typing a search and switching groups.
    auto searchAndGroups = [&form] {
        const QString text = qEnvironmentVariable("LATIS_WALL_SEARCH");
        if (text.isEmpty())
            return;
        TTileWall* wall = form.Wall();
        double longest = 0;
        int steps = 0;
        auto step = [&](const std::function<void()>& action) {
            QElapsedTimer took;
            took.start();
            action();
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            const double ms = took.nsecsElapsed() / 1e6;
            longest = std::max(longest, ms);
            std::printf("  step %d: %.1f ms, %lld tiles shown\n", steps, ms,
                        static_cast<long long>(wall->ShownTiles().size()));
            ++steps;
        };
        for (int n = 1; n <= text.size(); ++n)
            step([&] { wall->SetSearchText(text.left(n)); });
        step([&] { wall->SetSearchText(QString()); });
        for (int i = 1; i < wall->GroupBox()->count(); ++i)
            step([&] { wall->SetGroupChoice(wall->GroupBox()->itemText(i)); });
        step([&] { wall->SetGroupChoice(QString()); });
        std::printf("search and groups: %d steps, longest %.1f ms\n", steps, longest);
        std::fflush(stdout);
    };

    std::vector<double> lateness;
    long maxRss = 0;
    double cpuStart = 0;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    QTimer ticker;
    QTimer ending;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(TickMs);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        lateness.push_back(std::max(0.0, sinceTick.nsecsElapsed() / 1e6 - TickMs));
        sinceTick.restart();
        if (lateness.size() % 50 == 0) // once a second is enough, and keeps the probe light
            maxRss = std::max(maxRss, ResidentKb());
        if (clock.elapsed() >= measured * 1000LL) {
            ticker.stop();
            PrintRealTime("measured until");
            const double cpu = CpuSeconds() - cpuStart;
            const double wall = clock.elapsed() / 1000.0;
            int connected = 0;
            for (TVNCPanel* tile : form.Tiles())
                connected += tile->StatusLabel()->isHidden() ? 1 : 0;
            std::sort(lateness.begin(), lateness.end());
            const double p99 = lateness.empty() ? 0 : lateness[lateness.size() * 99 / 100];
            std::printf("tiles %lld, connected %d, %d in sight asking for updates\n",
                        static_cast<long long>(form.Tiles().size()), connected, form.Wall()->AskingTiles());
            std::printf("cpu %.1f %% of one core over %.0f s\n", 100.0 * cpu / wall, wall);
            std::printf("resident memory max %.1f MB, end %.1f MB\n", maxRss / 1024.0, ResidentKb() / 1024.0);
            const auto over =
                std::count_if(lateness.begin(), lateness.end(), [](double l) { return l > 50; });
            std::printf(
                "ui timer lateness: max %.1f ms, 99th percentile %.1f ms, %lld of %zu ticks over 50 ms\n",
                lateness.empty() ? 0 : lateness.back(), p99, static_cast<long long>(over), lateness.size());
            std::printf("ui thread handled %.1f paints and %.1f timer events a second (the probe's own 50 "
                        "included)\n",
                        counter.Paints / wall, counter.Timers / wall);
            searchAndGroups();
            QMetaObject::invokeMethod(&ending, "start", Qt::QueuedConnection);
        }
    });
    // Rebuilds (each after the warm-up, with the tiles as they then are), then the close.
    ending.setSingleShot(true);
    ending.setInterval(0);
    QObject::connect(&ending, &QTimer::timeout, [&] {
        if (rebuildsLeft > 0) {
            --rebuildsLeft;
            // The rebuild as the editor's close starts it; large walls finish it over many turns, so
            // what counts is the longest gap between turns of the interface thread until it is done.
            QElapsedTimer took;
            took.start();
            form.BuildTiles();
            const double callMs = took.nsecsElapsed() / 1e6;
            auto* watch = new QTimer(&form);
            auto longest = std::make_shared<double>(callMs);
            auto last = std::make_shared<QElapsedTimer>();
            last->start();
            watch->setTimerType(Qt::PreciseTimer);
            QObject::connect(watch, &QTimer::timeout, [&form, &ending, watch, longest, last, took, warmup] {
                *longest = std::max(*longest, last->nsecsElapsed() / 1e6);
                last->restart();
                if (form.Builder()->Busy())
                    return;
                watch->stop();
                watch->deleteLater();
                std::printf("rebuild: %lld tiles, longest stall %.1f ms, done in %.1f ms\n",
                            static_cast<long long>(form.Tiles().size()), *longest, took.nsecsElapsed() / 1e6);
                std::fflush(stdout);
                ending.start(warmup * 1000);
            });
            watch->start(5);
            return;
        }
        PrintRealTime("closing at");
        // Queued behind whatever the tiles have posted, as an operator's click would be.
        QMetaObject::invokeMethod(&form, &QWidget::close, Qt::QueuedConnection);
    });
    QTimer::singleShot(warmup * 1000, [&] {
        PrintRealTime("measuring from");
        cpuStart = CpuSeconds();
        counter.Counting = true;
        clock.start();
        sinceTick.start();
        ticker.start();
    });
    return app.exec();
}
