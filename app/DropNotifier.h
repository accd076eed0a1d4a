#pragma once
// Optional desktop notifications when connected computers drop, through the freedesktop
// notification service on the session bus. Drops that come within a few seconds of each other are
// summed up in one notification. Where no session bus or no service runs, nothing happens.

#include <QObject>
#include <QStringList>
#include <QTimer>

class TDropNotifier : public QObject {
    Q_OBJECT

public:
    explicit TDropNotifier(QObject* parent = nullptr);

    void SetEnabled(bool on);
    bool Enabled() const { return FEnabled; }

    // A connected computer dropped; the notification leaves when no further drop came for a while.
    void Dropped(const QString& name);

    // The texts of one notification for the given names (a summary when there are several).
    static QString Summary(const QStringList& names);
    static QString Body(const QStringList& names);

private:
    void Send();

    bool FEnabled = false;
    QStringList FPending;
    QTimer FGather;
};
