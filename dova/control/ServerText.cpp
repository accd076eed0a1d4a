#include "ServerText.h"

namespace dova {

ServerText SplitServerText(const QString& text) {
    ServerText result;
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        result.Host = text;
        return result;
    }
    enum class Mode { Open, Port, Display } mode = Mode::Open;
    qsizetype at = colon + 1;
    if (at < text.size()) {
        const QChar letter = text.at(at).toUpper();
        if (letter == QLatin1Char('P')) {
            mode = Mode::Port;
            ++at;
        } else if (letter == QLatin1Char('D')) {
            mode = Mode::Display;
            ++at;
        }
    }
    // Leading decimal digits; a value too large for a port saturates instead of wrapping.
    int64_t number = 0;
    for (; at < text.size() && text.at(at) >= QLatin1Char('0') && text.at(at) <= QLatin1Char('9'); ++at)
        number = std::min<int64_t>(number * 10 + (text.at(at).unicode() - u'0'), INT32_MAX - BaseDisplayPort);
    result.Host = text.left(colon);
    result.HasPort = true;
    const bool display = mode == Mode::Display || (mode == Mode::Open && number < 100);
    result.Port = int(display ? number + BaseDisplayPort : number);
    return result;
}

} // namespace dova
