#pragma once
// Physical memory figures shown by the about window, read from the kernel's /proc/meminfo.

#include <QString>

#include <cstdint>

struct MemoryStatus {
    std::uint64_t TotalPhysicalKb = 0;
    int LoadPercent = 0; // share of physical memory in use, 0..100
};

// Reads MemTotal and MemAvailable (MemFree on kernels without it). Missing or unreadable figures
// give zeros rather than an error: the about window must open whatever the platform says.
MemoryStatus ReadMemoryStatus(const QString& meminfoPath = QStringLiteral("/proc/meminfo"));

// "16.318.412 KB": thousands separators of the Turkish locale, no decimals.
QString FormatPhysicalMemory(std::uint64_t kilobytes);
// "%d %%": the number, a blank and a percent sign.
QString FormatMemoryLoad(int percent);
