#pragma once
// The engine's notifications as Qt events, and the poster that delivers them to a viewer on its own
// (user-interface) thread. Posting never blocks and never touches the viewer from the worker.

#include "engine/HostMessages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

namespace dova {

class CHostEvent : public QEvent {
public:
    CHostEvent(HostMessage message, uint32_t wParam, uint32_t lParam, uint32_t generation)
        : QEvent(EventType()), Message(message), WParam(wParam), LParam(lParam), Generation(generation) {}

    static QEvent::Type EventType() {
        static const int type = QEvent::registerEventType();
        return QEvent::Type(type);
    }

    HostMessage Message;
    uint32_t WParam;
    uint32_t LParam;
    // Which connection of the viewer posted it: notifications of an earlier connection are dropped.
    uint32_t Generation;
};

class CQtHostPoster : public IHostPoster {
public:
    explicit CQtHostPoster(QObject* target) : Target(target) {}

    void SetGeneration(uint32_t generation) { Generation = generation; }

    void Post(HostMessage message, uint32_t wParam, uint32_t lParam) override {
        // postEvent is thread-safe; events still queued for a deleted target are discarded by Qt.
        QCoreApplication::postEvent(Target, new CHostEvent(message, wParam, lParam, Generation.load()));
    }

private:
    QObject* Target;
    std::atomic<uint32_t> Generation{0};
};

} // namespace dova
