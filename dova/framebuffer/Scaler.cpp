#include "Scaler.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace dova {

int ScaleX(const StretchRatio& r, int v) {
    return int(int64_t(v) * r.NumX / r.DenX);
}
int ScaleY(const StretchRatio& r, int v) {
    return int(int64_t(v) * r.NumY / r.DenY);
}

Area UnscaleRect(const StretchRatio& r, int left, int top, int width, int height) {
    return Area{int(int64_t(left) * r.DenX / r.NumX), int(int64_t(top) * r.DenY / r.NumY),
                int(int64_t(width) * r.DenX / r.NumX), int(int64_t(height) * r.DenY / r.NumY)};
}

Edges ScaleRectOutward(const StretchRatio& r, int left, int top, int right, int bottom) {
    return Edges{(ScaleX(r, left) / r.NumX) * r.NumX, (ScaleY(r, top) / r.NumY) * r.NumY,
                 ((ScaleX(r, right) + r.NumX) / r.NumX) * r.NumX,
                 ((ScaleY(r, bottom) + r.NumY) / r.NumY) * r.NumY};
}

namespace {

// floor(n / d) where d repeats from one pixel to the next (a cell's pixel count): its reciprocal is
// worked out once, and each pixel costs a multiplication instead of a division. Exact for n and d
// below 2^32 (the fraction's error stays below 2^-32, less than any non-zero remainder's 1/d).
class CRepeatedDivisor {
public:
    uint64_t Divide(uint64_t n, uint64_t d) {
        if (n >> 32 || d >> 32 || d < 2)
            return d ? n / d : 0;
        if (d != Last) {
            Last = d;
            Reciprocal = ~uint64_t(0) / d + 1; // ceil(2^64 / d)
        }
        const uint64_t high = Reciprocal >> 32, low = Reciprocal & 0xFFFFFFFFu;
        return (n * high + (n * low >> 32)) >> 32;
    }

private:
    uint64_t Last = 0;
    uint64_t Reciprocal = 0;
};

// Raw components of one pixel, each 0..max of its channel.
struct Channels {
    uint32_t Shift[3];
    uint32_t Max[3];
    // Raw component value to 0..255.
    std::array<uint8_t, 256> Level[3];
    bool SmallMaxima = true; // every maximum fits the 256-entry tables

