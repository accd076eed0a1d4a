#pragma once
// Numbers as they travel: big-endian, whatever the host order.

#include <cstdint>

namespace dova {

inline void PutU16(uint8_t* at, uint16_t v) {
    at[0] = uint8_t(v >> 8);
    at[1] = uint8_t(v);
}
inline void PutU32(uint8_t* at, uint32_t v) {
    at[0] = uint8_t(v >> 24);
    at[1] = uint8_t(v >> 16);
    at[2] = uint8_t(v >> 8);
    at[3] = uint8_t(v);
}
inline uint16_t GetU16(const uint8_t* at) {
    return uint16_t((at[0] << 8) | at[1]);
}
inline uint32_t GetU32(const uint8_t* at) {
    return (uint32_t(at[0]) << 24) | (uint32_t(at[1]) << 16) | (uint32_t(at[2]) << 8) | uint32_t(at[3]);
}

} // namespace dova
