#include "KeyCodes.h"

#include "engine/Keysyms.h"
#include "engine/ThreadMessage.h"

namespace dova {

namespace {
struct KeyPair {
    int Key;
    uint8_t Code;
};

// Keys without a character, and punctuation by its US position.
constexpr KeyPair Named[] = {
    {Qt::Key_Backspace, 0x08},
    {Qt::Key_Tab, 0x09},
    {Qt::Key_Backtab, 0x09},
    {Qt::Key_Clear, 0x0C},
    {Qt::Key_Return, 0x0D},
    {Qt::Key_Enter, 0x0D},
    {Qt::Key_Shift, 0x10},
    {Qt::Key_Control, 0x11},
    {Qt::Key_Alt, 0x12},
    {Qt::Key_AltGr, 0xA5}, // right Alt: the AltGr key's own code
    {Qt::Key_Pause, 0x13},
    {Qt::Key_CapsLock, 0x14},
    {Qt::Key_Escape, 0x1B},
    {Qt::Key_Space, 0x20},
    {Qt::Key_PageUp, 0x21},
    {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23},
    {Qt::Key_Home, 0x24},
    {Qt::Key_Left, 0x25},
    {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27},
    {Qt::Key_Down, 0x28},
    {Qt::Key_Print, 0x2C},
    {Qt::Key_Insert, 0x2D},
    {Qt::Key_Delete, 0x2E},
    {Qt::Key_Meta, 0x5B},
    {Qt::Key_Super_L, 0x5B},
    {Qt::Key_Super_R, 0x5C},
    {Qt::Key_Menu, 0x5D},
    {Qt::Key_NumLock, 0x90},
    {Qt::Key_ScrollLock, 0x91},
    {Qt::Key_Semicolon, 0xBA},
    {Qt::Key_Colon, 0xBA},
    {Qt::Key_Equal, 0xBB},
    {Qt::Key_Plus, 0xBB},
    {Qt::Key_Comma, 0xBC},
    {Qt::Key_Less, 0xBC},
    {Qt::Key_Minus, 0xBD},
    {Qt::Key_Underscore, 0xBD},
    {Qt::Key_Period, 0xBE},
    {Qt::Key_Greater, 0xBE},
    {Qt::Key_Slash, 0xBF},
    {Qt::Key_Question, 0xBF},
    {Qt::Key_QuoteLeft, 0xC0},
    {Qt::Key_AsciiTilde, 0xC0},
    {Qt::Key_BracketLeft, 0xDB},
    {Qt::Key_BraceLeft, 0xDB},
    {Qt::Key_Backslash, 0xDC},
    {Qt::Key_Bar, 0xDC},
    {Qt::Key_BracketRight, 0xDD},
    {Qt::Key_BraceRight, 0xDD},
    {Qt::Key_Apostrophe, 0xDE},
    {Qt::Key_QuoteDbl, 0xDE},
    // Turkish Q letters by their key positions.
    {0x011E, 0xDB}, // Ğ
    {Qt::Key_Udiaeresis, 0xDD},
    {0x015E, 0xBA}, // Ş
    {0x0130, 0xDE}, // İ
    {Qt::Key_Odiaeresis, 0xBF},
    {Qt::Key_Ccedilla, 0xDC},
};
} // namespace

uint8_t VirtualKeyOf(const QKeyEvent& event) {
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return uint8_t(0x41 + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return uint8_t((event.modifiers() & Qt::KeypadModifier) ? 0x60 + (key - Qt::Key_0)
                                                                : 0x30 + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return uint8_t(0x70 + (key - Qt::Key_F1));
    for (const KeyPair& pair : Named)
        if (pair.Key == key)
            return pair.Code;
    // Dotless ı has no Qt key of its own: it is the letter I's key on Turkish Q.
    if (!event.text().isEmpty() && event.text().at(0) == QChar(0x0131))
        return 0x49;
    // Shifted digits of other layouts and anything else: the key that makes the character.
    const QString text = event.text();
    if (text.size() == 1) {
        const QChar c = text.at(0).toUpper();
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            return uint8_t(c.unicode());
    }
    return 0;
}

int64_t RelayedKeyOf(const QKeyEvent& event) {
    if (event.key() == Qt::Key_AltGr)
        return LocalKeysymGiven | keysyms::ISOLevel3Shift;
    return CharacterOf(event);
}

uint32_t CharacterOf(const QKeyEvent& event) {
    const QString text = event.text();
    if (text.isEmpty())
        return 0;
    const char32_t first = text.toUcs4().value(0);
    return uint32_t(first);
}

} // namespace dova