    explicit Channels(const SourcePixels& s) {
        const PixelFormat& f = s.Format;
        if (s.BitsPerPixel == 8) { // through the colour table: components are already 0..255
            for (int c = 0; c < 3; ++c) {
                Shift[c] = uint32_t(16 - 8 * c);
                Max[c] = 255;
            }
        } else {
            Shift[0] = f.RedShift;
            Shift[1] = f.GreenShift;
            Shift[2] = f.BlueShift;
            Max[0] = f.RedMax;
            Max[1] = f.GreenMax;
            Max[2] = f.BlueMax;
        }
        for (int c = 0; c < 3; ++c) {
            if (Shift[c] >= 32) { // a field outside the pixel word reads as 0
                Shift[c] = 0;
                Max[c] = 0;
            }
            if (Max[c] > 255)
                SmallMaxima = false;
            for (uint32_t v = 0; v < 256; ++v)
                Level[c][v] = Max[c] == 0 ? 0 : uint8_t(std::min<uint32_t>(v, Max[c]) * 255u / Max[c]);
        }
    }
    uint32_t Raw(uint32_t pixel, int c) const { return (pixel >> Shift[c]) & Max[c]; }
    // Fields already where the screen wants them: red 16, green 8, blue 0, eight bits each.
    bool ScreenLayout() const {
        return Shift[0] == 16 && Shift[1] == 8 && Shift[2] == 0 && Max[0] == 255 && Max[1] == 255 &&
               Max[2] == 255;
    }
    uint32_t ToLevel(uint32_t raw, int c) const {
        if (SmallMaxima)
            return Level[c][raw & 0xFF];
        return Max[c] == 0 ? 0 : uint32_t(uint64_t(raw) * 255u / Max[c]);
    }
    uint32_t Convert(uint32_t pixel) const {
        return (ToLevel(Raw(pixel, 0), 0) << 16) | (ToLevel(Raw(pixel, 1), 1) << 8) |
               ToLevel(Raw(pixel, 2), 2);
    }
};

// One pixel as a word in which the channel shifts apply (8 bpp: the colour table's 0x00RRGGBB).
template <int Bytes>
inline uint32_t Fetch(const uint8_t* at, bool swap, const std::array<uint32_t, 256>* colours) {
    if constexpr (Bytes == 1) {
        return (*colours)[*at];
    } else if constexpr (Bytes == 2) {
        uint16_t v;
        std::memcpy(&v, at, 2);
        return swap ? uint16_t((v >> 8) | (v << 8)) : v;
    } else {
        uint32_t v;
        std::memcpy(&v, at, 4);
        return swap ? __builtin_bswap32(v) : v;
    }
}

bool NeedsSwap(const SourcePixels& s) {
    constexpr bool hostBig = std::endian::native == std::endian::big;
    return s.BitsPerPixel > 8 && (s.Format.BigEndian != 0) != hostBig;
}

// Areas this large convert 16-bit pixels through a table of all 65536 values.
constexpr int64_t TableWorthArea = 65536;

// The viewer's own 16 bpp layout: 5-5-5, red at 10, in host order.
bool Viewer555(const SourcePixels& s, const Channels& ch, bool swap) {
    return s.BitsPerPixel == 16 && !swap && ch.Shift[0] == 10 && ch.Shift[1] == 5 && ch.Shift[2] == 0 &&
           ch.Max[0] == 31 && ch.Max[1] == 31 && ch.Max[2] == 31;
}

// v * 255 / 31 for v in 0..31, without a division or a table, so the row loop vectorises.
inline uint32_t Level5(uint32_t v) {
    return (v * 1053u) >> 7;
}

// Eight pixels at a time; the products stay below 2^16 (31 * 1053), so 16-bit lanes suffice.
using Lanes16 = uint16_t __attribute__((vector_size(16)));
using Lanes32 = uint32_t __attribute__((vector_size(32)));

void Rows555(const SourcePixels& s, int sx, int sy, int w, int h, TargetPixels& t, int dx, int dy) {
    for (int r = 0; r < h; ++r) {
        const uint8_t* in = s.Data + size_t(sy + r) * s.Stride + size_t(sx) * 2;
        uint32_t* out = t.Data + size_t(dy + r) * t.Stride + dx;
        int c = 0;
        for (; c + 8 <= w; c += 8) {
            Lanes16 v;
            std::memcpy(&v, in + 2 * c, sizeof v);
            const Lanes16 red = (((v >> 10) & 31) * 1053) >> 7;
            const Lanes16 green = (((v >> 5) & 31) * 1053) >> 7;
            const Lanes16 blue = ((v & 31) * 1053) >> 7;
            const Lanes32 word = __builtin_convertvector(red, Lanes32) << 16 |
                                 __builtin_convertvector(green, Lanes32) << 8 |
                                 __builtin_convertvector(blue, Lanes32);
            std::memcpy(out + c, &word, sizeof word);
        }
        for (; c < w; ++c) {
            uint16_t v;
            std::memcpy(&v, in + 2 * c, 2);
            out[c] = Level5((v >> 10) & 31u) << 16 | Level5((v >> 5) & 31u) << 8 | Level5(v & 31u);
        }
    }
}

template <int Bytes>
void CopyRows(const SourcePixels& s, int sx, int sy, int w, int h, TargetPixels& t, int dx, int dy) {
    const Channels ch(s);
    const bool swap = NeedsSwap(s);
    if (Bytes == 2 && Viewer555(s, ch, swap)) {
        Rows555(s, sx, sy, w, h, t, dx, dy);
        return;
    }
    std::vector<uint32_t> table;
    if (Bytes == 2 && int64_t(w) * h >= TableWorthArea) {
        table.resize(65536);
        for (uint32_t v = 0; v < 65536; ++v)
            table[v] = ch.Convert(v);
    }
    const bool direct = Bytes == 4 && ch.ScreenLayout();
    for (int r = 0; r < h; ++r) {
        const uint8_t* in = s.Data + size_t(sy + r) * s.Stride + size_t(sx) * Bytes;
        uint32_t* out = t.Data + size_t(dy + r) * t.Stride + dx;
        if constexpr (Bytes == 1) {
            for (int c = 0; c < w; ++c)
                out[c] = (*s.Colours)[in[c]];
        } else {
            if (!table.empty()) {
                for (int c = 0; c < w; ++c, in += Bytes)
                    out[c] = table[Fetch<Bytes>(in, swap, s.Colours) & 0xFFFF];
            } else if (direct) {
                for (int c = 0; c < w; ++c, in += Bytes)
                    out[c] = Fetch<Bytes>(in, swap, s.Colours) & 0xFFFFFFu;
            } else {
                for (int c = 0; c < w; ++c, in += Bytes)
                    out[c] = ch.Convert(Fetch<Bytes>(in, swap, s.Colours));
            }
        }
    }
}

// Source span [first, last) of destination index i of n, for a source run of length len at start.
inline void Span(int64_t start, int64_t len, int64_t n, int64_t i, int limit, int& first, int& last) {
    int64_t a = start + (i * len) / n;
    int64_t b = start + ((i + 1) * len + n - 1) / n;
    if (b <= a)
        b = a + 1;
    first = int(std::clamp<int64_t>(a, 0, limit));
    last = int(std::clamp<int64_t>(b, 0, limit));
}

// A 5-5-5 pixel with its fields 21 bits apart, so one 64-bit addition sums all three and a cell of up
// to 2^16 pixels cannot carry from one field into the next.
inline uint64_t Spread555(uint32_t v) {
    return (v & 0x1Fu) | uint64_t(v & 0x3E0u) << 16 | uint64_t(v & 0x7C00u) << 32;
}
constexpr int SpreadShift[3] = {42, 21, 0}; // red, green, blue
constexpr uint64_t SpreadField = (uint64_t(1) << 21) - 1;
constexpr int64_t SpreadMaxCell = int64_t(1) << 16;

// The halftone filter for the viewer's 16 bpp layout; false (nothing drawn) when a cell is too large.
bool Halftone555(const SourcePixels& s, const Area& src, TargetPixels& t, const Area& dst, int i0, int j0,
                 int j1, const std::vector<int>& first, const std::vector<int>& last) {
    const size_t columns = first.size();
    int widest = 0;
    for (size_t c = 0; c < columns; ++c)
        widest = std::max(widest, last[c] - first[c]);
    int tallest = 0;
    for (int j = j0; j < j1; ++j) {
        int top, bottom;
        Span(src.Y, src.Height, dst.Height, j - dst.Y, s.Height, top, bottom);
        tallest = std::max(tallest, bottom - top);
    }
    if (int64_t(widest) * tallest > SpreadMaxCell)
        return false;
    // Looking the spread up beats computing it: three operations a pixel instead of a dozen.
    static const std::vector<uint64_t> spread = [] {
        std::vector<uint64_t> table(32768);
        for (uint32_t v = 0; v < table.size(); ++v)
            table[v] = Spread555(v);
        return table;
    }();
    std::vector<uint64_t> sums(columns);
    CRepeatedDivisor divisor;
    for (int j = j0; j < j1; ++j) {
        int top, bottom;
        Span(src.Y, src.Height, dst.Height, j - dst.Y, s.Height, top, bottom);
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = top; y < bottom; ++y) {
            const uint8_t* row = s.Data + size_t(y) * s.Stride;
            for (size_t c = 0; c < columns; ++c) {
                uint64_t sum = 0;
                for (int x = first[c]; x < last[c]; ++x) {
                    uint16_t v;
                    std::memcpy(&v, row + size_t(x) * 2, 2);
                    sum += spread[v & 0x7FFFu];
                }
                sums[c] += sum;
            }
        }
        uint32_t* out = t.Data + size_t(j) * t.Stride + i0;
        const uint64_t rows = uint64_t(std::max(0, bottom - top));
        for (size_t c = 0; c < columns; ++c) {
            const uint64_t scale = rows * uint64_t(std::max(0, last[c] - first[c])) * 31u;
            if (scale == 0)
                continue;
            uint32_t word = 0;
            for (int k = 0; k < 3; ++k) {
                // Truncating like the 1:1 conversion, so a flat area keeps its colour when stretched.
                const uint64_t level =
                    divisor.Divide(((sums[c] >> SpreadShift[k]) & SpreadField) * 255u, scale);
                word |= uint32_t(std::min<uint64_t>(level, 255)) << (16 - 8 * k);
            }
            out[c] = word;
        }
    }
    return true;
}

