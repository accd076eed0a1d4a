#include "ServerInit.h"

#include "../base/EngineExceptions.h"
#include "CoolSocket.h"
#include "RfbProtocol.h"
#include "ViewerState.h"

#include <cstdio>
#include <string>

namespace dova {

namespace {
constexpr size_t ServerInitFixedSize = 24;

// An invalid ServerInit ends the connection before the error is raised.
[[noreturn]] void Refuse(CCoolSocket& socket, const char* text) {
    socket.CloseByOwner(true);
    throw CErrorException(codes::Validity, text);
}
} // namespace

void ReadServerInit(CViewerState& state, CCoolSocket& socket) {
    uint8_t fixed[ServerInitFixedSize];
    socket.ReadBytes(fixed, sizeof fixed);
    const uint16_t width = GetU16(fixed);
    const uint16_t height = GetU16(fixed + 2);
    const PixelFormat format = PixelFormat::FromWire(fixed + 4);
    const uint32_t nameLength = GetU32(fixed + 20);

    // The name length is the server's choice: never allocate what a hostile server asks for.
    char text[256];
    if (nameLength > MaxDesktopNameLength) {
        std::snprintf(text, sizeof text, "Remote desktop name too long (%u bytes).", unsigned(nameLength));
        Refuse(socket, text);
    }
    std::string name(nameLength, '\0');
    socket.ReadBytes(name.data(), name.size());

    {
        CLockGuard hold(state);
        state.FrameWidth = width;
        state.FrameHeight = height;
        state.ServerPixelFormat = format;
        state.DesktopName = std::move(name);
    }

    if (width > MaxFrameSide || height > MaxFrameSide) {
        std::snprintf(text, sizeof text, "Remote frame buffer size invalid (%d, %d).", int(width),
                      int(height));
        Refuse(socket, text);
    }
    if (format.BitsPerPixel != 8 && format.BitsPerPixel != 16 && format.BitsPerPixel != 32) {
        std::snprintf(text, sizeof text, "Remote frame buffer bits per pixel invalid (%d).",
                      int(format.BitsPerPixel));
        Refuse(socket, text);
    }
}

} // namespace dova
