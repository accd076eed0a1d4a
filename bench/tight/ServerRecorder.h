#pragma once
// Records what a real server sends: connects to 127.0.0.1:port (RFB 3.8, security None), asks for
// 32 bpp (depth 24), the given encodings and levels, then for whole-screen updates one after the other.
// Each update is decoded by the engine as it arrives (that is how its end is found) and its bytes are
// kept, so they can be served again, unchanged, to any client.

#include <cstdint>
#include <string>
#include <vector>

namespace latis_bench {

struct Recording {
    std::vector<std::vector<uint8_t>> Updates; // each a whole FramebufferUpdate message
    std::vector<uint32_t> LastFrame;           // 0x00RRGGBB of the last update, as the engine drew it
    std::string Error;                         // empty when all went well
};

Recording RecordServer(uint16_t port, const std::vector<int32_t>& encodings, int quality, int compress,
                       int updates);

} // namespace latis_bench