template <int Bytes>
void Halftone(const SourcePixels& s, const Area& src, TargetPixels& t, const Area& dst, int i0, int i1,
              int j0, int j1) {
    const Channels ch(s);
    const bool swap = NeedsSwap(s);
    const int columns = i1 - i0;
    std::vector<int> first(static_cast<size_t>(columns)), last(static_cast<size_t>(columns));
    for (int i = i0; i < i1; ++i)
        Span(src.X, src.Width, dst.Width, i - dst.X, s.Width, first[size_t(i - i0)], last[size_t(i - i0)]);
    if constexpr (Bytes == 2) {
        if (Viewer555(s, ch, swap) && Halftone555(s, src, t, dst, i0, j0, j1, first, last))
            return;
    }
    std::vector<uint64_t> sums(size_t(columns) * 3);
    auto fieldMask = [&](int c) { return uint32_t(uint64_t(ch.Max[c]) << ch.Shift[c]); };
    const uint32_t maskR = fieldMask(0), maskG = fieldMask(1), maskB = fieldMask(2);
    CRepeatedDivisor divisor[3]; // one a channel: their maxima may differ
    for (int j = j0; j < j1; ++j) {
        int top, bottom;
        Span(src.Y, src.Height, dst.Height, j - dst.Y, s.Height, top, bottom);
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = top; y < bottom; ++y) {
            const uint8_t* row = s.Data + size_t(y) * s.Stride;
            uint64_t* acc = sums.data();
            for (int c = 0; c < columns; ++c, acc += 3) {
                // Sum each field in place (masked, not shifted) and shift the sums once.
                uint64_t r = 0, g = 0, b = 0;
                const uint8_t* p = row + size_t(first[size_t(c)]) * Bytes;
                for (int x = first[size_t(c)]; x < last[size_t(c)]; ++x, p += Bytes) {
                    const uint32_t v = Fetch<Bytes>(p, swap, s.Colours);
                    r += v & maskR;
                    g += v & maskG;
                    b += v & maskB;
                }
                acc[0] += r >> ch.Shift[0];
                acc[1] += g >> ch.Shift[1];
                acc[2] += b >> ch.Shift[2];
            }
        }
        uint32_t* out = t.Data + size_t(j) * t.Stride + i0;
        const uint64_t rows = uint64_t(std::max(0, bottom - top));
        const uint64_t* acc = sums.data();
        for (int c = 0; c < columns; ++c, acc += 3) {
            const uint64_t count = rows * uint64_t(std::max(0, last[size_t(c)] - first[size_t(c)]));
            if (count == 0)
                continue;
            uint32_t word = 0;
            for (int k = 0; k < 3; ++k) {
                const uint64_t scale = count * ch.Max[k];
                // Truncating like the 1:1 conversion, so a flat area keeps its colour when stretched.
                const uint32_t level =
                    uint32_t(std::min<uint64_t>(divisor[k].Divide(acc[k] * 255u, scale), 255));
                word |= std::min<uint32_t>(level, 255) << (16 - 8 * k);
            }
            out[c] = word;
        }
    }
}

