#include "ComputerIni.h"

#include "ComputerTable.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QStringDecoder>
#include <QTime>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Day numbers count from 30 December 1899, as the files of the original program do.
const QDate DayZero(1899, 12, 30);
constexpr double MillisecondsPerDay = 86400000.0;

QString FormatNumber(double v) {
    return QString::number(v, 'g', 15);
}

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
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
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        return v.mid(1, v.size() - 2);
    return v;
}

// Writes all of data to fd; false on any error (a full disk included).
bool WriteAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

QString DecodeIniText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder turkish("windows-1254");
    if (turkish.isValid())
        return turkish.decode(bytes);
    return QString::fromLatin1(bytes);
}

QList<TIniSection> ParseIni(const QString& text) {
    QList<TIniSection> sections;
    const QStringView all(text);
    qsizetype pos = 0;
    while (pos <= all.size()) {
        qsizetype end = all.indexOf(u'\n', pos);
        if (end < 0)
            end = all.size();
        QStringView line = all.mid(pos, end - pos);
        pos = end + 1;
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = TrimBlanks(line);
        if (trimmed.isEmpty())
            continue;
        if (trimmed.front() == u'[') {
            qsizetype close = trimmed.indexOf(u']');
            if (close < 0)
                close = trimmed.size();
            sections.append(TIniSection{TrimBlanks(QStringView(trimmed).mid(1, close - 1)), {}});
            continue;
        }
        if (sections.isEmpty())
            continue; // entries before the first section belong to no record
        const qsizetype eq = trimmed.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString name = TrimBlanks(QStringView(trimmed).left(eq));
        const QString value = DropEnclosingQuotes(TrimBlanks(QStringView(trimmed).mid(eq + 1)));
        sections.back().Entries.append({name, value});
    }
    return sections;
}

QString FieldToIniText(const QVariant& value) {
    if (value.isNull() || !value.isValid())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return FormatNumber(value.toDouble());
    case QMetaType::QDate:
        return FormatNumber(static_cast<double>(DayZero.daysTo(value.toDate())));
    case QMetaType::QTime:
        return FormatNumber(value.toTime().msecsSinceStartOfDay() / MillisecondsPerDay);
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return FormatNumber(static_cast<double>(DayZero.daysTo(dt.date())) +
                            dt.time().msecsSinceStartOfDay() / MillisecondsPerDay);
    }
    default:
        return value.toString();
    }
}

QByteArray ComposeTableIni(const TComputerTable& table) {
    QString text;
    for (int row = 0; row < table.RecordCount(); ++row) {
        text += QStringLiteral("[RecNo%1]\r\n").arg(row + 1);
        for (int f = 0; f < TComputerTable::FieldCount; ++f) {
            const QString v = table.Value(row, f);
            if (f == TComputerTable::GRUP && v.isEmpty())
                continue; // a list without groups stays as it always was
            text += TComputerTable::FieldName(f) + u'=' +
                    FieldToIniText(v.isEmpty() ? QVariant() : QVariant(v)) + QStringLiteral("\r\n");
        }
    }
    return text.toUtf8();
}

bool SaveTableToIni(const TComputerTable& table, const QString& path, QString* errorMessage) {
    const QByteArray target = QFile::encodeName(path);
    auto fail = [&](const QByteArray& tmp) {
        if (!tmp.isEmpty())
            ::unlink(tmp.constData());
        if (errorMessage)
            *errorMessage = QStringLiteral("Unable to write to %1").arg(path);
        return false;
    };
    if (table.IsEmpty()) {
        // An empty table writes no entry, so no file is left (as the classic profile writer does).
        if (::unlink(target.constData()) != 0 && errno != ENOENT)
            return fail(QByteArray());
        return true;
    }
    QByteArray tmp = target + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return fail(QByteArray());
    const bool written =
        ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && WriteAll(fd, ComposeTableIni(table)) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written)
        return fail(tmp);
    if (::rename(tmp.constData(), target.constData()) != 0)
        return fail(tmp);
    return true;
}

void LoadTableFromIni(TComputerTable& table, const QString& path) {
    table.Clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<TIniSection> sections = ParseIni(DecodeIniText(file.readAll()));
    for (const TIniSection& section : sections) {
        TComputerTable::Values values;
        std::array<bool, TComputerTable::FieldCount> seen{};
        for (const auto& [name, value] : section.Entries) {
            const int field = TComputerTable::FieldByName(name);
            if (field < 0 || seen[field])
                continue;
            // The first entry of a key is the one a profile reader sees, even when it is empty.
            seen[field] = true;
            if (!value.isEmpty())
                values[field] = value;
        }
        table.AppendRecord(values);
    }
    table.First();
}
