#pragma once
// Builds server byte streams for tests, benchmarks and fuzz seeds: message heads, rectangle headers
// and pixels in the byte order the viewer asks for (multi-byte pixels little-endian).

#include <cstdint>
#include <string>
#include <vector>

namespace latis_test {

class ServerStream {
public:
    explicit ServerStream(int bitsPerPixel = 32) : Bytes(bitsPerPixel / 8) {}

    ServerStream& U8(int v) {
        Data.push_back(uint8_t(v));
        return *this;
    }
    ServerStream& U16(uint32_t v) { return U8(int(v >> 8)).U8(int(v)); }
    ServerStream& U32(uint32_t v) { return U16(v >> 16).U16(v & 0xFFFF); }
    ServerStream& Pixel(uint32_t v) {
        for (int i = 0; i < Bytes; ++i)
            U8(int(v >> (8 * i)));
        return *this;
    }
    ServerStream& Pixels(uint32_t v, size_t count) {
        for (size_t i = 0; i < count; ++i)
            Pixel(v);
        return *this;
    }
    ServerStream& Text(const std::string& text) {
        Data.insert(Data.end(), text.begin(), text.end());
        return *this;
    }
    // FramebufferUpdate head: type 0, padding, rectangle count.
    ServerStream& Update(int count) { return U8(0).U8(0).U16(uint32_t(count)); }
    ServerStream& Rect(int x, int y, int w, int h, int32_t encoding) {
        return U16(uint32_t(x)).U16(uint32_t(y)).U16(uint32_t(w)).U16(uint32_t(h)).U32(uint32_t(encoding));
    }
    // ServerInit (or the body of a re-initialisation) in one of the viewer's formats.
    ServerStream& ServerInit(int width, int height, int bitsPerPixel, const std::string& name = "test") {
        U16(uint32_t(width)).U16(uint32_t(height));
        if (bitsPerPixel == 8)
            U8(8).U8(8).U8(1).U8(1).U16(7).U16(7).U16(3).U8(0).U8(3).U8(6);
        else if (bitsPerPixel == 16)
            U8(16).U8(16).U8(0).U8(1).U16(31).U16(31).U16(31).U8(10).U8(5).U8(0);
        else
            U8(bitsPerPixel).U8(24).U8(0).U8(1).U16(255).U16(255).U16(255).U8(16).U8(8).U8(0);
        U8(0).U8(0).U8(0).U32(uint32_t(name.size()));
        return Text(name);
    }

    int BytesPerPixel() const { return Bytes; }
    std::vector<uint8_t> Data;

private:
    int Bytes;
};

} // namespace latis_test