template <int Bytes>
void Nearest(const SourcePixels& s, const Area& src, TargetPixels& t, const Area& dst, int i0, int i1, int j0,
             int j1) {
    const Channels ch(s);
    const bool swap = NeedsSwap(s);
    auto centre = [](int64_t start, int64_t len, int64_t n, int64_t i, int limit) {
        return int(std::clamp<int64_t>(start + ((2 * i + 1) * len) / (2 * n), 0, limit - 1));
    };
    std::vector<int> column(size_t(i1 - i0));
    for (int i = i0; i < i1; ++i)
        column[size_t(i - i0)] = centre(src.X, src.Width, dst.Width, i - dst.X, s.Width);
    for (int j = j0; j < j1; ++j) {
        const uint8_t* row =
            s.Data + size_t(centre(src.Y, src.Height, dst.Height, j - dst.Y, s.Height)) * s.Stride;
        uint32_t* out = t.Data + size_t(j) * t.Stride + i0;
        for (size_t c = 0; c < column.size(); ++c) {
            const uint32_t v = Fetch<Bytes>(row + size_t(column[c]) * Bytes, swap, s.Colours);
            out[c] = Bytes == 1 ? v : ch.Convert(v);
        }
    }
}

bool Usable(const SourcePixels& s) {
    return s.Data && s.Width > 0 && s.Height > 0 &&
           (s.BitsPerPixel == 16 || s.BitsPerPixel == 32 || (s.BitsPerPixel == 8 && s.Colours));
}

} // namespace

