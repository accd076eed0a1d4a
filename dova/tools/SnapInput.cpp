#include "SnapInput.h"

#include "SnapConnection.h"

#include "engine/InputThread.h"
#include "engine/KeyboardLayout.h"
#include "engine/ThreadMessage.h"
#include "engine/ViewerState.h"

#include <chrono>
#include <thread>

namespace dova_snap {

using namespace dova;
namespace msg = dova::thread_messages;

namespace {
constexpr uint8_t VkTab = 0x09;
constexpr uint8_t VkReturn = 0x0D;
constexpr uint8_t VkSpace = 0x20;
constexpr uint32_t LeftButton = 1;
// Typing a long text into a slow server may take a while; a dead one must not hold the tool forever.
constexpr auto DrainLimit = std::chrono::seconds(60);
constexpr auto DrainPoll = std::chrono::milliseconds(5);

// Decodes one UTF-8 sequence at text[at]; 0 on a malformed one.
uint32_t NextCodePoint(const std::string& text, size_t& at) {
    const auto lead = uint8_t(text[at]);
    int extra = 0;
    uint32_t value = 0;
    if (lead < 0x80) {
        value = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + size_t(extra) >= text.size() && extra > 0)
        return 0;
    for (int i = 1; i <= extra; ++i) {
        const auto next = uint8_t(text[at + size_t(i)]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    at += size_t(extra) + 1;
    return value;
}
} // namespace

bool KeysForText(const std::string& text, std::vector<TypedKey>& keys, std::string& error) {
    keys.clear();
    for (size_t at = 0; at < text.size();) {
        const size_t start = at;
        const uint32_t character = NextCodePoint(text, at);
        if (character == 0) {
            error = "--type: invalid UTF-8 at byte " + std::to_string(start);
            return false;
        }
        TypedKey key;
        if (character == ' ')
            key.VirtualKey = VkSpace;
        else if (character == '\n')
            key.VirtualKey = VkReturn;
        else if (character == '\t')
            key.VirtualKey = VkTab;
        else if (!UsLayoutKeyFor(character, key.VirtualKey, key.Shift))
            key.Character = character;
        keys.push_back(key);
    }
    return true;
}

void ApplyInput(SnapConnection& connection, const SnapOptions& options) {
    std::vector<TypedKey> keys;
    std::string error;
    if (!KeysForText(options.TypeText, keys, error))
        throw CErrorException(0, error);

    CInputThread input(connection.State());
    input.Start();
    if (options.HasClick) {
        PointerRecord at;
        at.X = options.ClickX;
        at.Y = options.ClickY;
        at.Buttons = 0;
        at.Modifiers = 0;
        at.Valid = PointerRecord::HasX | PointerRecord::HasY | PointerRecord::HasButtons |
                   PointerRecord::HasModifiers;
        input.PostToThread(msg::VncMouseDown, 0, 0, at); // a move, as SendMouseMove posts it
        PointerRecord click = at;
        click.Buttons = LeftButton;
        input.PostToThread(msg::VncMouseUp, 0, 0, click); // press and release
    }
    // A host key with no virtual key only sets the remote modifiers: here, all released.
    const auto releaseModifiers = [&input] { input.PostToThread(msg::VncKeyDown, 0, 0); };
    for (const TypedKey& key : keys) {
        if (key.Character != 0) {
            releaseModifiers();
            input.PostToThread(msg::KeyDown, 0, key.Character);
            input.PostToThread(msg::KeyUp, 0, key.Character);
            continue;
        }
        const int32_t wanted = key.Shift ? modifiers::Shift : 0;
        input.PostToThread(msg::VncKeyDown, key.VirtualKey, wanted);
        input.PostToThread(msg::VncKeyUp, key.VirtualKey, modifiers::Current);
    }
    if (!keys.empty())
        releaseModifiers();
    // Relayed keys still queued when a stop begins are dropped, so wait until the thread has taken
    // everything: a refresh request posted last marks the end (no session runs here to clear it).
    connection.State().FullRefreshRequested = false;
    input.PostToThread(msg::VncFrameUpdate, 0, 0, RegionRecord{});
    const auto deadline = std::chrono::steady_clock::now() + DrainLimit;
    while (!connection.State().FullRefreshRequested && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(DrainPoll);
    input.Stop();

    std::unique_ptr<CSimpleException> failure;
    while (connection.State().TakeException(failure))
        throw CErrorException(failure->Code, failure->Message);
}

} // namespace dova_snap
