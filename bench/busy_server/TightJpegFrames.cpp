#include "TightJpegFrames.h"

#include "Pictures.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace busy {

namespace {

constexpr int TightEncoding = 7;
constexpr uint8_t JpegControl = 0x90;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

// Tight's compact length: 7 bits a byte, low bits first, the high bit saying another byte follows.
void PutCompactLength(std::vector<uint8_t>& out, size_t length) {
    if (length >= size_t(1) << 22)
        throw std::length_error("busy_server: JPEG rectangle too large for a compact length");
    out.push_back(uint8_t((length & 0x7F) | (length > 0x7F ? 0x80 : 0)));
    if (length > 0x7F) {
        out.push_back(uint8_t(((length >> 7) & 0x7F) | (length > 0x3FFF ? 0x80 : 0)));
        if (length > 0x3FFF)
            out.push_back(uint8_t(length >> 14));
    }
}

class Compressor {
public:
    Compressor() : Handle(tjInitCompress()) {
        if (!Handle)
            throw std::runtime_error("busy_server: TurboJPEG compressor unavailable");
    }
    ~Compressor() { tjDestroy(Handle); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    // One rectangle of 0x00RRGGBB pixels (little-endian in memory: B, G, R, X) as a JPEG.
    void Compress(const uint32_t* topLeft, int stride, int w, int h, int quality, std::vector<uint8_t>& out) {
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        if (tjCompress2(Handle, reinterpret_cast<const unsigned char*>(topLeft), w, stride * 4, h, TJPF_BGRX,
                        &jpeg, &size, TJSAMP_420, quality, TJFLAG_FASTDCT) != 0) {
            tjFree(jpeg);
            throw std::runtime_error(std::string("busy_server: JPEG compression failed: ") +
                                     tjGetErrorStr2(Handle));
        }
        out.assign(jpeg, jpeg + size);
        tjFree(jpeg);
    }

private:
    tjhandle Handle;
};

EncodedFrame Encode(Compressor& jpeg, int width, int height, const std::vector<uint32_t>& rgb, int quality) {
    const int rectWidth = std::min(width, TightMaxRectWidth);
    const int bandHeight = std::max(1, TightMaxRectPixels / rectWidth);
    const int columns = (width + rectWidth - 1) / rectWidth;
    const int bands = (height + bandHeight - 1) / bandHeight;
    EncodedFrame frame;
    std::vector<uint8_t>& out = frame.Bytes;
    out.insert(out.end(), {0, 0}); // FramebufferUpdate, padding
    Put16(out, uint32_t(columns * bands));
    std::vector<uint8_t> image;
    for (int y = 0; y < height; y += bandHeight) {
        const int h = std::min(bandHeight, height - y);
        for (int x = 0; x < width; x += rectWidth) {
            const int w = std::min(rectWidth, width - x);
            Put16(out, uint32_t(x));
            Put16(out, uint32_t(y));
            Put16(out, uint32_t(w));
            Put16(out, uint32_t(h));
            out.insert(out.end(), {0, 0, 0, uint8_t(TightEncoding)});
            jpeg.Compress(rgb.data() + size_t(y) * size_t(width) + size_t(x), width, w, h, quality, image);
            out.push_back(JpegControl);
            PutCompactLength(out, image.size());
            out.insert(out.end(), image.begin(), image.end());
        }
    }
    return frame;
}

} // namespace

bool JpegEncodable(const WirePixelFormat& f) {
    const auto max = [&](int i) { return f[size_t(i)] << 8 | f[size_t(i) + 1]; };
    return f[0] == 32 && f[3] != 0 && max(4) == 255 && max(6) == 255 && max(8) == 255;
}

int JpegQualityOf(int level) {
    return 15 + (std::clamp(level, 0, 9) * 80 + 4) / 9;
}

TightJpegFrameSet::TightJpegFrameSet(int width, int height, int count)
    : Width(width), Height(height), Count(count) {}

const std::vector<EncodedFrame>& TightJpegFrameSet::For(int qualityLevel) {
    std::lock_guard<std::mutex> hold(Lock); // the first client of a level waits for its frames
    for (auto& [level, frames] : Encoded)
        if (level == qualityLevel)
            return *frames;
    auto frames = std::make_unique<std::vector<EncodedFrame>>();
    Compressor jpeg;
    const int quality = JpegQualityOf(qualityLevel);
    size_t bytes = 0;
    for (int i = 0; i < Count; ++i) {
        frames->push_back(Encode(jpeg, Width, Height, DesktopPicture(Width, Height, i), quality));
        bytes += frames->back().Bytes.size();
    }
    std::fprintf(stderr,
                 "busy_server: Tight JPEG frames of %dx%d, quality level %d (JPEG quality %d, 4:2:0): %.2f "
                 "MB each\n",
                 Width, Height, qualityLevel, quality, double(bytes) / Count / 1e6);
    Encoded.emplace_back(qualityLevel, std::move(frames));
    return *Encoded.back().second;
}

} // namespace busy
