#pragma once
// CFrameBuffer: the local copy of the remote screen. Rows are top-down, Stride bytes apart (the row
// rounded up to 4 bytes); pixel (x, y) starts at y * Stride + x * BytesPerPixel. Pixels are kept in
// exactly the format the server was asked for, so decoders copy bytes and never convert.
//
// A thumbnail's frame may be kept reduced (SetReduction): each stored pixel is then the average of a
// Factor x Factor block of the remote screen, Width() and Height() give the stored size and
// RemoteWidth() and RemoteHeight() the screen's. Decoders never write a reduced frame directly: the
// rectangle loop decodes into a full-size scratch frame and blends that in (BlendReduced).
//
// Writers (PutPixels, FillArea) first wait for the draw gate, then take the framebuffer lock for one
// write. CopyArea ignores the gate. The lock is taken before the viewer state's lock, never after.

#include "../base/Lockable.h"
#include "../base/ManualEvent.h"
#include "FrameReducer.h"
#include "PixelFormat.h"

#include <array>
#include <cstdint>
#include <vector>

namespace dova {

class CFrameBuffer;

// Shows framebuffer areas on screen. Called with the framebuffer lock held, from the session thread
// (after decoding) or the user-interface thread (paint requests).
class IFramePresenter {
public:
    virtual ~IFramePresenter() = default;
    virtual void Present(const CFrameBuffer& frame, int x, int y, int width, int height) = 0;
};

class CFrameBuffer : public CLockable {
public:
    // drawAllowed: the draw gate's first position.
    explicit CFrameBuffer(IFramePresenter* presenter = nullptr, bool drawAllowed = true);
    ~CFrameBuffer() override;

    // Builds or rebuilds the bitmap, all black, in the viewer's format of that many bits per pixel.
    // Throws CErrorException when memory runs out.
    void Create(int width, int height, int bitsPerPixel);
    // The same, keeping the depth the server was told (Tight's three-byte pixels depend on it).
    void Create(int width, int height, const PixelFormat& announced);
    // A scratch frame of that size and format: memory is kept between calls and not cleared (every
    // decoder writes each pixel of its rectangle). Never reduced.
    void Reshape(int width, int height, const PixelFormat& announced);

    // 1, 2, 4 or 8 (others are taken as 1); applies from the next Create.
    void SetReduction(int factor) { NextFactor = factor == 2 || factor == 4 || factor == 8 ? factor : 1; }
    int Reduction() const { return Factor; }
    int RemoteWidth() const { return RemoteW; }
    int RemoteHeight() const { return RemoteH; }
    // Blends a remote rectangle, given at 1/source.Scale of its resolution, into a reduced frame.
    void BlendReduced(const ScaledRect& source);
    // The update's rectangles are all drawn: blocks drawn in part stop waiting for their other parts.
    void EndReducedUpdate();
    // CopyArea in remote coordinates (a reduced frame moves the nearest whole stored pixels).
    void CopyRemoteArea(int srcX, int srcY, int dstX, int dstY, int w, int h);
    // Repaint in remote coordinates.
    void RepaintRemote(int x, int y, int w, int h);

    // Copies h rows of w packed pixels from data to (x, y).
    void PutPixels(int x, int y, int w, int h, const uint8_t* data, bool repaint = false);
    // Fills with one pixel: the first BytesPerPixel bytes of pixel (in memory order) as received.
    void FillArea(int x, int y, int w, int h, uint32_t pixel, bool repaint = false);
    // Moves a rectangle inside the bitmap; overlapping areas are a true move.
    void CopyArea(int srcX, int srcY, int dstX, int dstY, int w, int h);
    // Hands the area to the presenter (no-op without one).
    void Repaint(int x, int y, int w, int h);

    // Draw gate, following the Draw property.
    void SetDrawAllowed(bool allowed);
    void OpenDrawGate() { DrawGate.Set(); }
    // Blocks while drawing is not allowed. Writers call it before taking the lock, never while holding it.
    void WaitForDrawGate() { DrawGate.Wait(); }

    void SetPresenter(IFramePresenter* presenter);

    int Width() const { return FrameWidth; }
    int Height() const { return FrameHeight; }
    int Stride() const { return RowStride; }
    int BitsPerPixel() const { return Bits; }
    int BytesPerPixel() const { return Bytes; }
    bool HasBitmap() const { return Created; }
    const uint8_t* Data() const { return Pixels.data(); }
    uint8_t* Data() { return Pixels.data(); }
    const PixelFormat& Format() const { return Format_; }
    // 0x00RRGGBB per index; meaningful at 8 bits per pixel.
    const std::array<uint32_t, 256>& ColourTable() const { return Colours; }

    static int StrideFor(int width, int bitsPerPixel);

private:
    // The viewer's format of that many bits per pixel, with its colour table.
    void AdoptFormat(int bitsPerPixel);
    // Clips (x, y, w, h) to the bitmap; false when nothing is left.
    bool Clip(int& x, int& y, int& w, int& h, int* skipX = nullptr, int* skipY = nullptr) const;

    IFramePresenter* Presenter;
    CManualEvent DrawGate;
    std::vector<uint8_t> Pixels;
    std::vector<uint8_t> FillRow;
    CPartialBlocks Partial; // of the update being drawn into a reduced frame
    ReducerScratch Reducing;
    std::array<uint32_t, 256> Colours{};
    PixelFormat Format_;
    int FrameWidth = 0; // stored
    int FrameHeight = 0;
    int RemoteW = 0;
    int RemoteH = 0;
    int Factor = 1;
    int NextFactor = 1;
    int RowStride = 0;
    int Bits = 0;
    int Bytes = 0;
    bool Created = false;
};

} // namespace dova
