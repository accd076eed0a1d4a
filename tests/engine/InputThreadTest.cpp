#include "InputRig.h"

#include "engine/KeyboardLayout.h"
#include "engine/Keysyms.h"

#include <gtest/gtest.h>

using namespace dova;
using namespace latis_test;
namespace msg = dova::thread_messages;

namespace {
constexpr uint8_t VkA = 0x41;
constexpr uint8_t VkF1 = 0x70;
constexpr uint8_t VkF5 = 0x74;
constexpr int32_t KeepRemoteModifiers = modifiers::Current;

KeyboardSnapshot Keyboard(std::initializer_list<std::pair<uint8_t, uint8_t>> keys) {
    KeyboardSnapshot snapshot{};
    for (auto [key, value] : keys)
        snapshot[key] = value;
    return snapshot;
}

class InputThreadTest : public ::testing::Test {
protected:
    InputRig Rig;

    void Local(uint8_t key, uint32_t character = 0) {
        Rig.Input->PostToThread(msg::KeyDown, key, character);
        Rig.Input->PostToThread(msg::KeyUp, key, character);
    }
    void Host(uint32_t message, uint8_t key, int32_t modifiers) {
        Rig.Input->PostToThread(message, key, modifiers);
    }
    // F1 pressed after the message under test: when it arrives, everything before it was handled.
    void Marker() { Local(VkF1); }
    std::vector<uint8_t> Wire(size_t n) { return Rig.Peer.Receive(n); }
    void ExpectNextIs(const std::vector<uint8_t>& expected) { EXPECT_EQ(Wire(expected.size()), expected); }
    void ExpectOnlyMarker() { ExpectNextIs(KeyPress(0xFFBE)); }
};
} // namespace

TEST(VirtualKeyKeysyms, SeventyThreeFixedKeys) {
    const auto& table = VirtualKeyKeysyms();
    int fixed = 0;
    for (uint32_t keysym : table)
        fixed += keysym != 0;
    EXPECT_EQ(fixed, 73);
    EXPECT_EQ(table[0x87], 0xFFD5u) << "F24";
    EXPECT_EQ(table[0x2E], 0xFFFFu) << "Delete";
    EXPECT_EQ(table[VkA], 0u) << "letters are translated";
    EXPECT_EQ(table[0x5B], 0u) << "Windows key";
}

TEST(KeysymForCodePoint, Latin1DirectOthersUnicodeControlsNothing) {
    EXPECT_EQ(KeysymForCodePoint('a'), 0x61u);
    EXPECT_EQ(KeysymForCodePoint(0xE7), 0xE7u);         // ç
    EXPECT_EQ(KeysymForCodePoint(0x11F), 0x0100011Fu);  // ğ
    EXPECT_EQ(KeysymForCodePoint(0x20AC), 0x010020ACu); // €
    EXPECT_EQ(KeysymForCodePoint(0x03), 0u);
    EXPECT_EQ(KeysymForCodePoint(0x85), 0u);
    EXPECT_EQ(KeysymForCodePoint(0xD800), 0u);
    EXPECT_EQ(KeysymForCodePoint(0x110000), 0u);
}

TEST(UsLayout, ShiftAndCapsLockFromTheSnapshot) {
    EXPECT_EQ(UsLayoutCharacter('A', Keyboard({})), uint32_t('a'));
    EXPECT_EQ(UsLayoutCharacter('A', Keyboard({{0xA1, 0x80}})), uint32_t('A')) << "right shift";
    EXPECT_EQ(UsLayoutCharacter('A', Keyboard({{0x14, 0x01}})), uint32_t('A')) << "caps lock on";
    EXPECT_EQ(UsLayoutCharacter('A', Keyboard({{0x14, 0x01}, {0x10, 0x80}})), uint32_t('a'));
    EXPECT_EQ(UsLayoutCharacter('1', Keyboard({{0x14, 0x01}})), uint32_t('1')) << "caps lock leaves digits";
    EXPECT_EQ(UsLayoutCharacter('2', Keyboard({{0x10, 0x80}})), uint32_t('@'));
    EXPECT_EQ(UsLayoutCharacter(0xDE, Keyboard({{0x10, 0x80}})), uint32_t('"'));
    EXPECT_EQ(UsLayoutCharacter('C', Keyboard({{0x11, 0x80}})), uint32_t('c'))
        << "control adds no control code";
    EXPECT_EQ(UsLayoutCharacter(0x5B, Keyboard({})), 0u);
    EXPECT_EQ(ModifiersOf(Keyboard({{0xA0, 0x80}, {0xA3, 0x80}, {0x12, 0x80}})), 7);
    EXPECT_EQ(ModifiersOf(Keyboard({{0x10, 0x01}})), 0) << "a toggle bit is not a held key";
}

