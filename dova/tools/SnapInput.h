#pragma once
// dova-snap's input: --click X,Y and --type TEXT, sent through the viewer's input thread exactly as a
// host's SendMouseMove / SendMouseUp and SendKeyDown / SendKeyUp would be.

#include "SnapOptions.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dova_snap {

class SnapConnection;

// One key of typed text: a host key (virtual-key code, Shift wanted) or, for characters the US layout
// lacks, a relayed key carrying the character itself.
struct TypedKey {
    uint8_t VirtualKey = 0;
    bool Shift = false;
    uint32_t Character = 0; // non-zero: send as a relayed key with this code point
};

// Splits UTF-8 text into keys; false (with the offending position in error) for invalid UTF-8.
bool KeysForText(const std::string& text, std::vector<TypedKey>& keys, std::string& error);

// Moves and clicks, then types, and returns once every message is on the wire.
void ApplyInput(SnapConnection& connection, const SnapOptions& options);

} // namespace dova_snap
