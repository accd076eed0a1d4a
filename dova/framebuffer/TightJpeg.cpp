#include "TightJpeg.h"

#include "FrameBuffer.h"
#include "FrameWriter.h"
#include "RectangleDecoder.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <turbojpeg.h>

namespace dova {

namespace {

// The fast inverse DCT: what it changes is far below what the server's quantisation already lost.
constexpr int JpegFlags = TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE;

// The TurboJPEG layout with the format's red, green and blue bytes where the bitmap has them; -1 when
// there is none.
int DirectLayout(const PixelFormat& f) {
    if (f.BitsPerPixel != 32 || !f.TrueColour || f.RedMax != 255 || f.GreenMax != 255 || f.BlueMax != 255 ||
        f.RedShift % 8 || f.GreenShift % 8 || f.BlueShift % 8)
        return -1;
    const bool littleInMemory = !f.BigEndian;
    const auto byteOf = [&](int shift) { return littleInMemory ? shift / 8 : 3 - shift / 8; };
    const int r = byteOf(f.RedShift), g = byteOf(f.GreenShift), b = byteOf(f.BlueShift);
    if (r == 0 && g == 1 && b == 2)
        return TJPF_RGBX;
    if (r == 2 && g == 1 && b == 0)
        return TJPF_BGRX;
    if (r == 1 && g == 2 && b == 3)
        return TJPF_XRGB;
    if (r == 3 && g == 2 && b == 1)
        return TJPF_XBGR;
    return -1;
}

} // namespace

CTightJpeg::CTightJpeg() : Handle(tjInitDecompress()) {
    if (!Handle)
        throw CErrorException(0, "Out of memory.");
}

CTightJpeg::~CTightJpeg() {
    tjDestroy(Handle);
}

void CTightJpeg::Fail(const char* what) {
    // A handle that failed may refuse the next image: start the next one afresh.
    tjDestroy(Handle);
    Handle = tjInitDecompress();
    if (!Handle)
        throw CErrorException(0, "Out of memory.");
    char text[256];
    std::snprintf(text, sizeof text, "Tight: JPEG image %s.", what);
    throw CErrorException(codes::ProtocolSync, text);
}

void CTightJpeg::Draw(const uint8_t* data, size_t size, int x, int y, int w, int h,
                      const CTightPixels& pixels, CFrameWriter& writer) {
    CheckHeader(data, size, w, h);
    if (w == 0 || h == 0)
        return;

    const int layout = DirectLayout(pixels.Format());
    if (layout >= 0) {
        uint8_t* to = writer.At(x, y, 4);
        if (tjDecompress2(Handle, data, static_cast<unsigned long>(size), to, w, int(writer.RowStride()), h,
                          layout, JpegFlags) != 0)
            Fail("corrupt");
        return;
    }

    // Other formats: red, green, blue bytes first, then each pixel scaled into the format.
    const size_t rowBytes = size_t(w) * 3;
    Converted.resize(rowBytes * size_t(h));
    if (tjDecompress2(Handle, data, static_cast<unsigned long>(size), Converted.data(), w, int(rowBytes), h,
                      TJPF_RGB, JpegFlags) != 0)
        Fail("corrupt");
    const size_t bytes = size_t(pixels.Format().BitsPerPixel / 8);
    for (int r = 0; r < h; ++r) {
        const uint8_t* from = Converted.data() + size_t(r) * rowBytes;
        uint8_t* to = writer.At(x, y + r, bytes);
        for (int c = 0; c < w; ++c, from += 3, to += bytes) {
            const uint32_t value = pixels.Compose(from[0], from[1], from[2]);
            for (size_t i = 0; i < bytes; ++i)
                to[i] = uint8_t(value >> (8 * i));
        }
    }
}

void CTightJpeg::CheckHeader(const uint8_t* data, size_t size, int w, int h) {
    int width = 0, height = 0, subsampling = 0, colourSpace = 0;
    if (tjDecompressHeader3(Handle, data, static_cast<unsigned long>(size), &width, &height, &subsampling,
                            &colourSpace) != 0)
        Fail("unreadable");
    if (width != w || height != h)
        Fail("of the wrong size");
}

void CTightJpeg::DrawReduced(const uint8_t* data, size_t size, int x, int y, int w, int h,
                             const CTightPixels& pixels, CFrameBuffer& reduced) {
    CheckHeader(data, size, w, h);
    if (w == 0 || h == 0)
        return;
    // TurboJPEG picks the largest scaling factor whose size fits the one asked for; asking for exactly
    // 1/scale of the image gets that size back.
    const int scale = std::clamp(reduced.Reduction(), 1, 8);
    const int scaledWidth = (w + scale - 1) / scale, scaledHeight = (h + scale - 1) / scale;
    const int layout = DirectLayout(pixels.Format());
    const size_t bytes = size_t(pixels.Format().BitsPerPixel / 8);
    const size_t stride = size_t(scaledWidth) * (layout >= 0 ? 4 : 3);
    Converted.resize(stride * size_t(scaledHeight));
    if (tjDecompress2(Handle, data, static_cast<unsigned long>(size), Converted.data(), scaledWidth,
                      int(stride), scaledHeight, layout >= 0 ? layout : TJPF_RGB, JpegFlags) != 0)
        Fail("corrupt");
    if (layout >= 0) {
        reduced.BlendReduced(ScaledRect{Converted.data(), stride, scale, x, y, w, h});
        return;
    }
    Composed.resize(size_t(scaledWidth) * bytes * size_t(scaledHeight));
    for (int r = 0; r < scaledHeight; ++r) {
        const uint8_t* from = Converted.data() + size_t(r) * stride;
        uint8_t* to = Composed.data() + size_t(r) * size_t(scaledWidth) * bytes;
        for (int c = 0; c < scaledWidth; ++c, from += 3, to += bytes) {
            const uint32_t value = pixels.Compose(from[0], from[1], from[2]);
            for (size_t i = 0; i < bytes; ++i)
                to[i] = uint8_t(value >> (8 * i));
        }
    }
    reduced.BlendReduced(ScaledRect{Composed.data(), size_t(scaledWidth) * bytes, scale, x, y, w, h});
}

} // namespace dova
