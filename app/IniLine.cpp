#include "IniLine.h"

#include <QStringDecoder>

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

bool IsQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

QString TrimBlanks(QStringView s) {
    qsizetype b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b).toString();
}

QString DropEnclosingQuotes(const QString& v) {
    if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front())
        return v.mid(1, v.size() - 2);
    return v;
}

bool ValidUtf8(const QByteArray& bytes, QString* text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(bytes);
    if (utf8.hasError())
        return false;
    if (text)
        *text = std::move(decoded);
    return true;
}

QString FoldTurkishCapitals(QString key) {
    key.replace(QChar(0x0130), u'I'); // İ
    key.replace(QChar(0x0131), u'i'); // ı
    return key;
}

void Classify(TIniLine& line) {
    const QString text = DecodeIniLine(line.Raw);
    const QString trimmed = TrimBlanks(text);
    if (trimmed.isEmpty() || trimmed.front() == u';' || trimmed.front() == u'#')
        return;
    if (trimmed.front() == u'[') {
        qsizetype close = trimmed.indexOf(u']');
        if (close < 0)
            close = trimmed.size();
        line.LineKind = TIniLine::Section;
        line.Name = TrimBlanks(QStringView(trimmed).mid(1, close - 1));
        return;
    }
    const qsizetype eq = trimmed.indexOf(u'=');
    if (eq < 0)
        return;
    line.LineKind = TIniLine::Entry;
    line.Name = TrimBlanks(QStringView(trimmed).left(eq));
    line.Value = DropEnclosingQuotes(TrimBlanks(QStringView(trimmed).mid(eq + 1)));
}

} // namespace

QString DecodeIniLine(const QByteArray& bytes) {
    QString text;
    if (ValidUtf8(bytes, &text))
        return text;
    QStringDecoder turkish("windows-1254");
    if (turkish.isValid())
        return turkish.decode(bytes);
    return QString::fromLatin1(bytes);
}

QByteArray IniLineToUtf8(const QByteArray& bytes) {
    if (ValidUtf8(bytes, nullptr))
        return bytes;
    const QString text = DecodeIniLine(bytes);
    if (text.contains(QChar::ReplacementCharacter))
        return bytes; // a byte Windows-1254 leaves undefined: no text to convert, keep it as it was
    return text.toUtf8();
}

QList<TIniLine> SplitIniLines(const QByteArray& bytes) {
    QList<TIniLine> lines;
    qsizetype pos = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        TIniLine line;
        line.Raw = bytes.mid(pos, end - pos);
        if (line.Raw.endsWith('\r'))
            line.Raw.chop(1);
        Classify(line);
        lines.append(std::move(line));
        pos = end + 1;
    }
    return lines;
}

TIniLine MakeIniEntry(const QString& key, const QString& value) {
    const bool quoted = !value.isEmpty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                                             IsQuote(value.front()) || IsQuote(value.back()));
    QString text = key + u'=' + (quoted ? u'"' + value + u'"' : value);
    text.remove(u'\r').remove(u'\n'); // the table never holds them; a line break must never split a record
    TIniLine line;
    line.Raw = text.toUtf8();
    line.LineKind = TIniLine::Entry;
    line.Name = key;
    line.Value = value;
    return line;
}

bool SameIniKey(const QString& a, const QString& b) {
    return FoldTurkishCapitals(a).compare(FoldTurkishCapitals(b), Qt::CaseInsensitive) == 0;
}
