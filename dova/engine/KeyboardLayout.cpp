#include "KeyboardLayout.h"

#include "Keysyms.h"

namespace dova {

namespace {
struct Punctuation {
    uint8_t VirtualKey;
    char Plain;
    char Shifted;
};

// The OEM keys of a US keyboard.
constexpr Punctuation PunctuationKeys[] = {
    {0xBA, ';', ':'},  {0xBB, '=', '+'}, {0xBC, ',', '<'},  {0xBD, '-', '_'},
    {0xBE, '.', '>'},  {0xBF, '/', '?'}, {0xC0, '`', '~'},  {0xDB, '[', '{'},
    {0xDC, '\\', '|'}, {0xDD, ']', '}'}, {0xDE, '\'', '"'}, {0xE2, '\\', '|'},
};

constexpr char ShiftedDigits[] = ")!@#$%^&*(";

bool IsDown(const KeyboardSnapshot& keyboard, uint8_t virtualKey) {
    return (keyboard[virtualKey] & KeyDownBit) != 0;
}
} // namespace

int32_t ModifiersOf(const KeyboardSnapshot& keyboard) {
    using namespace virtual_keys;
    int32_t result = 0;
    if (IsDown(keyboard, Shift) || IsDown(keyboard, LeftShift) || IsDown(keyboard, RightShift))
        result |= modifiers::Shift;
    if (IsDown(keyboard, Control) || IsDown(keyboard, LeftControl) || IsDown(keyboard, RightControl))
        result |= modifiers::Control;
    if (IsDown(keyboard, Menu) || IsDown(keyboard, LeftMenu) || IsDown(keyboard, RightMenu))
        result |= modifiers::Alt;
    return result;
}

uint32_t UsLayoutCharacter(uint8_t virtualKey, const KeyboardSnapshot& keyboard) {
    const bool shift = (ModifiersOf(keyboard) & modifiers::Shift) != 0;
    if (virtualKey >= 'A' && virtualKey <= 'Z') {
        const bool capsLock = (keyboard[virtual_keys::Capital] & ToggleBit) != 0;
        return (shift != capsLock) ? virtualKey : uint32_t(virtualKey - 'A' + 'a');
    }
    if (virtualKey >= '0' && virtualKey <= '9')
        return shift ? uint8_t(ShiftedDigits[virtualKey - '0']) : virtualKey;
    for (const Punctuation& key : PunctuationKeys)
        if (key.VirtualKey == virtualKey)
            return uint8_t(shift ? key.Shifted : key.Plain);
    return 0;
}

bool UsLayoutKeyFor(uint32_t character, uint8_t& virtualKey, bool& shift) {
    KeyboardSnapshot keyboard{};
    for (bool shifted : {false, true}) {
        keyboard[virtual_keys::Shift] = shifted ? KeyDownBit : 0;
        for (int key = 0; key < 256; ++key) {
            if (UsLayoutCharacter(uint8_t(key), keyboard) == character) {
                virtualKey = uint8_t(key);
                shift = shifted;
                return true;
            }
        }
    }
    return false;
}

} // namespace dova
