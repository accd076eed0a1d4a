#include "FrameBuffer.h"

#include "../base/EngineExceptions.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace dova {

CFrameBuffer::CFrameBuffer(IFramePresenter* presenter, bool drawAllowed)
    : Presenter(presenter), DrawGate(drawAllowed) {}

CFrameBuffer::~CFrameBuffer() {
    DrawGate.Set(); // no writer may stay blocked on a framebuffer that is going away
}

int CFrameBuffer::StrideFor(int width, int bitsPerPixel) {
    const int rowBytes = width * (bitsPerPixel / 8);
    return (rowBytes + 3) & ~3;
}

void CFrameBuffer::Create(int width, int height, const PixelFormat& announced) {
    CLockGuard hold(*this);
    Create(width, height, announced.BitsPerPixel);
    if (Format_.BitsPerPixel == announced.BitsPerPixel)
        Format_.Depth = announced.Depth;
}

void CFrameBuffer::AdoptFormat(int bitsPerPixel) {
    Bits = bitsPerPixel;
    Bytes = bitsPerPixel / 8;
    Format_ = PixelFormat{};
    PixelFormat::ForBitsPerPixel(bitsPerPixel, Format_);
    Colours = ColourTableFor(Format_);
}

void CFrameBuffer::Reshape(int width, int height, const PixelFormat& announced) {
    CLockGuard hold(*this);
    if (Created && Factor == 1 && width == FrameWidth && height == FrameHeight &&
        Bits == announced.BitsPerPixel && Format_.Depth == announced.Depth)
        return;
    Factor = NextFactor = 1;
    RemoteW = FrameWidth = std::max(0, width);
    RemoteH = FrameHeight = std::max(0, height);
    AdoptFormat(announced.BitsPerPixel);
    Format_.Depth = announced.Depth;
    RowStride = StrideFor(FrameWidth, Bits);
    try {
        Pixels.resize(size_t(RowStride) * size_t(FrameHeight));
    } catch (const std::bad_alloc&) {
        Pixels.clear();
        Pixels.shrink_to_fit();
        Created = false;
        FrameWidth = FrameHeight = RemoteW = RemoteH = RowStride = 0;
        throw CErrorException(codes::Validity, "Not enough memory for the frame buffer.");
    }
    Created = true;
}

void CFrameBuffer::Create(int width, int height, int bitsPerPixel) {
    CLockGuard hold(*this);
    Pixels.clear();
    Pixels.shrink_to_fit();
    Created = false;
    Partial.Release();
    Factor = NextFactor;
    RemoteW = std::max(0, width);
    RemoteH = std::max(0, height);
    FrameWidth = (RemoteW + Factor - 1) / Factor;
    FrameHeight = (RemoteH + Factor - 1) / Factor;
    AdoptFormat(bitsPerPixel);
    RowStride = StrideFor(FrameWidth, Bits);
    try {
        Pixels.assign(size_t(RowStride) * size_t(FrameHeight), 0);
        FillRow.reserve(size_t(FrameWidth) * size_t(Bytes));
    } catch (const std::bad_alloc&) {
        Pixels.clear();
        FrameWidth = FrameHeight = RemoteW = RemoteH = RowStride = 0;
        throw CErrorException(codes::Validity, "Not enough memory for the frame buffer.");
    }
    Created = true;
}

bool CFrameBuffer::Clip(int& x, int& y, int& w, int& h, int* skipX, int* skipY) const {
    int sx = 0, sy = 0;
    if (x < 0) {
        sx = -x;
        w += x;
        x = 0;
    }
    if (y < 0) {
        sy = -y;
        h += y;
        y = 0;
    }
    if (x >= FrameWidth || y >= FrameHeight)
        return false;
    w = std::min(w, FrameWidth - x);
    h = std::min(h, FrameHeight - y);
    if (skipX)
        *skipX = sx;
    if (skipY)
        *skipY = sy;
    return w > 0 && h > 0;
}

void CFrameBuffer::PutPixels(int x, int y, int w, int h, const uint8_t* data, bool repaint) {
    DrawGate.Wait();
    {
        CLockGuard hold(*this);
        const int sourceStride = w * Bytes;
        int cx = x, cy = y, cw = w, ch = h, skipX = 0, skipY = 0;
        if (data && Clip(cx, cy, cw, ch, &skipX, &skipY)) {
            const size_t rowBytes = size_t(cw) * size_t(Bytes);
            const uint8_t* src = data + size_t(skipY) * sourceStride + size_t(skipX) * Bytes;
            uint8_t* dst = Pixels.data() + size_t(cy) * RowStride + size_t(cx) * Bytes;
            for (int r = 0; r < ch; ++r, src += sourceStride, dst += RowStride)
                std::memcpy(dst, src, rowBytes);
        }
    }
    if (repaint)
        Repaint(x, y, w, h);
}

