#include "RfbProtocol.h"

#include "../framebuffer/FrameBuffer.h"
#include "../framebuffer/TightDecoder.h"
#include "../framebuffer/ZrleDecoder.h"
#include "CoolSocket.h"
#include "ExtendedClipboard.h"
#include "RectangleLoop.h"
#include "SocketTransport.h"
#include "ViewerState.h"

#include <array>

namespace dova {

CRfbProtocol::CRfbProtocol(CViewerState& state, CCoolSocket& socket)
    : Viewer(state), Connection(&socket), OwnTransport(std::make_unique<CSocketTransport>(socket)),
      Source(OwnTransport.get()), Sink(OwnTransport.get()) {}

CRfbProtocol::CRfbProtocol(CViewerState& state, CByteSource& input, IByteSink& output)
    : Viewer(state), Source(&input), Sink(&output) {}

CRfbProtocol::~CRfbProtocol() = default;

CZrleDecoder& CRfbProtocol::ZrleDecoder() {
    if (!Zrle)
        Zrle = std::make_unique<CZrleDecoder>();
    return *Zrle;
}

CTightDecoder& CRfbProtocol::TightDecoder() {
    if (!Tight)
        Tight = std::make_unique<CTightDecoder>();
    return *Tight;
}

CFrameBuffer& CRfbProtocol::ReductionScratch() {
    if (!Unreduced)
        Unreduced = std::make_unique<CFrameBuffer>();
    return *Unreduced;
}

void CRfbProtocol::SendSetPixelFormat(const PixelFormat& format) {
    std::array<uint8_t, 20> message{};
    message[0] = client_messages::SetPixelFormat;
    const auto wire = format.ToWire();
    std::copy(wire.begin(), wire.end(), message.begin() + 4);
    Sink->Write(message.data(), message.size());
}

void CRfbProtocol::SendSetEncodings() {
    std::vector<int32_t> chosen;
    {
        CLockGuard hold(Viewer);
        for (int32_t codec : Viewer.Codecs)
            if (codec >= 0)
                chosen.push_back(codec);
        if (!chosen.empty() && Viewer.QualityLevel >= 0 && Viewer.QualityLevel <= 9)
            chosen.push_back(encodings::QualityLevel0 + Viewer.QualityLevel);
        if (!chosen.empty() && Viewer.CompressLevel >= 0 && Viewer.CompressLevel <= 9)
            chosen.push_back(encodings::CompressLevel0 + Viewer.CompressLevel);
    }
    if (chosen.empty())
        return;
    chosen.push_back(ExtendedClipboardEncoding); // after the codecs: a server that knows it answers
    // A server whose screen changes resolution tells the new size instead of closing the connection.
    chosen.push_back(encodings::DesktopSize);
    std::vector<uint8_t> message(4 + 4 * chosen.size());
    message[0] = client_messages::SetEncodings;
    PutU16(&message[2], uint16_t(chosen.size()));
    for (size_t i = 0; i < chosen.size(); ++i)
        PutU32(&message[4 + 4 * i], uint32_t(chosen[i]));
    Sink->Write(message.data(), message.size());
}

void CRfbProtocol::SendUpdateRequest(const UpdateRegion& region, bool incremental) {
    uint8_t message[10];
    message[0] = client_messages::FramebufferUpdateRequest;
    message[1] = incremental ? 1 : 0;
    PutU16(message + 2, region.X);
    PutU16(message + 4, region.Y);
    PutU16(message + 6, region.Width);
    PutU16(message + 8, region.Height);
    Sink->Write(message, sizeof message);
}

void CRfbProtocol::SendKeyEvent(uint32_t keysym, bool down) {
    uint8_t message[8] = {client_messages::KeyEvent, uint8_t(down ? 1 : 0), 0, 0};
    PutU32(message + 4, keysym);
    Sink->Write(message, sizeof message);
}

void CRfbProtocol::SendPointerEvent(int x, int y, uint8_t buttons) {
    uint8_t message[6] = {client_messages::PointerEvent, buttons};
    PutU16(message + 2, uint16_t(x));
    PutU16(message + 4, uint16_t(y));
    Sink->Write(message, sizeof message);
}

void CRfbProtocol::SendClientCutText(const std::string& bytes) {
    uint8_t header[8] = {client_messages::ClientCutText, 0, 0, 0};
    PutU32(header + 4, uint32_t(bytes.size()));
    CLockGuard hold(Sink->WriteLock());
    Sink->Write(header, sizeof header);
    Sink->Write(bytes.data(), bytes.size());
}

void CRfbProtocol::SendStreamRequest(uint8_t level) {
    const uint8_t message[2] = {client_messages::StreamRequest, level};
    Sink->Write(message, sizeof message);
}

} // namespace dova
