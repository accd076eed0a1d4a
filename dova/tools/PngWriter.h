#pragma once
// A small PNG writer for 8-bit RGB pictures: no compression library, the image data goes into
// stored (uncompressed) deflate blocks. Files are larger than compressed ones, and every viewer reads
// them.

#include <cstdint>
#include <string>
#include <vector>

namespace dova_snap {

// rgb: height rows of width pixels, 3 bytes each (R, G, B), no padding.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgb);
// Writes the file; false when it cannot be written.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);

uint32_t Crc32(const uint8_t* data, size_t length, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t length, uint32_t adler = 1);

} // namespace dova_snap
