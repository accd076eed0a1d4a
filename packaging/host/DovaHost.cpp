// dova-host SERVER PASSWORD: the smallest host of the installed component, built only from its header
// and pkg-config (scripts/check-package.sh):
//     g++ -std=c++17 DovaHost.cpp $(pkg-config --cflags --libs dova) -o dova-host
// Connects, waits for the first screen update and prints the server's name and frame size.
#include <IVNCViewer.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <dlfcn.h>

namespace {

constexpr int GiveUpMs = 20000; // a connect time-out plus the first update

class Sink : public dova::IVNCViewerEvents {
public:
    explicit Sink(dova::IVNCViewer* viewer) : Viewer(viewer) {}
    void Connected(QString& serverName) override {
        Name = serverName;
        Viewer->Start();
    }
    void FrameUpdated(int32_t, int32_t, int32_t, int32_t) override {
        if (Reported) // more updates may arrive before the event loop ends
            return;
        Reported = true;
        int32_t width = 0, height = 0;
        Viewer->get_FrameWidth(&width);
        Viewer->get_FrameHeight(&height);
        std::printf("connected to \"%s\", %dx%d\n", qPrintable(Name), int(width), int(height));
        QCoreApplication::exit(0);
    }
    void Error(int32_t number, QString& message, const dova::VNCVariant&) override {
        std::fprintf(stderr, "dova-host: error %d: %s\n", int(number), qPrintable(message));
        QCoreApplication::exit(1);
    }

private:
    dova::IVNCViewer* Viewer;
    QString Name;
    bool Reported = false;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: dova-host SERVER PASSWORD\n");
        return 2;
    }
    void* library = ::dlopen("libdova.so", RTLD_NOW | RTLD_LOCAL);
    auto create = library
                      ? reinterpret_cast<DovaCreateViewerFunction>(::dlsym(library, DOVA_ENTRY_POINT_NAME))
                      : nullptr;
    if (!create) {
        std::fprintf(stderr, "dova-host: cannot load libdova.so: %s\n", ::dlerror());
        return 2;
    }
    QWidget window;
    const char* message = nullptr;
    dova::IVNCViewer* viewer = create(dova::DOVA_INTERFACE_VERSION, &window, &message);
    if (!viewer) {
        std::fprintf(stderr, "dova-host: %s\n", message ? message : "no viewer");
        return 2;
    }
    Sink sink(viewer);
    viewer->Advise(&sink);
    viewer->put_FireFrameUpdates(dova::VNC_TRUE);
    viewer->Connect(QString::fromLocal8Bit(argv[1]), dova::VNCVariant(), QString::fromLocal8Bit(argv[2]));
    QTimer::singleShot(GiveUpMs, [] {
        std::fprintf(stderr, "dova-host: no screen update within %d ms\n", GiveUpMs);
        QCoreApplication::exit(3);
    });
    const int result = app.exec();
    viewer->Unadvise(&sink);
    return result;
}
