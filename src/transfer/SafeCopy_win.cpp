#include "SafeCopy.h"

#include <windows.h>

#include "platform/DebugOut.h"

namespace {
constexpr char kCopyLine[] = "Copy File : %s => %s : %s\n";
constexpr char kTempFormat[] = "\\~cpy%04x%04x.tmp";
constexpr int kTempAttempts = 64;

void RemoveTemporary(const std::string &path)
{
    // The copy carries the source's read-only mark, which would keep it from being deleted.
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path.c_str());
}
} // namespace

void ReportCopy(const std::string &source, const std::string &target, bool ok)
{
    DebugLine(kCopyLine, source.c_str(), target.c_str(), ok ? "Success" : "Failed");
}

bool ReplaceWithCopy(const std::string &source, const std::string &target)
{
    ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);

    const size_t slash = target.rfind('\\');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash);
    // A fresh name beside the target. The copy refuses to overwrite, so a file of the patient's that
    // happens to carry such a name is never touched; the next name is tried instead.
    static unsigned s_counter = ::GetTickCount();
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        const std::string temp =
            folder + Format(kTempFormat, static_cast<unsigned>(::GetCurrentProcessId() & 0xFFFF), s_counter++ & 0xFFFF);
        if (!::CopyFileA(source.c_str(), temp.c_str(), TRUE)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            RemoveTemporary(temp); // a source that could not be read to its end leaves a partial copy
            return false;
        }
        if (!::MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            RemoveTemporary(temp);
            return false;
        }
        return true;
    }
    return false;
}