void CopyConverted(const SourcePixels& source, int sx, int sy, int w, int h, TargetPixels& target, int dx,
                   int dy) {
    if (!Usable(source) || !target.Data)
        return;
    // Clip against both images, moving both corners together.
    auto clip = [](int& from, int& to, int& len, int fromLimit, int toLimit) {
        if (from < 0) {
            len += from;
            to -= from;
            from = 0;
        }
        if (to < 0) {
            len += to;
            from -= to;
            to = 0;
        }
        len = std::min({len, fromLimit - from, toLimit - to});
    };
    clip(sx, dx, w, source.Width, target.Width);
    clip(sy, dy, h, source.Height, target.Height);
    if (w <= 0 || h <= 0)
        return;
    switch (source.BitsPerPixel) {
    case 8:
        CopyRows<1>(source, sx, sy, w, h, target, dx, dy);
        break;
    case 16:
        CopyRows<2>(source, sx, sy, w, h, target, dx, dy);
        break;
    default:
        CopyRows<4>(source, sx, sy, w, h, target, dx, dy);
        break;
    }
}

void StretchConverted(const SourcePixels& source, const Area& src, TargetPixels& target, const Area& dst,
                      StretchFilter filter) {
    if (!Usable(source) || !target.Data || src.Width <= 0 || src.Height <= 0 || dst.Width <= 0 ||
        dst.Height <= 0)
        return;
    const int i0 = std::max(0, dst.X), i1 = std::min(target.Width, dst.X + dst.Width);
    const int j0 = std::max(0, dst.Y), j1 = std::min(target.Height, dst.Y + dst.Height);
    if (i0 >= i1 || j0 >= j1)
        return;
    const bool halftone = filter == StretchFilter::Halftone;
    switch (source.BitsPerPixel) {
    case 8:
        halftone ? Halftone<1>(source, src, target, dst, i0, i1, j0, j1)
                 : Nearest<1>(source, src, target, dst, i0, i1, j0, j1);
        break;
    case 16:
        halftone ? Halftone<2>(source, src, target, dst, i0, i1, j0, j1)
                 : Nearest<2>(source, src, target, dst, i0, i1, j0, j1);
        break;
    default:
        halftone ? Halftone<4>(source, src, target, dst, i0, i1, j0, j1)
                 : Nearest<4>(source, src, target, dst, i0, i1, j0, j1);
        break;
    }
}

} // namespace dova
