#include "MemoryStatus.h"

#include <QFile>
#include <QLocale>

#include <optional>

namespace {

std::optional<std::uint64_t> ValueOf(const QByteArray& line, const QByteArray& key) {
    if (!line.startsWith(key))
        return std::nullopt;
    QByteArray rest = line.mid(key.size()).trimmed();
    if (rest.endsWith("kB"))
        rest.chop(2);
    bool ok = false;
    const std::uint64_t value = rest.trimmed().toULongLong(&ok);
    return ok ? std::optional<std::uint64_t>(value) : std::nullopt;
}

} // namespace

MemoryStatus ReadMemoryStatus(const QString& meminfoPath) {
    MemoryStatus status;
    QFile file(meminfoPath);
    if (!file.open(QIODevice::ReadOnly))
        return status;
    // /proc files report size 0: readAll reads to the end instead of trusting the size.
    const QList<QByteArray> lines = file.readAll().split('\n');
    std::optional<std::uint64_t> total, available, freeKb;
    for (const QByteArray& line : lines) {
        if (auto v = ValueOf(line, "MemTotal:"))
            total = v;
        else if (auto v = ValueOf(line, "MemAvailable:"))
            available = v;
        else if (auto v = ValueOf(line, "MemFree:"))
            freeKb = v;
    }
    if (!total || *total == 0)
        return status;
    status.TotalPhysicalKb = *total;
    const std::uint64_t unused = available ? *available : freeKb.value_or(*total);
    const std::uint64_t used = unused >= *total ? 0 : *total - unused;
    status.LoadPercent = static_cast<int>((used * 100 + *total / 2) / *total);
    return status;
}

QString FormatPhysicalMemory(std::uint64_t kilobytes) {
    const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    return turkish.toString(static_cast<qulonglong>(kilobytes)) + QStringLiteral(" KB");
}

QString FormatMemoryLoad(int percent) {
    return QString::asprintf("%d %%", percent);
}
