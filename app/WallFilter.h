#pragma once
// TWallFilter: which computers the wall shows for the typed search text and the chosen group.
// Matching ignores letter case the Turkish way (I/ı and İ/i are case pairs) and also lets the
// dotted and the dotless i stand for each other, so "ışık" finds "IŞIK", "istanbul" finds
// "İstanbul", and "kiosk" still finds a name written "KIOSK" by a non-Turkish keyboard.

#include <QString>

class TWallFilter {
public:
    // The text with case, the i/ı difference and combining dots removed; what matching compares.
    static QString Fold(const QString& text);

    void SetText(const QString& text);
    QString Text() const { return FText; }
    // The group shown; empty shows every group ("Tümü").
    void SetGroup(const QString& group) { FGroup = group; }
    QString Group() const { return FGroup; }

    // True when name or address contains the search text and the group matches.
    bool Matches(const QString& name, const QString& address, const QString& group) const;
    bool IsEmpty() const { return FFolded.isEmpty() && FGroup.isEmpty(); }

private:
    QString FText;
    QString FFolded;
    QString FGroup;
};
