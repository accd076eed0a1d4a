#pragma once
// The local keyboard as the engine wants it: a 256-byte snapshot indexed by virtual-key code.

#include "engine/KeyboardLayout.h"

#include <Qt>

namespace dova {

// Modifier keys from the window system's current state (Shift, Control, Alt and their left/right
// codes). Qt reports no toggle states, so Caps Lock reads as off.
KeyboardSnapshot CurrentKeyboardSnapshot();

// 1 Shift, 2 Control, 4 Alt, from the window system's current state.
int32_t CurrentModifierBits();

// The snapshot for a known modifier state (a key event's).
KeyboardSnapshot SnapshotOf(Qt::KeyboardModifiers held);

// 1 Shift, 2 Control, 4 Alt.
int32_t ModifierBitsOf(Qt::KeyboardModifiers held);

} // namespace dova
