#include "ComputerIni.h"

#include "ComputerTable.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
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

QString ErrnoText(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("izin yok");
    case EROFS:
        return QStringLiteral("salt okunur dosya sistemi");
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("diskte yer yok");
    case ENOENT:
        return QStringLiteral("klasör yok");
    case EISDIR:
        return QStringLiteral("bir klasör");
    case EIO:
        return QStringLiteral("okuma/yazma hatası");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

bool LooksLikeUnicodeOrBinary(const QByteArray& bytes) {
    return bytes.contains('\0') || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
}

bool IsContent(const TIniLine& line) {
    if (line.LineKind != TIniLine::Other)
        return true;
    const QString text = DecodeIniLine(line.Raw).trimmed();
    return !text.isEmpty() && !text.startsWith(u';') && !text.startsWith(u'#');
}

// A section is a record when the save wrote it (RecNo and a number) or it holds a field.
bool IsRecordSection(const TIniLine& header, const QList<TIniLine>& body) {
    static const QRegularExpression written(QStringLiteral("^RecNo[0-9]+$"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (written.match(header.Name).hasMatch())
        return true;
    for (const TIniLine& line : body)
        if (line.LineKind == TIniLine::Entry && TComputerTable::FieldByName(line.Name) >= 0)
            return true;
    return false;
}

QByteArray FieldLine(const TComputerTable& table, int row, int field) {
    const QString v = table.Value(row, field);
    return MakeIniEntry(TComputerTable::FieldName(field),
                        FieldToIniText(v.isEmpty() ? QVariant() : QVariant(v)))
        .Raw;
}

// A record's section body: its own lines in place, each field's first line carrying the field's value
// (as it was when unchanged), fields the section lacked after the last field line in field order.
QList<QByteArray> ComposeRecordBody(const TComputerTable& table, int row) {
    const QList<TIniLine>& lines = table.Record(row).Lines;
    std::array<bool, TComputerTable::FieldCount> present{};
    for (const TIniLine& line : lines)
        if (line.LineKind == TIniLine::Entry && TComputerTable::FieldByName(line.Name) >= 0)
            present[static_cast<std::size_t>(TComputerTable::FieldByName(line.Name))] = true;
    std::array<bool, TComputerTable::FieldCount> written{};
    QList<QByteArray> body;
    qsizetype afterFields = 0;
    auto writeMissingBefore = [&](int field) {
        for (int g = 0; g < field; ++g) {
            // An optional field the record never had stays out while it is empty: a list without
            // groups or user names is written as it always was.
            const bool optionalAndEmpty = (g == TComputerTable::GRUP || g == TComputerTable::KULLANICI) &&
                                          table.Value(row, g).isEmpty();
            if (!present[static_cast<std::size_t>(g)] && !written[static_cast<std::size_t>(g)] &&
                !optionalAndEmpty) {
                body.insert(afterFields++, FieldLine(table, row, g));
                written[static_cast<std::size_t>(g)] = true;
            }
        }
    };
    for (const TIniLine& line : lines) {
        if (line.LineKind == TIniLine::Section)
            continue; // the header, written by the caller
        const int field = line.LineKind == TIniLine::Entry ? TComputerTable::FieldByName(line.Name) : -1;
        if (field < 0 || written[static_cast<std::size_t>(field)]) {
            body.append(IniLineToUtf8(line.Raw));
            continue;
        }
        writeMissingBefore(field);
        written[static_cast<std::size_t>(field)] = true;
        const bool unchanged = table.Value(row, field) == TComputerTable::CutToFieldLength(line.Value) &&
                               line.Name.compare(TComputerTable::FieldName(field), Qt::CaseInsensitive) == 0;
        body.append(unchanged ? IniLineToUtf8(line.Raw) : FieldLine(table, row, field));
        afterFields = body.size();
    }
    writeMissingBefore(TComputerTable::FieldCount);
    return body;
}

// "[RecNoN]" and whatever followed the name on the header the record was read with.
QByteArray RecordHeader(const TComputerTable& table, int row) {
    QByteArray header = QStringLiteral("[RecNo%1]").arg(row + 1).toUtf8();
    const QList<TIniLine>& lines = table.Record(row).Lines;
    if (!lines.isEmpty() && lines.front().LineKind == TIniLine::Section) {
        const QByteArray& read = lines.front().Raw;
        if (const qsizetype close = read.indexOf(']'); close >= 0)
            header += IniLineToUtf8(read.mid(close + 1));
    }
    return header;
}

void AppendLines(QByteArray& out, const QList<TIniLine>& lines) {
    for (const TIniLine& line : lines)
        out += IniLineToUtf8(line.Raw) + "\r\n";
}

} // namespace

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

TListRead LoadTableFromIniBytes(TComputerTable& table, const QByteArray& bytes) {
    table.Clear();
    TListRead read;
    read.State = TListState::Read;
    if (LooksLikeUnicodeOrBinary(bytes)) {
        read.State = TListState::Undecodable;
        return read;
    }
    const QList<TIniLine> lines = SplitIniLines(bytes);
    qsizetype i = 0;
    while (i < lines.size() && lines[i].LineKind != TIniLine::Section)
        read.Outside.Preamble.append(lines[i++]);
    if (i == lines.size()) {
        read.Outside = {};
        read.State =
            std::any_of(lines.begin(), lines.end(), IsContent) ? TListState::NoRecords : TListState::Read;
        return read;
    }
    std::vector<std::uint64_t> recordsSoFar;
    while (i < lines.size()) {
        const TIniLine& header = lines[i++];
        QList<TIniLine> body;
        while (i < lines.size() && lines[i].LineKind != TIniLine::Section)
            body.append(lines[i++]);
        if (!IsRecordSection(header, body)) {
            body.prepend(header);
            read.Outside.Others.append({body, recordsSoFar});
            continue;
        }
        // Blank lines between sections belong to no record: records move when the list is sorted.
        while (!body.isEmpty() && body.back().LineKind == TIniLine::Other &&
               DecodeIniLine(body.back().Raw).trimmed().isEmpty())
            body.removeLast();
        // The header goes with the record: what follows its name (a note) is written back after the
        // record's new name.
        body.prepend(header);
        TComputerTable::Values values;
        std::array<bool, TComputerTable::FieldCount> seen{};
        for (const TIniLine& line : body) {
            const int field = line.LineKind == TIniLine::Entry ? TComputerTable::FieldByName(line.Name) : -1;
            if (field < 0 || seen[static_cast<std::size_t>(field)])
                continue;
            // The first entry of a key is the one a profile reader sees, even when it is empty.
            seen[static_cast<std::size_t>(field)] = true;
            values[static_cast<std::size_t>(field)] = line.Value;
        }
        recordsSoFar.push_back(table.AppendRecord(values, body));
    }
    table.First();
    return read;
}

TListState ReadListFile(const QString& path, QByteArray* bytes, QString* reason) {
    bytes->clear();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (reason)
            *reason = ErrnoText(errno);
        return errno == ENOENT ? TListState::Missing : TListState::Unreadable;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (reason)
                *reason = ErrnoText(errno);
            ::close(fd);
            bytes->clear();
            return TListState::Unreadable;
        }
        if (n == 0)
            break;
        bytes->append(buffer, n);
    }
    ::close(fd);
    return TListState::Read;
}

