// Input against TigerVNC's Xvnc started on 127.0.0.1 by the test: typed text reaches an X client on
// that display and pointer events move the remote pointer.

#include "RealServers.h"
#include "ScriptedServer.h"
#include "engine/ConnectThread.h"
#include "engine/CoolSocket.h"
#include "engine/InputThread.h"
#include "engine/KeyboardLayout.h"
#include "engine/ViewerState.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace dova;
using namespace latis_test;
namespace msg = dova::thread_messages;

namespace {
// How long the remote side may take to show what was sent; the tests wait for an outcome, never time it.
constexpr auto OutcomeLimit = std::chrono::seconds(20);
constexpr auto PollInterval = std::chrono::milliseconds(50);

template <typename Check> bool Eventually(Check check) {
    const auto deadline = std::chrono::steady_clock::now() + OutcomeLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (check())
            return true;
        std::this_thread::sleep_for(PollInterval);
    }
    return check();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A viewer connected to the server with a running input thread, as the component sets it up.
class ConnectedInput {
public:
    explicit ConnectedInput(int port) {
        State.Server = "127.0.0.1";
        State.Port = port;
        State.Socket = &Socket;
        CConnectThread connect(State);
        connect.Start();
        Connected = Host.WaitFor(HostMessage::Connected, 1, OutcomeLimit);
        connect.Stop();
        Input.Start();
    }
    ~ConnectedInput() {
        Socket.CloseByOwner(true);
        Input.Stop();
    }

    // Types text as the host would with SendKeyPress: capitals and shifted punctuation through Shift.
    void TypeAsHost(const std::string& text) {
        for (char c : text) {
            const auto [key, shift] = KeyFor(c);
            const int32_t modifiers = shift ? dova::modifiers::Shift : 0;
            Input.PostToThread(msg::VncKeyDown, key, modifiers);
            Input.PostToThread(msg::VncKeyUp, key, modifiers);
        }
        Input.PostToThread(msg::VncKeyDown, 0x10, modifiers::Current); // leave Shift released
        Input.PostToThread(msg::VncKeyUp, 0x10, modifiers::Current);
    }

    static std::pair<uint8_t, bool> KeyFor(char c) {
        if (c >= 'a' && c <= 'z')
            return {uint8_t(c - 'a' + 'A'), false};
        if (c >= 'A' && c <= 'Z')
            return {uint8_t(c), true};
        if (c >= '0' && c <= '9')
            return {uint8_t(c), false};
        switch (c) {
        case ' ':
            return {0x20, false};
        case '\n':
            return {0x0D, false};
        case ',':
            return {0xBC, false};
        case '!':
            return {'1', true};
        case '.':
            return {0xBE, false};
        default:
            return {0, false};
        }
    }

    RecordingHost Host;
    CViewerState State{&Host};
    CCoolSocket Socket{State};
    CInputThread Input{State};
    bool Connected = false;
};

class RealServerInput : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/latis-input-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        Folder = folder;
    }
    void TearDown() override { std::filesystem::remove_all(Folder); }

    std::string Folder;
};
} // namespace

TEST_F(RealServerInput, PointerMovesAndTypedTextReachesAnXterm) {
    XvncServer server(ServerOptions().WithSize(800, 600));
    const std::string typed = Folder + "/typed.txt";
    server.RunClient({"env", "LC_ALL=C.UTF-8", "xterm", "-u8", "-geometry", "80x24+0+0", "-e", "sh", "-c",
                      "stty -echo; exec cat > '" + typed + "'"});
    // The xterm must be mapped before the pointer can give it the keyboard focus.
    server.RunClientAndWait({"xdotool", "search", "--sync", "--onlyvisible", "--class", "xterm"});

    ConnectedInput viewer(server.Port());
    ASSERT_TRUE(viewer.Connected) << server.Log();

    PointerRecord move;
    move.X = 123;
    move.Y = 234;
    move.Buttons = 0;
    move.Valid = PointerRecord::HasX | PointerRecord::HasY | PointerRecord::HasButtons;
    viewer.Input.PostToThread(msg::VncMouseDown, 0, 0, move);
    std::string location;
    EXPECT_TRUE(Eventually([&] {
        location = server.RunClientAndWait({"xdotool", "getmouselocation"});
        return location.rfind("x:123 y:234 ", 0) == 0;
    })) << location;

    // Over the xterm now (focus follows the pointer without a window manager).
    viewer.TypeAsHost("Hello, World! 42.\n");
    EXPECT_TRUE(Eventually([&] { return ReadFile(typed) == "Hello, World! 42.\n"; })) << ReadFile(typed);

    // Keys relayed from a Turkish keyboard carry their characters.
    const std::pair<uint8_t, uint32_t> turkish[] = {{0xDB, 0x11F}, {0xBA, 0x15F}, {'I', 0x131},
                                                    {0xDE, 0x130}, {0xDC, 0xE7},  {0xBF, 0xF6}};
    for (auto [key, character] : turkish) {
        if (character == 0x130)
            viewer.Input.SetKeyboardState([] {
                KeyboardSnapshot shifted{};
                shifted[0x10] = KeyDownBit;
                return shifted;
            }());
        viewer.Input.PostToThread(msg::KeyDown, key, character);
        viewer.Input.PostToThread(msg::KeyUp, key, character);
        viewer.Input.SetKeyboardState(KeyboardSnapshot{});
    }
    viewer.Input.PostToThread(msg::KeyDown, 0x0D, 0);
    viewer.Input.PostToThread(msg::KeyUp, 0x0D, 0);
    const std::string expected = "Hello, World! 42.\n\xC4\x9F\xC5\x9F\xC4\xB1\xC4\xB0\xC3\xA7\xC3\xB6\n";
    EXPECT_TRUE(Eventually([&] { return ReadFile(typed) == expected; })) << ReadFile(typed);

    // A click with the left button: the pointer stays where it was sent.
    PointerRecord click;
    click.X = 700;
    click.Y = 500;
    click.Buttons = 1;
    click.Valid = PointerRecord::HasX | PointerRecord::HasY | PointerRecord::HasButtons;
    viewer.Input.PostToThread(msg::VncMouseUp, 0, 0, click);
    EXPECT_TRUE(Eventually([&] {
        location = server.RunClientAndWait({"xdotool", "getmouselocation"});
        return location.rfind("x:700 y:500 ", 0) == 0;
    })) << location;
    std::unique_ptr<CSimpleException> reported;
    EXPECT_FALSE(viewer.State.TakeException(reported)) << reported->Message;
}
