#pragma once
// The engine's own character translation for keys the host sends by virtual-key code: a US layout
// (letters, digits, punctuation) with Shift and Caps Lock taken from a keyboard snapshot. Keys relayed
// from the local keyboard do not come through here when they carry the character the local layout
// produced (see CInputThread).

#include <array>
#include <cstdint>

namespace dova {

// One byte per virtual-key code: 0x80 = key down, 0x01 = toggle on (Caps Lock, Num Lock).
using KeyboardSnapshot = std::array<uint8_t, 256>;

inline constexpr uint8_t KeyDownBit = 0x80;
inline constexpr uint8_t ToggleBit = 0x01;

// Modifier bits as the component reports them.
namespace modifiers {
inline constexpr int32_t Shift = 1;
inline constexpr int32_t Control = 2;
inline constexpr int32_t Alt = 4;
inline constexpr int32_t KeepCurrent = 0x80; // a modifier not asked for keeps its snapshot state
inline constexpr int32_t Current = 0x10000;  // leave the remote modifiers as they are
} // namespace modifiers

// 1 if a shift key is down, plus 2 if a control key is down, plus 4 if an Alt key is down.
int32_t ModifiersOf(const KeyboardSnapshot& keyboard);

// The character the US layout gives for the key in that keyboard state, as a Unicode code point;
// 0 when the key produces no character. Control and Alt do not change the character: a remote
// Ctrl+C must arrive as Control and c, not as a control character.
uint32_t UsLayoutCharacter(uint8_t virtualKey, const KeyboardSnapshot& keyboard);

// The other way round, for typing text through host keys: the key and whether Shift is needed for an
// ASCII character of the US layout. False for characters the layout does not have.
bool UsLayoutKeyFor(uint32_t character, uint8_t& virtualKey, bool& shift);

} // namespace dova