TEST_F(InputThreadTest, LocalKeysFixedAndTranslatedWithTheSnapshot) {
    Local(VkF5);
    ExpectNextIs(KeyPress(0xFFC2));
    Local(VkA);
    ExpectNextIs(KeyPress(0x61));
    Rig.Input->SetKeyboardState(Keyboard({{0x10, 0x80}}));
    Local(VkA);
    ExpectNextIs(KeyPress(0x41));
    Rig.Input->SetKeyboardState(Keyboard({{0x11, 0x80}}));
    Local('C', 0x03); // Ctrl+C: the local layout's control character falls back to the letter
    ExpectNextIs(KeyPress('c'));
}

TEST_F(InputThreadTest, LocalKeysCarryTheLocalLayoutsCharacter) {
    // Turkish Q: ğ on the [ key, ş on ;, ı on I, İ on ', ç and ö Latin-1.
    Local(0xDB, 0x11F);
    ExpectNextIs(KeyPress(0x0100011F));
    Local(0xBA, 0x15F);
    ExpectNextIs(KeyPress(0x0100015F));
    Local('I', 0x131);
    ExpectNextIs(KeyPress(0x01000131));
    Rig.Input->SetKeyboardState(Keyboard({{0x10, 0x80}}));
    Local(0xDE, 0x130);
    ExpectNextIs(KeyPress(0x01000130));
    Local(0xDC, 0xC7);
    ExpectNextIs(KeyPress(0xC7));
    Local(0xBF, 0xF6);
    ExpectNextIs(KeyPress(0xF6));
}

TEST_F(InputThreadTest, ReleaseNamesTheKeysymThatWasPressed) {
    Rig.Input->SetKeyboardState(Keyboard({{0x10, 0x80}}));
    Rig.Input->PostToThread(msg::KeyDown, '1');
    ExpectNextIs(KeyEvent(true, '!'));
    Rig.Input->SetKeyboardState(Keyboard({}));
    Rig.Input->PostToThread(msg::KeyUp, '1');
    ExpectNextIs(KeyEvent(false, '!'));
    // Released once: the next release translates afresh.
    Rig.Input->PostToThread(msg::KeyUp, '1');
    ExpectNextIs(KeyEvent(false, '1'));
}

TEST_F(InputThreadTest, EachHeldKeyReleasesItsOwnKeysym) {
    // Turkish Q with AltGr: @ on the Q key (scan code 24), € on E (26); neither has a key code.
    const auto key = [&](uint32_t message, uint8_t code, uint32_t character, uint32_t scanCode) {
        Rig.Input->PostToThread(message, code, WithLocalScanCode(character, scanCode));
    };
    key(msg::KeyDown, 0, '@', 24);
    key(msg::KeyDown, 0, 0x20AC, 26);
    key(msg::KeyUp, 0, 0, 24);
    ExpectNextIs(KeyEvent(true, '@'));
    ExpectNextIs(KeyEvent(true, 0x010020AC));
    ExpectNextIs(KeyEvent(false, '@'));
    // AltGr let go first: the Q key's release names the letter, the server holds @.
    key(msg::KeyDown, 0, '@', 24);
    key(msg::KeyUp, 'Q', 0, 24);
    ExpectNextIs(KeyEvent(true, '@'));
    ExpectNextIs(KeyEvent(false, '@'));
    // A repeat that now makes another character lets the first one go.
    key(msg::KeyDown, 'Q', 'q', 24);
    key(msg::KeyDown, 0, '@', 24);
    key(msg::KeyUp, 0, 0, 26);
    ExpectNextIs(KeyEvent(true, 'q'));
    ExpectNextIs(KeyEvent(false, 'q'));
    ExpectNextIs(KeyEvent(true, '@'));
    ExpectNextIs(KeyEvent(false, 0x010020AC));
}

