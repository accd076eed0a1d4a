#pragma once
// The wall's status line: how many of the shown tiles are in each state, in Turkish, for example
// "Bağlı 48 · Koptu 3 · Şifre gerekli 1 · Bağlanıyor 2". States nobody is in are left out.

#include "VNCPanel.h"

#include <QList>
#include <QString>

#include <array>

class TWallSummary {
public:
    void Clear() { FCounts.fill(0); }
    void Add(TTileState state) { ++FCounts[Index(state)]; }
    int Count(TTileState state) const { return FCounts[Index(state)]; }
    QString Text() const;

    // Counts the given tiles (the shown ones).
    static TWallSummary Of(const QList<TVNCPanel*>& tiles);
    static QString StateText(TTileState state);

private:
    static size_t Index(TTileState state) { return static_cast<size_t>(state); }
    std::array<int, 4> FCounts{};
};
