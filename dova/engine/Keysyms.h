#pragma once
// Keysyms (the X Window System key codes RFB uses, RFC 6143 7.5.4) for the keys that have no
// character: a fixed table indexed by virtual-key code. Character keys are translated instead.

#include <array>
#include <cstdint>

namespace dova {

namespace keysyms {
inline constexpr uint32_t BackSpace = 0xFF08;
inline constexpr uint32_t Tab = 0xFF09;
inline constexpr uint32_t Return = 0xFF0D;
inline constexpr uint32_t Escape = 0xFF1B;
inline constexpr uint32_t Left = 0xFF51;
inline constexpr uint32_t Up = 0xFF52;
inline constexpr uint32_t Right = 0xFF53;
inline constexpr uint32_t Down = 0xFF54;
inline constexpr uint32_t F1 = 0xFFBE;
inline constexpr uint32_t ShiftL = 0xFFE1;
inline constexpr uint32_t ShiftR = 0xFFE2;
inline constexpr uint32_t ControlL = 0xFFE3;
inline constexpr uint32_t ControlR = 0xFFE4;
inline constexpr uint32_t CapsLock = 0xFFE5;
inline constexpr uint32_t AltL = 0xFFE9;
inline constexpr uint32_t AltR = 0xFFEA;
inline constexpr uint32_t Delete = 0xFFFF;
// AltGr as Linux names it: on a Linux server Alt_L instead would add Meta to every AltGr character.
inline constexpr uint32_t ISOLevel3Shift = 0xFE03;
// Characters outside Latin-1 are this plus their Unicode code point.
inline constexpr uint32_t UnicodeBase = 0x01000000;
} // namespace keysyms

// Virtual-key codes the engine itself needs by name.
namespace virtual_keys {
inline constexpr uint8_t Shift = 0x10;
inline constexpr uint8_t Control = 0x11;
inline constexpr uint8_t Menu = 0x12; // Alt
inline constexpr uint8_t Capital = 0x14;
inline constexpr uint8_t Up = 0x26;
inline constexpr uint8_t Down = 0x28;
inline constexpr uint8_t LeftShift = 0xA0;
inline constexpr uint8_t RightShift = 0xA1;
inline constexpr uint8_t LeftControl = 0xA2;
inline constexpr uint8_t RightControl = 0xA3;
inline constexpr uint8_t LeftMenu = 0xA4;
inline constexpr uint8_t RightMenu = 0xA5;
} // namespace virtual_keys

// 256 entries; 0 = the key has no fixed keysym and goes through translation. Built once, on first use.
const std::array<uint32_t, 256>& VirtualKeyKeysyms();

// Keysym of a Unicode character: Latin-1 printable characters are their own keysym, every other
// printable character is UnicodeBase + code point. Control characters and code points that cannot be
// characters give 0 (nothing to send).
uint32_t KeysymForCodePoint(uint32_t codePoint);

} // namespace dova
