#pragma once
// A byte source that reads ahead from a feed (the connection) without consuming what it has not
// handed out. One receive brings in whatever has arrived, up to the window's capacity, as a peek; the
// feed drops the bytes only once they have been taken. So the feed's own position is always at a
// point the reader has reached, and code that reads the feed directly (ServerInit, a stream-coding
// plug-in) continues exactly where the reader stopped once the window is handed back.
//
// A request larger than the window is read straight into its destination.

#include "ByteSource.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dova {

class CWindowedSource : public CByteSource {
public:
    // The window's memory is taken at the first read, so a source only written to costs nothing.
    explicit CWindowedSource(size_t capacity);

    uint8_t PeekByte() override;
    void Commit() override;
    void HandBack() override;

    size_t Capacity() const { return WindowCapacity; }

protected:
    const uint8_t* TakeSlow(size_t n) override;
    void ReadIntoSlow(void* buffer, size_t n) override;

    // The feed. Receive places the bytes that have arrived, at least one and at most capacity, blocking
    // until there is one; a peek leaves them in the feed. Drop consumes n bytes a peek has shown; at
    // holds exactly those bytes and may be written with them again. Both fail with engine exceptions.
    virtual size_t Receive(uint8_t* buffer, size_t capacity, bool peek) = 0;
    virtual void Drop(uint8_t* at, size_t n) = 0;

private:
    // Makes the window hold at least n bytes (n <= capacity).
    void Fill(size_t n);
    // Reads n bytes into buffer, the window's first.
    void ReadStraight(uint8_t* buffer, size_t n);

    size_t WindowCapacity;
    std::vector<uint8_t> Window;
    // Bytes before Head are consumed from the feed; Head..WindowAt are taken but not yet dropped.
    uint8_t* Head = nullptr;
};

} // namespace dova
