#pragma once
// Splitting of a server text such as "pc1", "pc1:1", "pc1:D1", "pc1:P80" or "pc1:5902" into a host
// and a port.

#include <QString>

namespace dova {

inline constexpr int BaseDisplayPort = 5900;

struct ServerText {
    QString Host;
    bool HasPort = false; // false: no colon, the port stays as it was
    int Port = 0;
};

// Port mode (P): the number is the port. Display mode (D): the number is a display. No letter: a
// number below 100 is a display, anything else a port. Missing digits read as 0.
ServerText SplitServerText(const QString& text);

} // namespace dova
