#include "BenchScreens.h"

#include "ServerStream.h"
#include "framebuffer/HextileDecoder.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace latis_bench {

using latis_test::ServerStream;
using namespace dova;

namespace {

class CPainter {
public:
    CPainter(std::vector<uint32_t>& pixels) : Pixels(pixels) {}
    void Fill(int x, int y, int w, int h, uint32_t colour) {
        x = std::max(x, 0);
        y = std::max(y, 0);
        w = std::min(w, ScreenWidth - x);
        h = std::min(h, ScreenHeight - y);
        for (int row = y; row < y + h; ++row)
            std::fill_n(Pixels.begin() + row * ScreenWidth + x, std::max(w, 0), colour);
    }
    void Put(int x, int y, uint32_t colour) {
        if (x >= 0 && y >= 0 && x < ScreenWidth && y < ScreenHeight)
            Pixels[size_t(y) * ScreenWidth + size_t(x)] = colour;
    }

private:
    std::vector<uint32_t>& Pixels;
};

uint32_t Rgb(int bitsPerPixel, int r, int g, int b) {
    if (bitsPerPixel == 8) // 3-3-2: red in the low bits
        return uint32_t((b >> 6) << 6 | (g >> 5) << 3 | (r >> 5));
    if (bitsPerPixel == 16)
        return uint32_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    return uint32_t(r << 16 | g << 8 | b);
}

} // namespace

BusyScreen MakeBusyScreen(int bpp, unsigned seed) {
    std::mt19937 rng(seed);
    const uint32_t mask = bpp == 8 ? 0xFF : bpp == 16 ? 0x7FFF : 0xFFFFFF;
    BusyScreen screen;
    screen.Pixels.assign(size_t(ScreenWidth) * ScreenHeight, 0);
    CPainter paint(screen.Pixels);
    ServerStream s(bpp);
    s.Update(1).Rect(0, 0, ScreenWidth, ScreenHeight, encodings::Hextile);
    for (int ty = 0; ty < ScreenHeight; ty += 16) {
        const int th = std::min(16, ScreenHeight - ty);
        for (int tx = 0; tx < ScreenWidth; tx += 16) {
            const int tw = std::min(16, ScreenWidth - tx);
            const unsigned kind = rng() % 100;
            if (kind < 60) {
                const uint32_t background = rng() & mask;
                s.U8(hextile::BackgroundSpecified).Pixel(background);
                paint.Fill(tx, ty, tw, th, background);
            } else if (kind < 90) {
                const bool coloured = rng() % 2;
                const int count = 2 + int(rng() % 5);
                uint8_t flags = hextile::BackgroundSpecified | hextile::AnySubrects;
                flags |= coloured ? hextile::SubrectsColoured : hextile::ForegroundSpecified;
                const uint32_t background = rng() & mask;
                s.U8(flags).Pixel(background);
                paint.Fill(tx, ty, tw, th, background);
                uint32_t foreground = 0;
                if (!coloured) {
                    foreground = rng() & mask;
                    s.Pixel(foreground);
                }
                s.U8(count);
                for (int i = 0; i < count; ++i) {
                    if (coloured) {
                        foreground = rng() & mask;
                        s.Pixel(foreground);
                    }
                    const int x = int(rng() % unsigned(tw)), y = int(rng() % unsigned(th));
                    const int w = 1 + int(rng() % unsigned(tw - x)), h = 1 + int(rng() % unsigned(th - y));
                    s.U8((x << 4) | y).U8(((w - 1) << 4) | (h - 1));
                    paint.Fill(tx + x, ty + y, w, h, foreground);
                }
            } else {
                s.U8(hextile::Raw);
                for (int y = 0; y < th; ++y)
                    for (int x = 0; x < tw; ++x) {
                        const uint32_t c = rng() & mask;
                        s.Pixel(c);
                        paint.Put(tx + x, ty + y, c);
                    }
            }
        }
    }
    screen.Hextile = std::move(s.Data);
    return screen;
}

std::vector<uint32_t> MakeDesktopScreen(int bpp, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> pixels(size_t(ScreenWidth) * ScreenHeight);
    CPainter paint(pixels);
    paint.Fill(0, 0, ScreenWidth, ScreenHeight, Rgb(bpp, 0, 110, 130));
    const int barTop = ScreenHeight - 40;
    paint.Fill(0, barTop, ScreenWidth, 40, Rgb(bpp, 200, 200, 205));
    for (int i = 0; i < 8; ++i)
        paint.Fill(60 + i * 170, barTop + 5, 160, 30, Rgb(bpp, 225, 225, 230));

    // Text: glyph cells of 7 x 12 with 5 x 9 shapes, edge pixels in lighter greys as anti-aliasing makes.
    const uint32_t ink[3] = {Rgb(bpp, 30, 30, 30), Rgb(bpp, 110, 110, 110), Rgb(bpp, 180, 180, 180)};
    auto text = [&](int left, int top, int width, int height) {
        for (int y = top; y + 12 <= top + height; y += 16) {
            const int lineEnd = left + int(rng() % unsigned(std::max(1, width - 20))) + 20;
            for (int x = left; x + 7 <= std::min(lineEnd, left + width); x += 7) {
                if (rng() % 6 == 0)
                    continue; // a space
                const uint32_t shape = rng();
                for (int gy = 0; gy < 9; ++gy)
                    for (int gx = 0; gx < 5; ++gx)
                        if ((shape >> ((gy * 5 + gx) % 32)) & 1)
                            paint.Put(x + 1 + gx, y + 2 + gy,
                                      ink[(gx + gy + shape) % 3 == 0 ? 1 + gy % 2 : 0]);
            }
        }
    };

    const int windows = 3;
    for (int i = 0; i < windows; ++i) {
        const int w = 700 + int(rng() % 300), h = 450 + int(rng() % 250);
        const int x = 40 + i * 420 + int(rng() % 60), y = 30 + i * 90 + int(rng() % 40);
        paint.Fill(x - 1, y - 1, w + 2, h + 2, Rgb(bpp, 90, 90, 90));
        for (int col = 0; col < w; ++col) // title bar: a horizontal gradient
            paint.Fill(x + col, y, 1, 26,
                       Rgb(bpp, 40 + 120 * col / w, 80 + 100 * col / w, 160 + 80 * col / w));
        paint.Fill(x, y + 26, w, h - 26, Rgb(bpp, 255, 255, 255));
        text(x + 10, y + 36, w - 20, h - 46);
        if (i == 1) { // a photo: smooth shading with sensor noise
            const int px = x + w - 340, py = y + 60;
            for (int yy = 0; yy < 240; ++yy)
                for (int xx = 0; xx < 320; ++xx) {
                    const int n = int(rng() % 9) - 4;
                    const int r = std::clamp(int(128 + 100 * std::sin(xx / 40.0)) + n, 0, 255);
                    const int g = std::clamp(int(128 + 90 * std::cos(yy / 30.0)) + n, 0, 255);
                    const int b = std::clamp(80 + (xx + yy) / 4 + n, 0, 255);
                    paint.Put(px + xx, py + yy, Rgb(bpp, r, g, b));
                }
        }
    }
    return pixels;
}

} // namespace latis_bench
