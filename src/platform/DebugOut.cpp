#include "DebugOut.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "RunLog.h"

namespace {
std::string FormatV(const char *format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<size_t>(length));
}
} // namespace

std::string Format(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    return text;
}

void DebugLine(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = FormatV(format, args);
    va_end(args);
    ::OutputDebugStringA(text.c_str());
    runlog::Debug(text);
}
