#pragma once
// Counts of what the session decoded, for tools and tests. Written by the session thread, readable
// from any thread while it runs.

#include <array>
#include <atomic>
#include <cstdint>

namespace dova {

struct DecodeStatistics {
    // Encodings 0 to 16 (Raw, CopyRect, RRE, 3 unused, CoRRE, Hextile, 6 unused, Tight, ..., ZRLE).
    static constexpr int EncodingSlots = 17;

    std::atomic<uint64_t> Updates{0};
    std::array<std::atomic<uint64_t>, EncodingSlots> Rectangles{};
    // Time from an update's message head to its last rectangle drawn (network waits included).
    std::atomic<uint64_t> DecodeNanoseconds{0};
    // Set before the session starts: after this many updates it asks for no more and ends, so the
    // frame holds the last one whole (a capture). 0: the session goes on.
    uint64_t StopAfterUpdates = 0;
};

} // namespace dova
