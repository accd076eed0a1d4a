#include "WallSummary.h"

QString TWallSummary::StateText(TTileState state) {
    switch (state) {
    case TTileState::Connected:
        return QStringLiteral("Bağlı");
    case TTileState::Failed:
        return QStringLiteral("Koptu");
    case TTileState::PasswordNeeded:
        return QStringLiteral("Şifre gerekli");
    case TTileState::Connecting:
        break;
    }
    return QStringLiteral("Bağlanıyor");
}

QString TWallSummary::Text() const {
    QStringList parts;
    for (TTileState state :
         {TTileState::Connected, TTileState::Failed, TTileState::PasswordNeeded, TTileState::Connecting}) {
        if (Count(state) > 0)
            parts.append(StateText(state) + u' ' + QString::number(Count(state)));
    }
    return parts.join(QStringLiteral(" · "));
}

TWallSummary TWallSummary::Of(const QList<TVNCPanel*>& tiles) {
    TWallSummary summary;
    for (const TVNCPanel* tile : tiles)
        summary.Add(tile->TileState());
    return summary;
}
