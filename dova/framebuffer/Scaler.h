#pragma once
// Conversion of framebuffer pixels to the screen's 32-bit 0x00RRGGBB words, 1:1 or stretched, and the
// integer arithmetic that maps frame rectangles to window rectangles under the stretch ratios.
//
// Window units are pixels of the drawn (possibly stretched) image, before the view origin and the
// scroll positions are added. A stretch cell is NumX x NumY window pixels and shows exactly
// DenX x DenY frame pixels; partial repaints are widened to whole cells so that every stretched copy
// keeps the exact ratio and never shows a fraction of a cell.

#include "PixelFormat.h"

#include <array>
#include <cstdint>

namespace dova {

struct StretchRatio {
    int32_t NumX = 1, DenX = 1, NumY = 1, DenY = 1;
};

struct Edges {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const Edges&) const = default;
};

struct Area {
    int X = 0, Y = 0, Width = 0, Height = 0;
    bool operator==(const Area&) const = default;
};

// Frame units to window units (truncating, as all of this arithmetic).
int ScaleX(const StretchRatio& r, int v);
int ScaleY(const StretchRatio& r, int v);
// Window units to frame units: each value multiplied by the denominator, divided by the numerator.
Area UnscaleRect(const StretchRatio& r, int left, int top, int width, int height);
// A frame rectangle (left, top, right, bottom), in window units, widened to whole stretch cells. The
// right and bottom edges always gain at least one cell.
Edges ScaleRectOutward(const StretchRatio& r, int left, int top, int right, int bottom);

// A framebuffer's pixels as the scaler reads them.
struct SourcePixels {
    const uint8_t* Data = nullptr;
    int Width = 0, Height = 0;
    int Stride = 0;       // bytes per row
    int BitsPerPixel = 0; // 8, 16 or 32
    PixelFormat Format;
    const std::array<uint32_t, 256>* Colours = nullptr; // 8 bits per pixel: index to 0x00RRGGBB
};

// The 32-bit destination: Stride in pixels.
struct TargetPixels {
    uint32_t* Data = nullptr;
    int Width = 0, Height = 0;
    int Stride = 0;
};

enum class StretchFilter {
    Halftone,      // each window pixel is the average of the frame pixels it covers
    ColourOnColour // each window pixel is the frame pixel under its centre; rows and columns dropped
};

// Copies the frame area (sx, sy, w, h) to (dx, dy), converting to 0x00RRGGBB. Both sides are clipped.
void CopyConverted(const SourcePixels& source, int sx, int sy, int w, int h, TargetPixels& target, int dx,
                   int dy);

// Stretches the frame area src onto the window area dst with the filter. Both are clipped to their
// images; the mapping between them is taken from the unclipped rectangles.
void StretchConverted(const SourcePixels& source, const Area& src, TargetPixels& target, const Area& dst,
                      StretchFilter filter);

} // namespace dova
