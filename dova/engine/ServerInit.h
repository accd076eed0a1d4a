#pragma once
// Reading the ServerInit message: at the end of the handshake, and again when the server
// re-initialises the frame during a session.

#include <cstdint>

namespace dova {

class CViewerState;
class CCoolSocket;

// The largest frame the viewer accepts in either direction.
inline constexpr uint16_t MaxFrameSide = 16384;
// A desktop name is a caption; a server asking for more than this is not sending a name.
inline constexpr uint32_t MaxDesktopNameLength = 4096;

// Reads width, height, pixel format and desktop name into the state (FrameWidth, FrameHeight,
// ServerPixelFormat, DesktopName, under the state lock), then validates them. An invalid frame, or
// a name longer than MaxDesktopNameLength, closes the connection (owner close) and raises
// CErrorException 4096. A zero width or height is accepted.
void ReadServerInit(CViewerState& state, CCoolSocket& socket);

} // namespace dova
