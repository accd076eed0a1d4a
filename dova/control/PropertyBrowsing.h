#pragma once
// Readable texts and predefined values of the viewer's enumerated properties, by dispatch
// identifier, for design tools that list properties.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace dova {

namespace dispids {
inline constexpr int32_t BackColor = -501, ForeColor = -513, Enabled = -514, MouseIcon = -522;
inline constexpr int32_t MousePointer = -521, Scrollbars = -535;
inline constexpr int32_t Server = 17, Password = 18, Port = 19, Display = 20, Shared = 21;
inline constexpr int32_t FrameUpdateDelay = 24, ProgressiveDrawing = 25, AutoScroll = 32,
                         AutoScrollDelay = 33;
inline constexpr int32_t AutoScrollBand = 34, EnableBell = 64, RelayKeys = 96, RelayMouse = 97;
inline constexpr int32_t RelayLocalClipboard = 98, RelayServerClipboard = 99, ScreenEdgeDelay = 112;
inline constexpr int32_t QualityLevel = 129, CompressLevel = 130;
inline constexpr int32_t PrimaryCodec = 128, Stretch = 144, StretchMode = 145, BitsPerPixel = 256, Draw = 288;
inline constexpr int32_t MouseTrap = 336, MouseTrapModifers = 337, FireFrameUpdates = 2048;
inline constexpr int32_t FireDataTransfers = 2064, Encryption = 4100, UserName = 4101;
} // namespace dispids

struct PredefinedValue {
    int32_t Value;
    const char* Text;
};

// The predefined values of a property, in their listing order; empty for other properties.
const std::vector<PredefinedValue>& PredefinedValuesOf(int32_t dispid);

// The text for a value of a property with predefined values: the first entry with that value, or
// "Custom Value".
QString DisplayTextOf(int32_t dispid, int32_t value);

} // namespace dova