TListRead LoadTableFromIni(TComputerTable& table, const QString& path) {
    table.Clear();
    QByteArray bytes;
    TListRead read;
    read.State = ReadListFile(path, &bytes, &read.Reason);
    if (read.State != TListState::Read)
        return read;
    return LoadTableFromIniBytes(table, bytes);
}

QByteArray ComposeTableIni(const TComputerTable& table, const TIniOutsideRecords& outside) {
    // Each other section goes after the last record above it that is still in the table.
    std::vector<std::uint64_t> anchors;
    for (const TIniOutsideRecords::Section& section : outside.Others) {
        std::uint64_t anchor = 0;
        for (auto it = section.RecordsBefore.rbegin(); it != section.RecordsBefore.rend() && !anchor; ++it)
            for (int row = 0; row < table.RecordCount(); ++row)
                if (table.CreationNumber(row) == *it)
                    anchor = *it;
        anchors.push_back(anchor);
    }
    QByteArray out;
    AppendLines(out, outside.Preamble);
    auto appendOthersAfter = [&](std::uint64_t anchor) {
        for (qsizetype s = 0; s < outside.Others.size(); ++s)
            if (anchors[static_cast<std::size_t>(s)] == anchor)
                AppendLines(out, outside.Others[s].Lines);
    };
    appendOthersAfter(0);
    for (int row = 0; row < table.RecordCount(); ++row) {
        out += RecordHeader(table, row) + "\r\n";
        for (const QByteArray& line : ComposeRecordBody(table, row))
            out += line + "\r\n";
        appendOthersAfter(table.CreationNumber(row));
    }
    return out;
}

bool WriteIniFile(const QString& path, const QByteArray& bytes, QString* errorMessage, QString* reason) {
    const QByteArray target = QFile::encodeName(path);
    auto fail = [&](const QByteArray& tmp) {
        const int error = errno;
        if (!tmp.isEmpty())
            ::unlink(tmp.constData());
        if (errorMessage)
            *errorMessage = QStringLiteral("Unable to write to %1").arg(path);
        if (reason)
            *reason = ErrnoText(error);
        return false;
    };
    if (bytes.trimmed().isEmpty()) {
        // Nothing to write leaves no file (as the classic profile writer does).
        if (::unlink(target.constData()) != 0 && errno != ENOENT)
            return fail(QByteArray());
        return true;
    }
    QByteArray tmp = target + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return fail(QByteArray());
    bool written = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        errno = written ? errno : writeError;
        return fail(tmp);
    }
    if (::rename(tmp.constData(), target.constData()) != 0)
        return fail(tmp);
    return true;
}

bool SaveTableToIni(const TComputerTable& table, const QString& path, QString* errorMessage) {
    return WriteIniFile(path, ComposeTableIni(table), errorMessage);
}
