#include "WallFilter.h"

namespace {

constexpr char16_t CapitalDottedI = u'\u0130';
constexpr char16_t SmallDotlessI = u'\u0131';
constexpr char16_t CombiningDotAbove = u'\u0307';

} // namespace

QString TWallFilter::Fold(const QString& text) {
    const QString composed = text.normalized(QString::NormalizationForm_C);
    QString folded;
    folded.reserve(composed.size());
    for (QChar c : composed) {
        const char16_t u = c.unicode();
        if (u == u'I' || u == u'i' || u == CapitalDottedI || u == SmallDotlessI) {
            folded.append(u'i');
        } else if (u == CombiningDotAbove) {
            // An İ written as I plus the dot: the dot adds nothing once both i's are one letter.
        } else {
            folded.append(c.toCaseFolded());
        }
    }
    return folded;
}

void TWallFilter::SetText(const QString& text) {
    FText = text;
    FFolded = Fold(text.trimmed());
}

bool TWallFilter::Matches(const QString& name, const QString& address, const QString& group) const {
    if (!FGroup.isEmpty() && Fold(group.trimmed()) != Fold(FGroup))
        return false;
    if (FFolded.isEmpty())
        return true;
    return Fold(name).contains(FFolded) || Fold(address).contains(FFolded);
}