void CFrameBuffer::FillArea(int x, int y, int w, int h, uint32_t pixel, bool repaint) {
    DrawGate.Wait();
    {
        CLockGuard hold(*this);
        int cx = x, cy = y, cw = w, ch = h;
        if (Clip(cx, cy, cw, ch)) {
            uint8_t* dst = Pixels.data() + size_t(cy) * RowStride + size_t(cx) * Bytes;
            uint8_t bytes[4];
            std::memcpy(bytes, &pixel, 4);
            if (Bytes == 1) {
                for (int r = 0; r < ch; ++r, dst += RowStride)
                    std::memset(dst, bytes[0], size_t(cw));
            } else if (Bytes == 4) {
                for (int r = 0; r < ch; ++r, dst += RowStride)
                    std::fill_n(reinterpret_cast<uint32_t*>(static_cast<void*>(dst)), cw, pixel);
            } else {
                const size_t rowBytes = size_t(cw) * Bytes;
                FillRow.resize(rowBytes);
                for (size_t i = 0; i < rowBytes; i += Bytes)
                    std::memcpy(FillRow.data() + i, bytes, Bytes);
                for (int r = 0; r < ch; ++r, dst += RowStride)
                    std::memcpy(dst, FillRow.data(), rowBytes);
            }
        }
    }
    if (repaint)
        Repaint(x, y, w, h);
}

void CFrameBuffer::CopyArea(int srcX, int srcY, int dstX, int dstY, int w, int h) {
    CLockGuard hold(*this);
    // Clip both rectangles by the same amounts so the move stays exact.
    if (srcX < 0) {
        w += srcX;
        dstX -= srcX;
        srcX = 0;
    }
    if (srcY < 0) {
        h += srcY;
        dstY -= srcY;
        srcY = 0;
    }
    if (dstX < 0) {
        w += dstX;
        srcX -= dstX;
        dstX = 0;
    }
    if (dstY < 0) {
        h += dstY;
        srcY -= dstY;
        dstY = 0;
    }
    w = std::min({w, FrameWidth - srcX, FrameWidth - dstX});
    h = std::min({h, FrameHeight - srcY, FrameHeight - dstY});
    if (w <= 0 || h <= 0)
        return;
    const size_t rowBytes = size_t(w) * Bytes;
    uint8_t* base = Pixels.data();
    if (dstY > srcY) { // rows bottom-up so an overlapping downward move reads rows not yet written
        for (int r = h - 1; r >= 0; --r)
            std::memmove(base + size_t(dstY + r) * RowStride + size_t(dstX) * Bytes,
                         base + size_t(srcY + r) * RowStride + size_t(srcX) * Bytes, rowBytes);
    } else {
        for (int r = 0; r < h; ++r)
            std::memmove(base + size_t(dstY + r) * RowStride + size_t(dstX) * Bytes,
                         base + size_t(srcY + r) * RowStride + size_t(srcX) * Bytes, rowBytes);
    }
}

void CFrameBuffer::BlendReduced(const ScaledRect& source) {
    DrawGate.Wait();
    CLockGuard hold(*this);
    if (!Created)
        return;
    ReducedPixels target{Pixels.data(), size_t(RowStride), FrameWidth, FrameHeight, Factor,
                         RemoteW,       RemoteH,           Format_,    &Partial,    &Reducing};
    BlendIntoReduced(target, source);
}

void CFrameBuffer::EndReducedUpdate() {
    CLockGuard hold(*this);
    Partial.Clear();
}

void CFrameBuffer::CopyRemoteArea(int srcX, int srcY, int dstX, int dstY, int w, int h) {
    if (Factor == 1) {
        CopyArea(srcX, srcY, dstX, dstY, w, h);
        return;
    }
    // The move rounded to whole stored pixels; the blocks at the destination's edges take the moved
    // pixels whole, close enough for a picture this small.
    const auto nearest = [this](int remote) {
        return remote >= 0 ? (remote + Factor / 2) / Factor : -((-remote + Factor / 2) / Factor);
    };
    const StoredArea to = StoredAreaOf(Factor, dstX, dstY, w, h);
    CopyArea(to.Left + nearest(srcX - dstX), to.Top + nearest(srcY - dstY), to.Left, to.Top,
             to.Right - to.Left, to.Bottom - to.Top);
}

void CFrameBuffer::RepaintRemote(int x, int y, int w, int h) {
    const StoredArea area = StoredAreaOf(Factor, x, y, w, h);
    Repaint(area.Left, area.Top, area.Right - area.Left, area.Bottom - area.Top);
}

void CFrameBuffer::Repaint(int x, int y, int w, int h) {
    CLockGuard hold(*this);
    if (Presenter && Created)
        Presenter->Present(*this, x, y, w, h);
}

void CFrameBuffer::SetDrawAllowed(bool allowed) {
    if (allowed) {
        DrawGate.Set();
    } else {
        CLockGuard hold(*this); // a write in progress finishes first
        DrawGate.Reset();
    }
}

void CFrameBuffer::SetPresenter(IFramePresenter* presenter) {
    CLockGuard hold(*this);
    Presenter = presenter;
}

} // namespace dova
