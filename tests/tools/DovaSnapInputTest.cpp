// dova-snap --click and --type: the command line, the text-to-keys split, and a run against Xvnc.

#include "ChildProcess.h"
#include "RealServers.h"
#include "SnapInput.h"
#include "SnapOptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace latis_test;

namespace {
constexpr auto OutcomeLimit = std::chrono::seconds(20);

bool Parse(std::vector<std::string> arguments, dova_snap::SnapOptions& options, std::string& error) {
    arguments.insert(arguments.begin(), "dova-snap");
    std::vector<char*> argv;
    for (auto& a : arguments)
        argv.push_back(a.data());
    return dova_snap::ParseSnapOptions(int(argv.size()), argv.data(), options, error);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
} // namespace

TEST(DovaSnapInputOptions, ClickAndType) {
    dova_snap::SnapOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"h:P5901", "--click", "10,2000", "--type", "Hi there"}, options, error)) << error;
    EXPECT_TRUE(options.HasClick);
    EXPECT_EQ(options.ClickX, 10);
    EXPECT_EQ(options.ClickY, 2000);
    EXPECT_EQ(options.TypeText, "Hi there");
    for (const char* bad : {"10", "10,", ",5", "-1,5", "1,70000", "a,b"}) {
        dova_snap::SnapOptions refused;
        EXPECT_FALSE(Parse({"h", "--click", bad}, refused, error)) << bad;
        EXPECT_FALSE(refused.HasClick);
    }
}

TEST(DovaSnapInputOptions, TextBecomesKeys) {
    std::vector<dova_snap::TypedKey> keys;
    std::string error;
    ASSERT_TRUE(dova_snap::KeysForText("aZ!\n ğ", keys, error)) << error;
    ASSERT_EQ(keys.size(), 6u);
    EXPECT_EQ(keys[0].VirtualKey, 'A');
    EXPECT_FALSE(keys[0].Shift);
    EXPECT_EQ(keys[1].VirtualKey, 'Z');
    EXPECT_TRUE(keys[1].Shift) << "capitals through Shift";
    EXPECT_EQ(keys[2].VirtualKey, '1');
    EXPECT_TRUE(keys[2].Shift);
    EXPECT_EQ(keys[3].VirtualKey, 0x0D);
    EXPECT_EQ(keys[4].VirtualKey, 0x20);
    EXPECT_EQ(keys[5].Character, 0x11Fu) << "not on the US layout: sent as the character";
    EXPECT_FALSE(dova_snap::KeysForText("a\xC4", keys, error)) << "cut-off UTF-8";
    EXPECT_FALSE(dova_snap::KeysForText("\xFF", keys, error));
}

TEST(DovaSnapInput, ClicksThenTypesIntoAnXterm) {
    char folder[] = "/tmp/latis-snap-input-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string typed = std::string(folder) + "/typed.txt";
    {
        XvncServer server(ServerOptions().WithPassword("secret12").WithSize(800, 600));
        // The xterm sits at the bottom right; the click at its middle gives it the keyboard focus.
        server.RunClient({"env", "LC_ALL=C.UTF-8", "xterm", "-u8", "-geometry", "40x10-0-0", "-e", "sh", "-c",
                          "stty -echo; exec cat > '" + typed + "'"});
        server.RunClientAndWait({"xdotool", "search", "--sync", "--onlyvisible", "--class", "xterm"});
        server.RunClientAndWait({"xdotool", "mousemove", "0", "0"});

        const std::string address = "127.0.0.1:P" + std::to_string(server.Port());
        const std::string output = RunAndCapture({DOVA_SNAP_PATH, address, "--password", "secret12",
                                                  "--click", "700,550", "--type", "Echo Hotel, ığüşöç İ!\n"});
        EXPECT_NE(output.find("Size: 800x600"), std::string::npos) << output;
        EXPECT_EQ(server.RunClientAndWait({"xdotool", "getmouselocation"}).rfind("x:700 y:550 ", 0), 0u);
        const auto deadline = std::chrono::steady_clock::now() + OutcomeLimit;
        while (ReadFile(typed) != "Echo Hotel, ığüşöç İ!\n" && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(ReadFile(typed), "Echo Hotel, ığüşöç İ!\n") << server.Log();
    }
    std::filesystem::remove_all(folder);
}
