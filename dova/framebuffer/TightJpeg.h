#pragma once
// The JPEG rectangles of Tight, decompressed by libjpeg-turbo's TurboJPEG API. The image must have the
// rectangle's size exactly; its header is checked before anything is decompressed, so an image that
// declares a huge size costs nothing. Pixels go straight into the bitmap when its layout is one
// TurboJPEG writes (32 bits, 8-bit channels), otherwise through a buffer of the rectangle's size.

#include "TightPixels.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dova {

class CFrameBuffer;
class CFrameWriter;

class CTightJpeg {
public:
    CTightJpeg();
    ~CTightJpeg();
    CTightJpeg(const CTightJpeg&) = delete;
    CTightJpeg& operator=(const CTightJpeg&) = delete;

    // Draws the image (data, size) into the rectangle (x, y, w, h). Error 1298 "Tight: JPEG image ..."
    // when it does not decode or its size differs; nothing is written outside the rectangle.
    void Draw(const uint8_t* data, size_t size, int x, int y, int w, int h, const CTightPixels& pixels,
              CFrameWriter& writer);

    // The same for a reduced frame: the remote rectangle (x, y, w, h) is decompressed at 1/Reduction
    // of its size (at most 1/8) and blended into it.
    void DrawReduced(const uint8_t* data, size_t size, int x, int y, int w, int h, const CTightPixels& pixels,
                     CFrameBuffer& reduced);

private:
    [[noreturn]] void Fail(const char* what);
    void CheckHeader(const uint8_t* data, size_t size, int w, int h);

    void* Handle;
    std::vector<uint8_t> Converted;
    std::vector<uint8_t> Composed; // reduced images in a format TurboJPEG does not write
};

} // namespace dova
