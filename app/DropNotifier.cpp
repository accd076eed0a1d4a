#include "DropNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

#include <utility>

namespace {

constexpr int GatherMilliseconds = 3000; // drops within this long of each other make one notice
constexpr int ShownNames = 5;            // a longer list ends in "ve N bilgisayar daha"

} // namespace

TDropNotifier::TDropNotifier(QObject* parent) : QObject(parent) {
    FGather.setSingleShot(true);
    FGather.setInterval(GatherMilliseconds);
    connect(&FGather, &QTimer::timeout, this, &TDropNotifier::Send);
}

void TDropNotifier::SetEnabled(bool on) {
    FEnabled = on;
    if (!on) {
        FGather.stop();
        FPending.clear();
    }
}

void TDropNotifier::Dropped(const QString& name) {
    if (!FEnabled)
        return;
    FPending.append(name);
    FGather.start(); // restarts: a burst of drops is one notice
}

QString TDropNotifier::Summary(const QStringList& names) {
    if (names.size() == 1)
        return QStringLiteral("Bağlantı koptu: %1").arg(names.first());
    return QStringLiteral("%1 bilgisayarın bağlantısı koptu").arg(names.size());
}

QString TDropNotifier::Body(const QStringList& names) {
    if (names.size() <= 1)
        return QString();
    QStringList shown = names.mid(0, ShownNames);
    QString body = shown.join(QStringLiteral(", "));
    if (names.size() > ShownNames)
        body += QStringLiteral(" ve %1 bilgisayar daha").arg(names.size() - ShownNames);
    return body;
}

void TDropNotifier::Send() {
    const QStringList names = std::exchange(FPending, {});
    if (names.isEmpty() || !FEnabled)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("LatisVNC") << uint(0) << QStringLiteral("network-error") << Summary(names)
         << Body(names) << QStringList() << QVariantMap() << int(-1);
    // Asynchronous: a bus without the service answers with an error nobody waits for.
    bus.asyncCall(call);
}