TEST_F(InputThreadTest, HostKeysSetTheModifiersFirst) {
    Host(msg::VncKeyDown, VkA, modifiers::Control);
    ExpectNextIs(Join(
        {KeyEvent(false, 0xFFE1), KeyEvent(true, 0xFFE3), KeyEvent(false, 0xFFE9), KeyEvent(true, 0x61)}));
    Host(msg::VncKeyUp, VkA, KeepRemoteModifiers);
    ExpectNextIs(KeyEvent(false, 0x61));
    // Shift asked for by the host also shifts the character, whatever the local keyboard holds.
    Host(msg::VncKeyDown, VkA, modifiers::Shift);
    ExpectNextIs(Join(
        {KeyEvent(true, 0xFFE1), KeyEvent(false, 0xFFE3), KeyEvent(false, 0xFFE9), KeyEvent(true, 0x41)}));
    Rig.Input->SetKeyboardState(Keyboard({{0x10, 0x80}, {0x12, 0x80}}));
    Host(msg::VncKeyDown, '2', modifiers::KeepCurrent);
    ExpectNextIs(
        Join({KeyEvent(true, 0xFFE1), KeyEvent(false, 0xFFE3), KeyEvent(true, 0xFFE9), KeyEvent(true, '@')}));
}

TEST_F(InputThreadTest, WindowsAndApplicationKeysSendNothing) {
    Local(0x5B);
    Local(0x5C);
    Local(0x5D);
    Host(msg::VncKeyDown, 0x5B, KeepRemoteModifiers);
    Rig.Input->PostToThread(msg::VncKeyDown, 0x100 + VkF5, KeepRemoteModifiers); // no such key, not F5
    Rig.Input->PostToThread(msg::KeyDown, 0x100 + VkF5, 0);
    Marker();
    ExpectOnlyMarker();
}

TEST_F(InputThreadTest, WheelBecomesOneArrowPress) {
    Rig.Input->PostToThread(msg::Wheel, uint64_t(uint16_t(-120)) << 16, 0);
    ExpectNextIs(KeyPress(0xFF54));
    Rig.Input->PostToThread(msg::Wheel, uint64_t(uint16_t(-1200)) << 16, 0);
    ExpectNextIs(KeyPress(0xFF54));
    Rig.Input->PostToThread(msg::Wheel, uint64_t(120) << 16, 0);
    ExpectNextIs(KeyPress(0xFF52));
    Rig.Input->PostToThread(msg::Wheel, 0, 0);
    ExpectNextIs(KeyPress(0xFF52));
}

TEST_F(InputThreadTest, RelayedButtons) {
    const int64_t at = CInputThread::PackPosition(300, 200);
    Rig.Input->PostToThread(msg::LeftUp, 0, at);
    // A release never pressed becomes a click.
    ExpectNextIs(Join({PointerEvent(1, 300, 200), PointerEvent(0, 300, 200)}));
    Rig.Input->PostToThread(msg::RightDown, 0, at);
    Rig.Input->PostToThread(msg::MiddleDown, 0, CInputThread::PackPosition(301, 200));
    Rig.Input->PostToThread(msg::RightUp, 0, CInputThread::PackPosition(302, 200));
    Rig.Input->PostToThread(msg::MiddleUp, 0, CInputThread::PackPosition(65535, 65535));
    ExpectNextIs(Join({PointerEvent(4, 300, 200), PointerEvent(6, 301, 200), PointerEvent(2, 302, 200),
                       PointerEvent(0, 65535, 65535)}));
    Rig.Input->PostToThread(msg::LeftDouble, 0, at);
    Rig.Input->PostToThread(msg::RightDouble, 0, at);
    Rig.Input->PostToThread(msg::MiddleDouble, 0, at);
    Marker();
    ExpectOnlyMarker();
}

