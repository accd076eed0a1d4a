#include "Keysyms.h"

namespace dova {

namespace {
struct KeyPair {
    uint8_t VirtualKey;
    uint32_t Keysym;
};

// The 73 keys with a fixed keysym.
constexpr KeyPair FixedKeys[] = {
    {0x08, 0xFF08},                                                                 // BackSpace
    {0x09, 0xFF09},                                                                 // Tab
    {0x0C, 0xFF0B},                                                                 // Clear
    {0x0D, 0xFF0D},                                                                 // Return
    {0x10, 0xFFE1}, {0xA0, 0xFFE1},                                                 // Shift_L
    {0xA1, 0xFFE2},                                                                 // Shift_R
    {0x11, 0xFFE3}, {0xA2, 0xFFE3},                                                 // Control_L
    {0xA3, 0xFFE4},                                                                 // Control_R
    {0x12, 0xFFE9}, {0xA4, 0xFFE9},                                                 // Alt_L
    {0xA5, 0xFFEA},                                                                 // Alt_R
    {0x13, 0xFF13},                                                                 // Pause
    {0x14, 0xFFE5},                                                                 // Caps_Lock
    {0x1B, 0xFF1B},                                                                 // Escape
    {0x20, 0x0020},                                                                 // space
    {0x21, 0xFF55},                                                                 // Prior
    {0x22, 0xFF56},                                                                 // Next
    {0x23, 0xFF57},                                                                 // End
    {0x24, 0xFF50},                                                                 // Home
    {0x25, 0xFF51}, {0x26, 0xFF52}, {0x27, 0xFF53}, {0x28, 0xFF54},                 // Left Up Right Down
    {0x29, 0xFF60},                                                                 // Select
    {0x2B, 0xFF62},                                                                 // Execute
    {0x2C, 0xFF61},                                                                 // Print
    {0x2D, 0xFF63},                                                                 // Insert
    {0x2E, 0xFFFF},                                                                 // Delete
    {0x2F, 0xFF6A},                                                                 // Help
    {0x60, 0xFFB0}, {0x61, 0xFFB1}, {0x62, 0xFFB2}, {0x63, 0xFFB3}, {0x64, 0xFFB4}, // KP_0..KP_4
    {0x65, 0xFFB5}, {0x66, 0xFFB6}, {0x67, 0xFFB7}, {0x68, 0xFFB8}, {0x69, 0xFFB9}, // KP_5..KP_9
    {0x6A, 0xFFAA},                                                                 // KP_Multiply
    {0x6B, 0xFFAB},                                                                 // KP_Add
    {0x6C, 0xFFAC},                                                                 // KP_Separator
    {0x6D, 0xFFAD},                                                                 // KP_Subtract
    {0x6E, 0xFFAE},                                                                 // KP_Decimal
    {0x6F, 0xFFAF},                                                                 // KP_Divide
    {0x90, 0xFF7F},                                                                 // Num_Lock
    {0x91, 0xFF14},                                                                 // Scroll_Lock
};
constexpr int FunctionKeys = 24; // F1..F24 at 0x70..0x87

std::array<uint32_t, 256> BuildTable() {
    std::array<uint32_t, 256> table{};
    for (const KeyPair& pair : FixedKeys)
        table[pair.VirtualKey] = pair.Keysym;
    for (int i = 0; i < FunctionKeys; ++i)
        table[0x70 + i] = keysyms::F1 + uint32_t(i);
    return table;
}
} // namespace

const std::array<uint32_t, 256>& VirtualKeyKeysyms() {
    static const std::array<uint32_t, 256> table = BuildTable();
    return table;
}

uint32_t KeysymForCodePoint(uint32_t codePoint) {
    if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0))
        return 0; // control characters are not keys
    if (codePoint <= 0xFF)
        return codePoint;
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return keysyms::UnicodeBase + codePoint;
}

} // namespace dova
