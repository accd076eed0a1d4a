// dova-viewer HOST[:PORT] [--password P] [--view-only] [--scale N/D] [--bpp 8|16|32]
//             [--encodings LIST] [--quality 0-9] [--compress 0-9] [--full-screen]
//             [--encryption off|prefer|require] [--user NAME] [--known-certs FILE] [--accept-new]
// A plain single-window viewer: loads the component library like any host and shows one server.
#include "ViewerWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <QScreen>

#include <cstdio>
#include <dlfcn.h>

namespace {
// The component beside the program first, then the one of the build tree, then the library path.
dova::IVNCViewer* LoadViewer(QWidget* parent) {
    const QByteArray beside =
        (QCoreApplication::applicationDirPath() + QStringLiteral("/libdova.so")).toLocal8Bit();
    const char* candidates[] = {beside.constData(), DOVA_BUILD_LIBRARY_PATH, "libdova.so"};
    for (const char* path : candidates) {
        void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!library)
            continue;
        auto create = reinterpret_cast<DovaCreateViewerFunction>(dlsym(library, DOVA_ENTRY_POINT_NAME));
        if (!create)
            continue;
        const char* message = nullptr;
        dova::IVNCViewer* viewer = create(dova::DOVA_INTERFACE_VERSION, parent, &message);
        if (viewer)
            return viewer;
        std::fprintf(stderr, "dova-viewer: %s: %s\n", path, message ? message : "no viewer");
    }
    std::fprintf(stderr, "dova-viewer: cannot load libdova.so (%s)\n", dlerror());
    return nullptr;
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows one RFB (VNC) server."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("server"),
                                 QStringLiteral("HOST[:PORT] (a number below 100 is a display)"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Password for the server."),
                                      QStringLiteral("P"));
    const QCommandLineOption viewOnly(QStringLiteral("view-only"),
                                      QStringLiteral("Send no keys, mouse or clipboard."));
    const QCommandLineOption scale(QStringLiteral("scale"), QStringLiteral("Show the screen scaled by N/D."),
                                   QStringLiteral("N/D"));
    const QCommandLineOption bpp(QStringLiteral("bpp"),
                                 QStringLiteral("Bits per pixel asked of the server: 8, 16 (default) or 32."),
                                 QStringLiteral("8|16|32"));
    const QCommandLineOption encodings(
        QStringLiteral("encodings"),
        QStringLiteral("Encodings asked for, in that order (0 Raw, 1 CopyRect, 2 RRE, 4 CoRRE, 5 Hextile, "
                       "7 Tight, 16 ZRLE)."),
        QStringLiteral("LIST"));
    const QCommandLineOption quality(QStringLiteral("quality"),
                                     QStringLiteral("Tight's JPEG quality (without it, no JPEG)."),
                                     QStringLiteral("0-9"));
    const QCommandLineOption compress(QStringLiteral("compress"), QStringLiteral("Tight's zlib level."),
                                      QStringLiteral("0-9"));
    const QCommandLineOption fullScreen(QStringLiteral("full-screen"),
                                        QStringLiteral("Fill the screen with the window."));
    const QCommandLineOption encryption(
        QStringLiteral("encryption"), QStringLiteral("off, prefer (default) or require: VeNCrypt over TLS."),
        QStringLiteral("off|prefer|require"));
    const QCommandLineOption user(QStringLiteral("user"),
                                  QStringLiteral("User name for Plain authentication."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption knownCerts(QStringLiteral("known-certs"),
                                        QStringLiteral("File of remembered server certificates."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption acceptNew(
        QStringLiteral("accept-new"),
        QStringLiteral("Remember a certificate not seen before without asking."));
    parser.addOptions({password, viewOnly, scale, bpp, encodings, quality, compress, fullScreen, encryption,
                       user, knownCerts, acceptNew});
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    ViewerOptions options;
    options.Server = parser.positionalArguments().first();
    options.HasPassword = parser.isSet(password);
    options.Password = parser.value(password);
    options.ViewOnly = parser.isSet(viewOnly);
    options.FullScreen = parser.isSet(fullScreen);
    if (parser.isSet(scale)) {
        const auto match = QRegularExpression(QStringLiteral("^(\\d+)/(\\d+)$")).match(parser.value(scale));
        const int n = match.hasMatch() ? match.captured(1).toInt() : 0;
        const int d = match.hasMatch() ? match.captured(2).toInt() : 0;
        if (n <= 0 || d <= 0) {
            std::fprintf(stderr, "dova-viewer: --scale wants N/D with both above 0\n");
            return 2;
        }
        options.ScaleNumerator = n;
        options.ScaleDenominator = d;
    }

    if (parser.isSet(bpp)) {
        const int bits = parser.value(bpp).toInt();
        if (bits != 8 && bits != 16 && bits != 32) {
            std::fprintf(stderr, "dova-viewer: --bpp takes 8, 16 or 32\n");
            return 2;
        }
        options.BitsPerPixel = bits;
    }

    if (parser.isSet(encodings)) {
        const QStringList items = parser.value(encodings).split(QLatin1Char(','));
        for (const QString& item : items) {
            bool number = false;
            const int value = item.toInt(&number);
            if (!number || items.size() > 16) {
                std::fprintf(stderr, "dova-viewer: --encodings takes up to 16 comma-separated numbers\n");
                return 2;
            }
            options.Encodings.append(value);
        }
    }
    for (const auto& [option, level] :
         {std::pair(&quality, &options.QualityLevel), std::pair(&compress, &options.CompressLevel)}) {
        if (!parser.isSet(*option))
            continue;
        bool number = false;
        *level = parser.value(*option).toInt(&number);
        if (!number || *level < 0 || *level > 9) {
            std::fprintf(stderr, "dova-viewer: --%s takes 0 to 9\n", qPrintable(option->names().first()));
            return 2;
        }
    }
    if (parser.isSet(encryption)) {
        const QStringList names = {QStringLiteral("off"), QStringLiteral("prefer"),
                                   QStringLiteral("require")};
        options.Encryption = int(names.indexOf(parser.value(encryption)));
        if (options.Encryption < 0) {
            std::fprintf(stderr, "dova-viewer: --encryption takes off, prefer or require\n");
            return 2;
        }
    }
    options.User = parser.value(user);
    options.KnownCertificates = parser.value(knownCerts);
    options.AcceptNew = parser.isSet(acceptNew);

    dova::IVNCViewer* viewer = LoadViewer(nullptr);
    if (!viewer)
        return 1;
    // The window takes the component's widget as its child and so owns it from here on.
    ViewerWindow window(*viewer, options);
    if (!window.Open()) {
        std::fprintf(stderr, "dova-viewer: no server given\n");
        return 2;
    }
    if (options.FullScreen) {
        // Without a window manager the full-screen state alone does not resize the window.
        if (const QScreen* screen = window.screen())
            window.setGeometry(screen->geometry());
        window.showFullScreen();
    } else
        window.show();
    return app.exec();
}
