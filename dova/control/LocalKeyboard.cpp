#include "LocalKeyboard.h"

#include <QGuiApplication>

namespace dova {

namespace {
namespace vk {
constexpr int Shift = 0x10, Control = 0x11, Menu = 0x12;
constexpr int LeftShift = 0xA0, LeftControl = 0xA2, LeftMenu = 0xA4;
} // namespace vk
} // namespace

KeyboardSnapshot CurrentKeyboardSnapshot() {
    return SnapshotOf(QGuiApplication::queryKeyboardModifiers());
}

KeyboardSnapshot SnapshotOf(Qt::KeyboardModifiers held) {
    KeyboardSnapshot snapshot{};
    auto press = [&](int general, int left) {
        snapshot[size_t(general)] = KeyDownBit;
        snapshot[size_t(left)] = KeyDownBit;
    };
    if (held & Qt::ShiftModifier)
        press(vk::Shift, vk::LeftShift);
    if (held & Qt::ControlModifier)
        press(vk::Control, vk::LeftControl);
    if (held & Qt::AltModifier)
        press(vk::Menu, vk::LeftMenu);
    return snapshot;
}

int32_t CurrentModifierBits() {
    return ModifiersOf(CurrentKeyboardSnapshot());
}

int32_t ModifierBitsOf(Qt::KeyboardModifiers held) {
    return ModifiersOf(SnapshotOf(held));
}

} // namespace dova
