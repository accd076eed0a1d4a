#pragma once
// Messages handed to a worker thread's queue. Payloads are held by value and owned by the queue, so
// nothing has to be freed by hand on any path.

#include <cstdint>
#include <string>
#include <variant>

namespace dova {

// Pointer record of a host mouse request; Valid says which fields are present.
struct PointerRecord {
    static constexpr int32_t HasX = 1, HasY = 2, HasButtons = 4, HasModifiers = 8;
    int32_t X = 0;
    int32_t Y = 0;
    uint32_t Buttons = 0; // 1 left, 2 middle, 4 right
    int32_t Modifiers = 0;
    int32_t Valid = 0;
};

struct RegionRecord {
    uint16_t X = 0, Y = 0, Width = 0, Height = 0;
};

using MessagePayload = std::variant<std::monostate, PointerRecord, std::string, RegionRecord>;

struct ThreadMessage {
    uint32_t Message = 0;
    uint64_t WParam = 0;
    int64_t LParam = 0;
    MessagePayload Payload;
};

// Thread message numbers. The platform's own input messages keep their values so relayed input
// reads the same as on the original platform.
namespace thread_messages {
inline constexpr uint32_t Quit = 0x0012;
inline constexpr uint32_t KeyDown = 0x0100;
inline constexpr uint32_t KeyUp = 0x0101;
inline constexpr uint32_t SysKeyDown = 0x0104;
inline constexpr uint32_t SysKeyUp = 0x0105;
inline constexpr uint32_t MouseMove = 0x0200;
inline constexpr uint32_t LeftDown = 0x0201;
inline constexpr uint32_t LeftUp = 0x0202;
inline constexpr uint32_t LeftDouble = 0x0203;
inline constexpr uint32_t RightDown = 0x0204;
inline constexpr uint32_t RightUp = 0x0205;
inline constexpr uint32_t RightDouble = 0x0206;
inline constexpr uint32_t MiddleDown = 0x0207;
inline constexpr uint32_t MiddleUp = 0x0208;
inline constexpr uint32_t MiddleDouble = 0x0209;
inline constexpr uint32_t Wheel = 0x020A;
inline constexpr uint32_t Skipped = 0x036A;
inline constexpr uint32_t MoveToken = 2025;
// The viewer's own requests to the input thread.
inline constexpr uint32_t VncKeyDown = 0x8001;
inline constexpr uint32_t VncKeyUp = 0x8002;
inline constexpr uint32_t VncMouseDown = 0x8003;
inline constexpr uint32_t VncMouseUp = 0x8004;
inline constexpr uint32_t VncClientCutText = 0x8005;
inline constexpr uint32_t VncFrameUpdate = 0x8006;
inline constexpr uint32_t VncResumeFrames = 0x8007;
} // namespace thread_messages

// lParam of a relayed local key with this bit set: the low 32 bits are the keysym the local key names
// itself (AltGr: ISO_Level3_Shift), sent as it is. Without it lParam is a Unicode code point.
inline constexpr int64_t LocalKeysymGiven = int64_t(1) << 32;

// Bits 40..62 of a relayed local key's lParam: the key's scan code on the local keyboard, the same on
// its press and its release whatever the modifiers did in between; 0 when the platform gives none.
// The input thread remembers each pressed key's keysym under it.
inline constexpr int LocalScanCodeShift = 40;
inline constexpr uint32_t LocalScanCodeMask = 0x7FFFFF;
constexpr int64_t WithLocalScanCode(int64_t produced, uint32_t scanCode) {
    return produced | (int64_t(scanCode & LocalScanCodeMask) << LocalScanCodeShift);
}
constexpr uint32_t LocalScanCodeOf(int64_t lParam) {
    return uint32_t(uint64_t(lParam) >> LocalScanCodeShift) & LocalScanCodeMask;
}

// wParam of VncClientCutText: how its text is encoded.
namespace cut_text {
inline constexpr uint64_t Plain = 0;
inline constexpr uint64_t Utf8 = 1;
} // namespace cut_text

} // namespace dova
