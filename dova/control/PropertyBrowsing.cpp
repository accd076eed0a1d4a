#include "PropertyBrowsing.h"

#include <map>

namespace dova {

namespace {
const std::map<int32_t, std::vector<PredefinedValue>>& Tables() {
    static const std::map<int32_t, std::vector<PredefinedValue>> tables = {
        {dispids::MousePointer,
         {{0, "0 - Default"},
          {1, "1 - Arrow"},
          {2, "2 - Cross"},
          {3, "3 - I-Beam"},
          {4, "4 - Icon"},
          {5, "5 - Size"},
          {6, "6 - Size NE SW"},
          {7, "7 - Size N S"},
          {8, "8 - Size NW SE"},
          {9, "9 - Size W E"},
          {10, "10 - Up Arrow"},
          {11, "11 - Hour Glass"},
          {12, "12 - No Drop"},
          {13, "13 - Arrow and Hour Glass"},
          {14, "14 - Arrow and Question Mark"},
          {15, "15 - Size All"},
          {200, "200 - None"},
          {201, "201 - Small Circle"},
          {202, "202 - Small Square"},
          {99, "99 - Custom"}}},
        {dispids::Scrollbars, {{0, "0 - None"}, {1, "1 - Horizontal"}, {2, "2 - Vertical"}, {3, "3 - Both"}}},
        {dispids::PrimaryCodec,
         {{0, "0 - Raw"}, {1, "1 - Copy Rect"}, {2, "2 - RRE"}, {4, "4 - CoRRE"}, {5, "5 - Hextile"}}},
        {dispids::BitsPerPixel, {{8, "8  - 8 Bpp"}, {16, "16 - 16 Bpp"}, {32, "32 - 32 Bpp"}}},
        {dispids::StretchMode, {{0, "0 - Normal"}, {1, "1 - Halftone"}}},
        {dispids::MouseTrapModifers,
         {{0, "0 - None"},
          {1, "1 - Shift"},
          {2, "2 - Control"},
          {4, "4 - Menu"},
          {65536, "0x10000 - Current"}}},
    };
    return tables;
}
} // namespace

const std::vector<PredefinedValue>& PredefinedValuesOf(int32_t dispid) {
    static const std::vector<PredefinedValue> none;
    const auto found = Tables().find(dispid);
    return found == Tables().end() ? none : found->second;
}

QString DisplayTextOf(int32_t dispid, int32_t value) {
    for (const PredefinedValue& entry : PredefinedValuesOf(dispid))
        if (entry.Value == value)
            return QString::fromLatin1(entry.Text);
    return QStringLiteral("Custom Value");
}

} // namespace dova
