#pragma once
// Local Qt keys as the component's key codes (the platform virtual-key codes its surface uses).

#include <QKeyEvent>

#include <cstdint>

namespace dova {

// The virtual-key code of a local key; 0 when the key has none. Character keys of other layouts
// (Turkish Q: ğ ü ş ı ö ç) map to the key position codes of that layout, so that the character the
// layout produced, carried beside the code, stays the one that counts.
uint8_t VirtualKeyOf(const QKeyEvent& event);

// The Unicode character the local layout produced for the key press; 0 when none.
uint32_t CharacterOf(const QKeyEvent& event);

// What a relayed key carries beside its code (the lParam of the input thread's key messages): the
// character the layout produced, or for AltGr its own keysym (ISO_Level3_Shift, never Alt_L).
int64_t RelayedKeyOf(const QKeyEvent& event);

} // namespace dova
