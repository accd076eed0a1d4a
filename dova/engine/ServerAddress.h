#pragma once
// Splitting a server text such as "pc1:1", "pc1:D1", "pc1:5902", "pc1:P80" or "[::1]:1" into host and
// port.

#include <string>

namespace dova {

inline constexpr int BaseRfbPort = 5900;
// Below this, a number after the colon without P or D is a display number, not a port.
inline constexpr int DisplayNumberLimit = 100;
inline constexpr int MaxPort = 65535;

inline bool IsPortNumber(long value) {
    return value >= 0 && value <= MaxPort;
}

// With no colon the text is the host and port is left as it was. After the colon, P selects a port
// number, D a display number (port 5900 + n); with neither, numbers below 100 are display numbers.
// An IPv6 literal is written in brackets ("[fe80::1%eth0]:1"); the host is what they enclose. Without
// brackets the first colon ends the host, as ever. False, with host and port left as they were, when
// the port (or 5900 + display) lies beyond 65535: it would wrap to another one.
bool SplitServerText(const std::string& text, std::string& host, int& port);

} // namespace dova
