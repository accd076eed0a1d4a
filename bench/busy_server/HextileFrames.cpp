#include "HextileFrames.h"

#include "Pictures.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace busy {

namespace {

constexpr int TileSide = 16;
constexpr uint8_t RawBit = 1, BackgroundBit = 2, ForegroundBit = 4, AnySubrectsBit = 8, ColouredBit = 16;
constexpr int HextileEncoding = 5;
constexpr int MaxSubrects = 255; // the count is one byte

struct Format {
    int Bytes;
    bool BigEndian;
    uint32_t Max[3];
    uint32_t Shift[3];

    explicit Format(const WirePixelFormat& f)
        : Bytes(f[0] / 8), BigEndian(f[2] != 0), Max{uint32_t(f[4] << 8 | f[5]), uint32_t(f[6] << 8 | f[7]),
                                                     uint32_t(f[8] << 8 | f[9])},
          Shift{f[10], f[11], f[12]} {}

    // 0x00RRGGBB to the pixel value of this format.
    uint32_t FromRgb(uint32_t rgb) const {
        uint32_t v = 0;
        for (int c = 0; c < 3; ++c) {
            const uint32_t level = (rgb >> (16 - 8 * c)) & 0xFF;
            v |= ((level * Max[c] + 127) / 255) << Shift[c];
        }
        return v;
    }
    void Put(std::vector<uint8_t>& out, uint32_t pixel) const {
        for (int i = 0; i < Bytes; ++i) {
            const int shift = BigEndian ? 8 * (Bytes - 1 - i) : 8 * i;
            out.push_back(uint8_t(pixel >> shift));
        }
    }
};

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

// One tile (w x h pixel values) in the smallest of raw, solid, two-colour or coloured subrectangles.
void EncodeTile(const Format& f, const uint32_t* px, int w, int h, std::vector<uint8_t>& out,
                EncodedFrame& stats) {
    uint32_t colours[3];
    int counts[3] = {0, 0, 0};
    int distinct = 0;
    for (int i = 0; i < w * h && distinct <= 2; ++i) {
        int k = 0;
        while (k < distinct && colours[k] != px[i])
            ++k;
        if (k == distinct) {
            if (distinct == 2) {
                distinct = 3;
                break;
            }
            colours[distinct++] = px[i];
        }
        ++counts[k];
    }
    if (distinct == 1) {
        out.push_back(BackgroundBit);
        f.Put(out, colours[0]);
        ++stats.SolidTiles;
        return;
    }
    // Background: the most common colour among a sample when many colours are present.
    uint32_t background = colours[0];
    if (distinct == 2 && counts[1] > counts[0])
        background = colours[1];
    const uint32_t foreground = distinct == 2 ? (background == colours[0] ? colours[1] : colours[0]) : 0;

    std::vector<uint8_t> subrects;
    bool covered[TileSide * TileSide] = {};
    int n = 0;
    const size_t rawSize = size_t(w) * size_t(h) * size_t(f.Bytes);
    for (int y = 0; y < h && subrects.size() < rawSize; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t c = px[y * w + x];
            if (c == background || covered[y * TileSide + x])
                continue;
            int right = x + 1;
            while (right < w && px[y * w + right] == c && !covered[y * TileSide + right])
                ++right;
            int bottom = y + 1;
            for (; bottom < h; ++bottom) {
                bool same = true;
                for (int i = x; i < right && same; ++i)
                    same = px[bottom * w + i] == c && !covered[bottom * TileSide + i];
                if (!same)
                    break;
            }
            for (int j = y; j < bottom; ++j)
                for (int i = x; i < right; ++i)
                    covered[j * TileSide + i] = true;
            if (distinct != 2)
                f.Put(subrects, c);
            subrects.push_back(uint8_t(x << 4 | y));
            subrects.push_back(uint8_t((right - x - 1) << 4 | (bottom - y - 1)));
            ++n;
        }
    }
    const size_t header = 1 + size_t(f.Bytes) * (distinct == 2 ? 2 : 1) + 1;
    if (n > MaxSubrects || header + subrects.size() >= 1 + rawSize) {
        out.push_back(RawBit);
        for (int i = 0; i < w * h; ++i)
            f.Put(out, px[i]);
        ++stats.RawTiles;
        return;
    }
    out.push_back(uint8_t(BackgroundBit | AnySubrectsBit | (distinct == 2 ? ForegroundBit : ColouredBit)));
    f.Put(out, background);
    if (distinct == 2)
        f.Put(out, foreground);
    out.push_back(uint8_t(n));
    out.insert(out.end(), subrects.begin(), subrects.end());
    ++stats.SubrectTiles;
}

EncodedFrame Encode(const Format& f, int width, int height, const std::vector<uint32_t>& rgb) {
    EncodedFrame frame;
    std::vector<uint8_t>& out = frame.Bytes;
    out.reserve(size_t(width) * size_t(height) * size_t(f.Bytes) / 2);
    out.insert(out.end(), {0, 0, 0, 1}); // FramebufferUpdate, padding, one rectangle
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, uint32_t(width));
    Put16(out, uint32_t(height));
    out.insert(out.end(), {0, 0, 0, uint8_t(HextileEncoding)});
    uint32_t tile[TileSide * TileSide];
    for (int ty = 0; ty < height; ty += TileSide) {
        const int h = std::min(TileSide, height - ty);
        for (int tx = 0; tx < width; tx += TileSide) {
            const int w = std::min(TileSide, width - tx);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    tile[y * w + x] = f.FromRgb(rgb[size_t(ty + y) * size_t(width) + size_t(tx + x)]);
            EncodeTile(f, tile, w, h, out, frame);
        }
    }
    return frame;
}

} // namespace

WirePixelFormat DefaultPixelFormat() {
    return WirePixelFormat{32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0};
}

bool Encodable(const WirePixelFormat& f) {
    if (!(f[0] == 8 || f[0] == 16 || f[0] == 32) || f[3] == 0)
        return false;
    const Format format(f);
    for (int c = 0; c < 3; ++c)
        if (format.Max[c] == 0 || format.Shift[c] >= uint32_t(f[0]))
            return false;
    return true;
}

FrameSet::FrameSet(int width, int height, int count) : Width(width), Height(height), Count(count) {}

const std::vector<EncodedFrame>& FrameSet::For(const WirePixelFormat& format) {
    std::lock_guard<std::mutex> hold(Lock); // the first client of a format waits for its frames
    for (auto& [key, frames] : Encoded)
        if (key == format)
            return *frames;
    auto frames = std::make_unique<std::vector<EncodedFrame>>();
    const Format f(format);
    for (int i = 0; i < Count; ++i)
        frames->push_back(Encode(f, Width, Height, DesktopPicture(Width, Height, i)));
    size_t bytes = 0, raw = 0, subrects = 0, solid = 0;
    for (const EncodedFrame& e : *frames) {
        bytes += e.Bytes.size();
        raw += e.RawTiles;
        subrects += e.SubrectTiles;
        solid += e.SolidTiles;
    }
    const double tiles = double(raw + subrects + solid);
    std::fprintf(stderr,
                 "busy_server: %d bpp frames of %dx%d: %.2f MB each; tiles %.0f%% raw, %.0f%% subrects, "
                 "%.0f%% solid\n",
                 format[0], Width, Height, double(bytes) / Count / 1e6, 100 * raw / tiles,
                 100 * subrects / tiles, 100 * solid / tiles);
    Encoded.emplace_back(format, std::move(frames));
    return *Encoded.back().second;
}

} // namespace busy
