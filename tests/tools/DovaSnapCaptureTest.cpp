// dova-snap's capture: options, the PNG it writes, and a capture from a real server.

#include "PngWriter.h"
#include "RealServers.h"
#include "SnapOptions.h"
#include "WayvncServer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

using namespace latis_test;

namespace {

uint32_t BigU32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// Reads back what EncodePng writes (RGB, stored deflate blocks, no filters), checking every CRC and
// the Adler-32; an empty picture when anything is off.
RgbImage ReadStoredPng(const std::vector<uint8_t>& png) {
    RgbImage image;
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || !std::equal(signature, signature + 8, png.begin()))
        return {};
    std::vector<uint8_t> zlib;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const uint32_t length = BigU32(&png[at]);
        if (at + 12 + length > png.size())
            return {};
        const std::string type(png.begin() + std::ptrdiff_t(at + 4), png.begin() + std::ptrdiff_t(at + 8));
        if (dova_snap::Crc32(&png[at + 4], length + 4) != BigU32(&png[at + 8 + length]))
            return {};
        const uint8_t* data = &png[at + 8];
        if (type == "IHDR") {
            image.Width = int(BigU32(data));
            image.Height = int(BigU32(data + 4));
            if (data[8] != 8 || data[9] != 2)
                return {};
        } else if (type == "IDAT") {
            zlib.insert(zlib.end(), data, data + length);
        }
        at += 12 + length;
    }
    std::vector<uint8_t> raw;
    size_t z = 2;
    for (;;) {
        if (z + 5 > zlib.size() || (zlib[z] & 6) != 0)
            return {};
        const bool last = zlib[z] & 1;
        const size_t n = zlib[z + 1] | (zlib[z + 2] << 8);
        raw.insert(raw.end(), zlib.begin() + std::ptrdiff_t(z + 5), zlib.begin() + std::ptrdiff_t(z + 5 + n));
        z += 5 + n;
        if (last)
            break;
    }
    if (z + 4 > zlib.size() || BigU32(&zlib[z]) != dova_snap::Adler32(raw.data(), raw.size()))
        return {};
    const size_t rowBytes = size_t(image.Width) * 3;
    if (raw.size() != (rowBytes + 1) * size_t(image.Height))
        return {};
    for (int y = 0; y < image.Height; ++y) {
        const auto row = raw.begin() + std::ptrdiff_t(y * (rowBytes + 1));
        if (*row != 0)
            return {};
        image.Pixels.insert(image.Pixels.end(), row + 1, row + 1 + std::ptrdiff_t(rowBytes));
    }
    return image;
}

std::string RunSnap(const std::vector<std::string>& arguments, int& status) {
    // A capture that never ends is a failure, not a hung test.
    std::string command = std::string("timeout 60 ") + DOVA_SNAP_PATH;
    for (const auto& a : arguments)
        command += " '" + a + "'";
    command += " 2>&1";
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return output;
    std::array<char, 4096> buffer;
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), got);
    const int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

} // namespace

TEST(SnapPng, RoundTripsThroughStoredBlocks) {
    // Larger than one stored block (65535 bytes), with a partial last one.
    const int width = 200, height = 120;
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t(i * 7 + i / 600);
    const RgbImage back = ReadStoredPng(dova_snap::EncodePng(width, height, rgb));
    ASSERT_EQ(back.Width, width);
    ASSERT_EQ(back.Height, height);
    EXPECT_EQ(back.Pixels, rgb);

    const auto empty = dova_snap::EncodePng(0, 0, {});
    EXPECT_EQ(BigU32(&empty[empty.size() - 4]), 0xAE426082u) << "the well-known CRC of IEND";
    const uint8_t text[] = "123456789";
    EXPECT_EQ(dova_snap::Crc32(text, 9), 0xCBF43926u);
    EXPECT_EQ(dova_snap::Adler32(reinterpret_cast<const uint8_t*>("Wikipedia"), 9), 0x11E60398u);
}

TEST(SnapOptions, EncodingsAndUpdates) {
    std::vector<std::string> arguments = {"dova-snap", "127.0.0.1:6001", "--encodings",
                                          "5,1,-239",  "--updates",      "3"};
    std::vector<char*> argv;
    for (auto& a : arguments)
        argv.push_back(a.data());
    dova_snap::SnapOptions options;
    std::string error;
    ASSERT_TRUE(dova_snap::ParseSnapOptions(int(argv.size()), argv.data(), options, error)) << error;
    EXPECT_EQ(options.Encodings, (std::vector<int32_t>{5, 1, -239}));
    EXPECT_EQ(options.UpdatesToCapture(), 3);

    for (const char* bad : {"", "5,,1", "x", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17"}) {
        std::vector<std::string> a = {"dova-snap", "host", "--encodings", bad};
        std::vector<char*> v;
        for (auto& s : a)
            v.push_back(s.data());
        dova_snap::SnapOptions o;
        EXPECT_FALSE(dova_snap::ParseSnapOptions(int(v.size()), v.data(), o, error)) << bad;
    }
}

TEST(DovaSnapCapture, WritesTheScreenAsPngAndCountsRectangles) {
    XvncServer server(ServerOptions().WithSize(160, 120));
    server.RunClientAndWait({"xsetroot", "-mod", "5", "5", "-fg", "#ff8000", "-bg", "#203040"});
    const RgbImage screen = server.Screenshot();
    const std::string out = testing::TempDir() + "/dova-snap-capture.png";
    int status = -1;
    const std::string output = RunSnap({"127.0.0.1:P" + std::to_string(server.Port()), "--bpp", "32",
                                        "--encodings", "5", "--updates", "1", "--out", out},
                                       status);
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Updates: 1"), std::string::npos) << output;
    EXPECT_NE(output.find("Hextile "), std::string::npos) << output;
    EXPECT_EQ(output.find("Hextile 0"), std::string::npos) << "Hextile was asked for alone\n" << output;
    EXPECT_NE(output.find("Bytes read: "), std::string::npos) << output;

    std::ifstream file(out, std::ios::binary);
    const std::vector<uint8_t> png{std::istreambuf_iterator<char>(file), {}};
    const RgbImage picture = ReadStoredPng(png);
    ASSERT_EQ(picture.Width, 160);
    ASSERT_EQ(picture.Height, 120);
    EXPECT_TRUE(picture.Pixels == screen.Pixels) << "the PNG shows the screen";
}

// wayvnc sends after an incremental request only what changes: a quiet screen must still arrive
// whole, so the session's first request asks for all of it. The second viewer shows it: for the first
// one wayvnc's fresh capture counts as a change.
TEST(DovaSnapCapture, QuietWayvncScreenArrivesWhole) {
    WayvncServer server(800, 600);
    for (int viewer = 1; viewer <= 2; ++viewer) {
        const std::string out = testing::TempDir() + "/dova-snap-wayvnc.png";
        int status = -1;
        const std::string output =
            RunSnap({"127.0.0.1:P" + std::to_string(server.Port()), "--updates", "1", "--out", out}, status);
        ASSERT_EQ(status, 0) << "viewer " << viewer << "\n" << output << "\n" << server.Log();
        std::ifstream file(out, std::ios::binary);
        const RgbImage picture = ReadStoredPng({std::istreambuf_iterator<char>(file), {}});
        ASSERT_EQ(picture.Width, 800);
        ASSERT_EQ(picture.Height, 600);
        size_t black = 0;
        for (uint32_t pixel : picture.Pixels)
            black += pixel == 0;
        // sway's grey background, and the pointer wayvnc draws on it.
        EXPECT_LT(black, picture.Pixels.size() / 100) << "viewer " << viewer;
    }
}
