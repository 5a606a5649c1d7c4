#include "Progress.h"

#include <cstdio>
#include <unistd.h>

Progress::Progress(bool quiet) : m_enabled(!quiet && ::isatty(STDERR_FILENO)) {}

Progress::~Progress()
{
    Clear();
}

void Progress::Update(const std::string &text, bool force)
{
    if (!m_enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && m_dirty && now - m_last < kInterval)
        return;
    m_last = now;
    m_dirty = true;
    // Carriage return and "erase to the end of the line": the line is rewritten where it stands.
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
}

void Progress::Clear()
{
    if (!m_dirty)
        return;
    m_dirty = false;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

std::string FormatBytes(uint64_t bytes)
{
    static const char *const kUnits[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1000)
        return std::to_string(bytes) + " bytes";
    double value = static_cast<double>(bytes) / 1000;
    size_t unit = 0;
    while (value >= 1000 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, kUnits[unit]);
    return text;
}

int Percent(uint64_t done, uint64_t total)
{
    if (total == 0 || done >= total)
        return 100;
    return static_cast<int>(done * 100 / total);
}
