#include "DisplayMode.h"

#include <QGuiApplication>
#include <QProcess>
#include <QStringList>

namespace dova {

namespace {
// xrandr answers at once; a desktop that does not within this is treated as a failure.
constexpr int XrandrTimeoutMs = 5000;
} // namespace

int32_t ChangeLocalDisplayMode(int32_t width, int32_t height, int32_t, int32_t frequency, int32_t,
                               int32_t display) {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return display_change::Failed;
    if (width <= 0 || height <= 0)
        return display_change::BadMode;
    QStringList arguments;
    if (display >= 0)
        arguments << QStringLiteral("--screen") << QString::number(display);
    arguments << QStringLiteral("-s") << QStringLiteral("%1x%2").arg(width).arg(height);
    if (frequency > 0)
        arguments << QStringLiteral("-r") << QString::number(frequency);
    QProcess xrandr;
    xrandr.start(QStringLiteral("xrandr"), arguments);
    if (!xrandr.waitForFinished(XrandrTimeoutMs)) {
        xrandr.kill();
        xrandr.waitForFinished();
        return display_change::Failed;
    }
    return xrandr.exitStatus() == QProcess::NormalExit && xrandr.exitCode() == 0 ? display_change::Successful
                                                                                 : display_change::Failed;
}

} // namespace dova
