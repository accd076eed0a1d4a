#include "WindowedSource.h"

#include <cstring>

namespace dova {

CWindowedSource::CWindowedSource(size_t capacity) : WindowCapacity(capacity > 0 ? capacity : 1) {}

void CWindowedSource::Commit() {
    if (WindowAt == Head)
        return;
    uint8_t* taken = Head;
    const size_t count = size_t(WindowAt - Head);
    Head += count;
    Drop(taken, count);
}

void CWindowedSource::HandBack() {
    Commit();
    Head = Window.data();
    WindowAt = WindowEnd = Head;
}

uint8_t CWindowedSource::PeekByte() {
    if (WindowAt == WindowEnd)
        Fill(1);
    return *WindowAt;
}

const uint8_t* CWindowedSource::TakeSlow(size_t n) {
    if (n > WindowCapacity) {
        uint8_t* buffer = Scratch(n);
        ReadStraight(buffer, n);
        return buffer;
    }
    Fill(n);
    const uint8_t* at = WindowAt;
    WindowAt += n;
    return at;
}

void CWindowedSource::ReadIntoSlow(void* buffer, size_t n) {
    if (n > WindowCapacity)
        ReadStraight(static_cast<uint8_t*>(buffer), n);
    else
        std::memcpy(buffer, TakeSlow(n), n);
}

void CWindowedSource::Fill(size_t n) {
    if (Window.empty())
        Window.resize(WindowCapacity);
    // A peek starts at the feed's position: the bytes not taken yet come again, then what is new.
    HandBack();
    const uint8_t* limit = Head + Window.size();
    for (;;) {
        WindowEnd = Head + Receive(Head, size_t(limit - Head), true);
        if (size_t(WindowEnd - WindowAt) >= n)
            return;
        // Everything here belongs to the request, so it may be consumed; the next peek then waits for
        // new bytes instead of showing these again.
        uint8_t* shown = Head;
        const size_t count = size_t(WindowEnd - Head);
        Head += count;
        Drop(shown, count);
    }
}

void CWindowedSource::ReadStraight(uint8_t* buffer, size_t n) {
    // n is larger than the window, so everything buffered belongs to the request.
    const size_t have = size_t(WindowEnd - WindowAt);
    if (have)
        std::memcpy(buffer, WindowAt, have);
    WindowAt = WindowEnd;
    HandBack();
    // Consumed as received: all of it belongs to the request.
    for (size_t filled = have; filled < n;)
        filled += Receive(buffer + filled, n - filled, false);
}

} // namespace dova
