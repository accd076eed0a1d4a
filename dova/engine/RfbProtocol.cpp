#include "RfbProtocol.h"

#include "CoolSocket.h"
#include "ViewerState.h"

#include <array>

namespace dova {

CRfbProtocol::CRfbProtocol(CViewerState& state, CCoolSocket& socket) : Viewer(state), Connection(socket) {}

void CRfbProtocol::SendSetPixelFormat(const PixelFormat& format) {
    std::array<uint8_t, 20> message{};
    message[0] = client_messages::SetPixelFormat;
    const auto wire = format.ToWire();
    std::copy(wire.begin(), wire.end(), message.begin() + 4);
    Connection.WriteBytes(message.data(), message.size());
}

void CRfbProtocol::SendSetEncodings() {
    std::vector<int32_t> chosen;
    {
        CLockGuard hold(Viewer);
        for (int32_t codec : Viewer.Codecs)
            if (codec >= 0)
                chosen.push_back(codec);
    }
    if (chosen.empty())
        return;
    std::vector<uint8_t> message(4 + 4 * chosen.size());
    message[0] = client_messages::SetEncodings;
    PutU16(&message[2], uint16_t(chosen.size()));
    for (size_t i = 0; i < chosen.size(); ++i)
        PutU32(&message[4 + 4 * i], uint32_t(chosen[i]));
    Connection.WriteBytes(message.data(), message.size());
}

void CRfbProtocol::SendUpdateRequest(const UpdateRegion& region, bool incremental) {
    uint8_t message[10];
    message[0] = client_messages::FramebufferUpdateRequest;
    message[1] = incremental ? 1 : 0;
    PutU16(message + 2, region.X);
    PutU16(message + 4, region.Y);
    PutU16(message + 6, region.Width);
    PutU16(message + 8, region.Height);
    Connection.WriteBytes(message, sizeof message);
}

void CRfbProtocol::SendKeyEvent(uint32_t keysym, bool down) {
    uint8_t message[8] = {client_messages::KeyEvent, uint8_t(down ? 1 : 0), 0, 0};
    PutU32(message + 4, keysym);
    Connection.WriteBytes(message, sizeof message);
}

void CRfbProtocol::SendPointerEvent(int x, int y, uint8_t buttons) {
    uint8_t message[6] = {client_messages::PointerEvent, buttons};
    PutU16(message + 2, uint16_t(x));
    PutU16(message + 4, uint16_t(y));
    Connection.WriteBytes(message, sizeof message);
}

void CRfbProtocol::SendClientCutText(const std::string& bytes) {
    uint8_t header[8] = {client_messages::ClientCutText, 0, 0, 0};
    PutU32(header + 4, uint32_t(bytes.size()));
    CLockGuard hold(Connection.WriteLock());
    Connection.WriteBytes(header, sizeof header);
    Connection.WriteBytes(bytes.data(), bytes.size());
}

void CRfbProtocol::SendStreamRequest(uint8_t level) {
    const uint8_t message[2] = {client_messages::StreamRequest, level};
    Connection.WriteBytes(message, sizeof message);
}

uint8_t* CRfbProtocol::Scratch(size_t size) {
    if (ScratchBuffer.size() < size) {
        ScratchBuffer.clear();
        ScratchBuffer.shrink_to_fit();
        ScratchBuffer.resize(size);
    }
    return ScratchBuffer.data();
}

} // namespace dova
