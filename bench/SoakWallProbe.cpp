// Soak probe: the application's main window exactly as latisvnc runs it (same program folder rules,
// same bilgisayar.ini, same embedded control library), driven through commands on its standard input
// and sampled at a fixed interval, so that a long run shows whether anything grows.
// Usage: latisvnc_soakwall <sample seconds>
// Commands, one a line:
//   press          click "Yeniden Bağlan" on every failed tile whose button is enabled
//   rebuild        rebuild the grid (as after the settings dialog)
//   auto on|off    set automatic reconnection, then rebuild (as the settings dialog does)
//   fullscreen S   open the full-screen window of the first connected tile, view only, for S seconds
//   sample         print a sample now
//   quit           close the main window as the operator does
// Each sample is one line: seconds since start, resident and data memory, open descriptors, threads,
// widgets, tiles connected / failed / connecting, and how late a 20 ms user-interface timer fired
// since the previous sample (99th percentile and maximum).
#include "AnaForm.h"
#include "Deployment.h"
#include "VNCPanel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr int TickMs = 20;

long StatusKb(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key(field);
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

qsizetype Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
}

class SoakProbe {
public:
    explicit SoakProbe(TAnaFormF& form) : FForm(form) {
        FStart.start();
        FSinceTick.start();
        FTicker.setTimerType(Qt::PreciseTimer);
        FTicker.setInterval(TickMs);
        QObject::connect(&FTicker, &QTimer::timeout, [this] {
            FLateness.push_back(std::max(0.0, FSinceTick.nsecsElapsed() / 1e6 - TickMs));
            FSinceTick.restart();
        });
        FTicker.start();
        FInput = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &FForm);
        QObject::connect(FInput, &QSocketNotifier::activated, [this] { ReadCommands(); });
    }

    void Sample() {
        int connected = 0;
        int failed = 0;
        for (TVNCPanel* tile : FForm.Tiles()) {
            if (tile->StatusLabel()->isHidden())
                ++connected;
            else if (tile->Button()->text() == QStringLiteral("Yeniden Bağlan"))
                ++failed;
        }
        const int tiles = static_cast<int>(FForm.Tiles().size());
        std::sort(FLateness.begin(), FLateness.end());
        const double p99 = FLateness.empty() ? 0 : FLateness[FLateness.size() * 99 / 100];
        const double max = FLateness.empty() ? 0 : FLateness.back();
        FLateness.clear();
        std::printf("sample t=%lld rss_kb=%ld data_kb=%ld fds=%lld threads=%lld widgets=%lld connected=%d "
                    "failed=%d connecting=%d late_p99_ms=%.1f late_max_ms=%.1f\n",
                    FStart.elapsed() / 1000, StatusKb("VmRSS:"), StatusKb("VmData:"),
                    static_cast<long long>(Entries(QStringLiteral("/proc/self/fd"))),
                    static_cast<long long>(Entries(QStringLiteral("/proc/self/task"))),
                    static_cast<long long>(QApplication::allWidgets().size()), connected, failed,
                    tiles - connected - failed, p99, max);
        std::fflush(stdout);
    }

private:
    void ReadCommands() {
        char buffer[512];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) { // the driving script went away: nothing more will come
            FInput->setEnabled(false);
            return;
        }
        FPending.append(buffer, n);
        qsizetype end;
        while ((end = FPending.indexOf('\n')) >= 0) {
            const QByteArray line = FPending.left(end).trimmed();
            FPending.remove(0, end + 1);
            Run(line);
        }
    }

    void Run(const QByteArray& line) {
        const QList<QByteArray> words = line.split(' ');
        const QByteArray& command = words.value(0);
        if (command == "sample") {
            Sample();
        } else if (command == "quit") {
            QMetaObject::invokeMethod(&FForm, &QWidget::close, Qt::QueuedConnection);
        } else if (FFullScreenOpen) {
            std::printf("busy: full-screen window open, '%s' skipped\n", line.constData());
        } else if (command == "press") {
            int pressed = 0;
            for (TVNCPanel* tile : FForm.Tiles()) {
                if (tile->Button()->isEnabled() &&
                    tile->Button()->text() == QStringLiteral("Yeniden Bağlan")) {
                    tile->Button()->click();
                    ++pressed;
                }
            }
            std::printf("pressed %d\n", pressed);
        } else if (command == "rebuild") {
            FForm.BuildTiles();
        } else if (command == "auto") {
            FForm.SetAutoReconnect(words.value(1) == "on");
            FForm.BuildTiles();
        } else if (command == "fullscreen") {
            OpenFullScreen(words.value(1).toInt());
        }
        std::fflush(stdout);
    }

    // Runs from the command, the window's own modal loop keeps the program going meanwhile.
    void OpenFullScreen(int seconds) {
        const QList<TVNCPanel*> tiles = FForm.Tiles();
        const auto tile = std::find_if(tiles.begin(), tiles.end(),
                                       [](TVNCPanel* t) { return t->StatusLabel()->isHidden(); });
        if (tile == tiles.end()) {
            std::printf("fullscreen: no connected tile\n");
            return;
        }
        FFullScreenOpen = true;
        QTimer::singleShot(std::max(seconds, 1) * 1000, [] {
            if (QWidget* window = QApplication::activeModalWidget())
                window->close();
        });
        std::printf("fullscreen: %s\n", qUtf8Printable((*tile)->Title()));
        std::fflush(stdout);
        (*tile)->ShowFullScreen(false);
        FFullScreenOpen = false;
        std::printf("fullscreen closed\n");
    }

    TAnaFormF& FForm;
    QElapsedTimer FStart;
    QElapsedTimer FSinceTick;
    QTimer FTicker;
    std::vector<double> FLateness;
    QSocketNotifier* FInput = nullptr;
    QByteArray FPending;
    bool FFullScreenOpen = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int sampleSeconds = std::max(argc > 1 ? std::atoi(argv[1]) : 10, 1);
    TAnaFormF form(ProgramFolder());
    form.ShowMain();
    SoakProbe probe(form);
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { probe.Sample(); });
    sampler.start(sampleSeconds * 1000);
    const int code = app.exec();
    probe.Sample();
    return code;
}