TEST_F(InputThreadTest, HostPointerRecords) {
    Rig.Input->RelayMouseMove(0, 30, 40, 1);
    ExpectNextIs(PointerEvent(0, 30, 40));
    PointerRecord up;
    up.Buttons = 4;
    up.Valid = PointerRecord::HasButtons;
    Rig.Input->PostToThread(msg::VncMouseUp, 0, 0, up);
    ExpectNextIs(Join({PointerEvent(4, 30, 40), PointerEvent(0, 30, 40)})); // at the last position

    PointerRecord down;
    down.X = 5;
    down.Y = 6;
    down.Buttons = 1;
    down.Modifiers = modifiers::Shift;
    down.Valid =
        PointerRecord::HasX | PointerRecord::HasY | PointerRecord::HasButtons | PointerRecord::HasModifiers;
    Rig.Input->PostToThread(msg::VncMouseDown, 0, 0, down);
    ExpectNextIs(Join(
        {KeyEvent(true, 0xFFE1), KeyEvent(false, 0xFFE3), KeyEvent(false, 0xFFE9), PointerEvent(1, 5, 6)}));
    PointerRecord outside;
    outside.X = -1;
    outside.Y = 70000;
    outside.Buttons = 0;
    outside.Valid = PointerRecord::HasX | PointerRecord::HasY | PointerRecord::HasButtons;
    Rig.Input->PostToThread(msg::VncMouseDown, 0, 0, outside);
    ExpectNextIs(PointerEvent(0, 0, 65535)); // clamped to the wire's range, not wrapped
    EXPECT_EQ(Rig.Input->LastPointerX(), -1);
}

TEST_F(InputThreadTest, ClipboardDropsCarriageReturns) {
    Rig.Input->PostToThread(msg::VncClientCutText, 0, 0, std::string("x\r\ny"));
    ExpectNextIs({6, 0, 0, 0, 0, 0, 0, 3, 'x', '\n', 'y'});
    Rig.Input->PostToThread(msg::VncClientCutText, 0, 0, std::string("\r\r"));
    ExpectNextIs({6, 0, 0, 0, 0, 0, 0, 0});
}

TEST_F(InputThreadTest, OnlyTheNewestQueuedMoveIsSent) {
    Rig.Input->Suspend();
    Marker(); // the thread takes it and waits, so everything below is queued behind it
    Rig.Input->RelayMouseMove(0x0000, 10, 10, 100);
    Rig.Input->RelayMouseMove(0x0001, 20, 20, 101);
    Rig.Input->RelayMouseMove(0x0011, 30, 30, 102);
    Rig.Input->Resume();
    ExpectOnlyMarker();
    Marker();
    ExpectNextIs(PointerEvent(3, 30, 30));
    ExpectOnlyMarker();
    EXPECT_EQ(Rig.Input->MoveToken.load(), 0u);
}

TEST_F(InputThreadTest, RelayedInputIgnoredOnceStopping) {
    Rig.Input->Suspend();
    Host(msg::VncKeyDown, VkF1, KeepRemoteModifiers); // taken at once; waits for the resume
    Local(VkF5);
    Rig.Input->PostToThread(msg::LeftDown, 0, 0);
    Rig.Input->PostToThread(msg::Wheel, 0, 0);
    Host(msg::VncKeyDown, VkF5, KeepRemoteModifiers);
    Rig.Input->PostToThread(msg::VncFrameUpdate, 0, 0, RegionRecord{0, 0, 10, 10});
    Rig.Input->Stop(); // signals the stop, resumes and joins
    // Only the host's keys: everything it sent is in the socket once the thread has ended.
    EXPECT_EQ(Rig.Peer.Drain(std::chrono::milliseconds(0)),
              Join({KeyEvent(true, 0xFFBE), KeyEvent(true, 0xFFC2)}));
    EXPECT_TRUE(Rig.State.FullRefreshRequested.load());
}

TEST_F(InputThreadTest, WriteFailureClosesReportsOnceAndGoesOn) {
    Rig.Peer.CloseServerSide();
    Local(VkF5);
    Local(VkF5);
    Rig.Input->PostToThread(msg::VncFrameUpdate, 0, 0, RegionRecord{});
    ASSERT_TRUE(Rig.Host.WaitFor(HostMessage::Exception));
    Rig.Input->Stop();
    EXPECT_TRUE(Rig.State.FullRefreshRequested.load()) << "messages after the failure are still handled";
    EXPECT_TRUE(Rig.Socket->IsClosing());
    EXPECT_EQ(Rig.State.State.load(), states::NotConnected);
    std::unique_ptr<CSimpleException> reported;
    ASSERT_TRUE(Rig.State.TakeException(reported));
    EXPECT_EQ(reported->Level, ExceptionLevel::Error);
    EXPECT_EQ(reported->Code, codes::SocketWrite);
    EXPECT_FALSE(Rig.State.TakeException(reported)) << "later quiet failures are not reported";
    EXPECT_EQ(Rig.Host.Count(HostMessage::Exception), 1u);
}
