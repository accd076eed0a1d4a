#include "HextileFrames.h"

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

uint32_t Hash(uint32_t v) {
    v ^= v >> 16;
    v *= 0x7feb352dU;
    v ^= v >> 15;
    v *= 0x846ca68bU;
    v ^= v >> 16;
    return v;
}

// A desktop-like picture that differs everywhere between frames: the top third is a moving photo-like
// gradient with grain, the middle third dark text on a light page, the bottom third flat panels with
// small buttons whose colours shift per frame.
std::vector<uint32_t> Picture(int width, int height, int frame) {
    std::vector<uint32_t> rgb(size_t(width) * size_t(height));
    const int photoEnd = height / 3, textEnd = 2 * height / 3;
    for (int y = 0; y < height; ++y) {
        uint32_t* row = rgb.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            uint32_t c;
            if (y < photoEnd) {
                const uint32_t grain = Hash(uint32_t(x * 7919 + y * 104729 + frame * 15485863)) & 0x0F;
                const uint32_t r = uint32_t(x + frame * 37) & 0xFF, g = uint32_t(y * 2 + frame * 11) & 0xFF;
                const uint32_t b = uint32_t((x + y) / 2 + frame * 53) & 0xFF;
                c = ((r ^ grain) << 16) | ((g ^ grain) << 8) | (b ^ grain);
            } else if (y < textEnd) {
                // Glyph-like strokes: a cell of 8 x 14 with a few bars chosen per cell and frame.
                const uint32_t cell = Hash(uint32_t((x / 8) * 131 + (y / 14) * 977 + frame * 7));
                const int cx = x % 8, cy = y % 14;
                const bool stroke = cy > 1 && cy < 12 && cx < 6 &&
                                    (((cell >> cx) & 1) != 0 || (((cell >> 8) >> (cy % 8)) & 1) != 0) &&
                                    (cell & 0x30000) != 0;
                c = stroke ? 0x202020u + uint32_t(frame & 3) * 0x080808u : 0xF0F0E8u;
            } else {
                const int panel = (x / 240) + (y / 90) * 8;
                const uint32_t base = Hash(uint32_t(panel * 31 + frame * 101)) & 0x7F7F7F;
                const bool button = (x % 240) > 40 && (x % 240) < 120 && (y % 90) > 30 && (y % 90) < 52;
                c = button ? base + 0x404040u : base;
            }
            row[x] = c;
        }
    }
    return rgb;
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
        frames->push_back(Encode(f, Width, Height, Picture(Width, Height, i)));
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
