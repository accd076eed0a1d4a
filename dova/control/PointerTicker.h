#pragma once
// One 50 ms timer for every viewer in the process. Each tick asks the window system once where the
// pointer is and which widget is under it, and hands that to every viewer: a wall of dozens of tiles
// then costs one pointer query per tick instead of one per viewer.

#include <QObject>
#include <QPoint>
#include <QTimer>

#include <functional>
#include <vector>

class QWidget;

namespace dova {

struct PointerSample {
    QPoint Global;            // pointer position on the screen
    QWidget* Under = nullptr; // top-level child widget under the pointer, if any
};

class CPointerTicker : public QObject {
public:
    static constexpr int TickMilliseconds = 50;
    using Listener = std::function<void(const PointerSample&)>;

    // The process-wide ticker; lives as long as the application object.
    static CPointerTicker& Instance();

    // The owner passes itself as the key; Unsubscribe with the same key.
    void Subscribe(const void* key, Listener listener);
    void Unsubscribe(const void* key);

private:
    CPointerTicker();
    void Tick();

    QTimer Timer;
    std::vector<std::pair<const void*, Listener>> Listeners;
};

} // namespace dova
