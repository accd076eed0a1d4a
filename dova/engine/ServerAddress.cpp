#include "ServerAddress.h"

#include <cctype>

namespace dova {

bool SplitServerText(const std::string& text, std::string& host, int& port) {
    // "[literal]" holds an IPv6 address, whose own colons are not the port's.
    const size_t closing = text.size() > 1 && text[0] == '[' ? text.find(']') : std::string::npos;
    const size_t colon = text.find(':', closing == std::string::npos ? 0 : closing + 1);
    const std::string before =
        closing == std::string::npos ? text.substr(0, colon) : text.substr(1, closing - 1);
    if (colon == std::string::npos) {
        host = before;
        return true;
    }
    enum class Mode { Open, Port, Display } mode = Mode::Open;
    size_t at = colon + 1;
    if (at < text.size() && (text[at] == 'P' || text[at] == 'p')) {
        mode = Mode::Port;
        ++at;
    } else if (at < text.size() && (text[at] == 'D' || text[at] == 'd')) {
        mode = Mode::Display;
        ++at;
    }
    long number = 0;
    // Stop before a number could overflow; no port or display is that long.
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && number < 1000000; ++at)
        number = number * 10 + (text[at] - '0');
    const bool tooLong = at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]));
    if (!(mode == Mode::Port || (mode == Mode::Open && number >= DisplayNumberLimit)))
        number += BaseRfbPort;
    if (tooLong || !IsPortNumber(number))
        return false;
    host = before;
    port = int(number);
    return true;
}

} // namespace dova
