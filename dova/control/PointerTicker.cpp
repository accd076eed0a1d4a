#include "PointerTicker.h"

#include <QApplication>
#include <QCursor>

#include <algorithm>

namespace dova {

CPointerTicker& CPointerTicker::Instance() {
    // Parented to the application so it is destroyed with it, never after it.
    static CPointerTicker* ticker = new CPointerTicker();
    return *ticker;
}

CPointerTicker::CPointerTicker() : QObject(QCoreApplication::instance()) {
    Timer.setInterval(TickMilliseconds);
    QObject::connect(&Timer, &QTimer::timeout, this, [this] { Tick(); });
}

void CPointerTicker::Subscribe(const void* key, Listener listener) {
    Unsubscribe(key);
    Listeners.emplace_back(key, std::move(listener));
    if (!Timer.isActive())
        Timer.start();
}

void CPointerTicker::Unsubscribe(const void* key) {
    Listeners.erase(std::remove_if(Listeners.begin(), Listeners.end(),
                                   [key](const auto& entry) { return entry.first == key; }),
                    Listeners.end());
    if (Listeners.empty())
        Timer.stop();
}

void CPointerTicker::Tick() {
    PointerSample sample;
    sample.Global = QCursor::pos();
    sample.Under = QApplication::widgetAt(sample.Global);
    // A listener may unsubscribe (or subscribe another) while being called: walk a copy.
    const auto listeners = Listeners;
    for (const auto& [key, listener] : listeners) {
        const bool stillThere = std::any_of(Listeners.begin(), Listeners.end(),
                                            [k = key](const auto& entry) { return entry.first == k; });
        if (stillThere)
            listener(sample);
    }
}

} // namespace dova
