#include "ServerAddress.h"

#include <cctype>

namespace dova {

void SplitServerText(const std::string& text, std::string& host, int& port) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        host = text;
        return;
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
    host = text.substr(0, colon);
    if (mode == Mode::Port || (mode == Mode::Open && number >= DisplayNumberLimit))
        port = int(number);
    else
        port = BaseRfbPort + int(number);
}

} // namespace dova
