#pragma once
// A started input thread writing to a scripted peer, and the wire forms of the messages it sends.

#include "ScriptedServer.h"
#include "engine/CoolSocket.h"
#include "engine/InputThread.h"
#include "engine/ViewerState.h"

#include <memory>
#include <vector>

namespace latis_test {

struct InputRig {
    RecordingHost Host;
    dova::CViewerState State{&Host};
    ScriptedPeer Peer;
    std::unique_ptr<dova::CCoolSocket> Socket;
    std::unique_ptr<dova::CInputThread> Input;

    InputRig() {
        Socket = std::make_unique<dova::CCoolSocket>(State);
        Socket->AttachConnected(Peer.TakeClientSide());
        State.Socket = Socket.get();
        Input = std::make_unique<dova::CInputThread>(State);
        Input->Start();
    }
    ~InputRig() {
        Input.reset();
        State.Socket = nullptr;
    }
};

inline std::vector<uint8_t> KeyEvent(bool down, uint32_t keysym) {
    std::vector<uint8_t> out{4, uint8_t(down ? 1 : 0), 0, 0};
    AppendU32(out, keysym);
    return out;
}

inline std::vector<uint8_t> KeyPress(uint32_t keysym) {
    auto out = KeyEvent(true, keysym);
    const auto up = KeyEvent(false, keysym);
    out.insert(out.end(), up.begin(), up.end());
    return out;
}

inline std::vector<uint8_t> PointerEvent(uint8_t mask, uint16_t x, uint16_t y) {
    std::vector<uint8_t> out{5, mask};
    AppendU16(out, x);
    AppendU16(out, y);
    return out;
}

inline std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

} // namespace latis_test
