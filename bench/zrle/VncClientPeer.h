#pragma once
// libvncclient as a peer to measure against: connects to 127.0.0.1:port with the bench's pixel
// format, asks for one encoding and decodes the server's updates into its own framebuffer.

#include <cstdint>
#include <vector>

namespace latis_bench {

struct PeerResult {
    bool Ok = false;
    double CpuMs = 0; // the client thread's CPU time for the measured updates
    std::vector<uint32_t> Pixels;
};

// Reads warmup updates, then measures the next frames updates.
PeerResult RunVncClientPeer(uint16_t port, int bitsPerPixel, const char* encoding, int warmup, int frames);

} // namespace latis_bench
