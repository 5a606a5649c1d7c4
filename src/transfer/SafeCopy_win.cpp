#include "SafeCopy.h"

#include <windows.h>

#include <algorithm>

#include "platform/DebugOut.h"
#include "platform/FileFind.h"
#include "platform/Handles.h"

namespace {
constexpr char kCopyLine[] = "Copy File : %s => %s : %s\n";
constexpr char kTempFormat[] = "\\~cpy%04x%04x.tmp";
constexpr int kTempAttempts = 64;

void RemovePartialCopy(const std::string &path)
{
    // The copy carries the source's read-only mark, which would keep it from being deleted.
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path.c_str());
}

// Files on a disc are read-only, and the copy carries the mark: the viewer could not save the project it is
// started on. The copies in the viewer's folders are its working files, so the mark goes; the other attributes
// stay as they came. The copy's attributes are the source's.
void MakeWritable(const std::string &path, DWORD sourceAttributes)
{
    if (!(sourceAttributes & FILE_ATTRIBUTE_READONLY))
        return;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool AlreadyExists(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// A hash of the name without regard to ASCII case (FNV-1a). The file system's own folding may differ for other
// characters, and a double-byte character's trailing byte may be folded here: that only moves a name to the slower,
// safe way.
uint64_t FoldedHash(const std::string &name)
{
    uint64_t hash = 14695981039346656037ull;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        hash *= 1099511628211ull;
    }
    return hash;
}
} // namespace

void ReportCopy(const std::string &source, const std::string &target, bool ok)
{
    DebugLine(kCopyLine, source.c_str(), target.c_str(), ok ? "Success" : "Failed");
}

bool ReplaceWithCopy(const std::string &source, const std::string &target, const SourceFacts &facts)
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
            if (AlreadyExists(::GetLastError()))
                continue;
            RemovePartialCopy(temp); // a source that could not be read to its end leaves a partial copy
            return false;
        }
        MakeWritable(temp, facts.attributes);
        if (!::MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            RemovePartialCopy(temp);
            return false;
        }
        return true;
    }
    return false;
}

SourceFacts FoundFacts(const FileFind &finder)
{
    return SourceFacts{finder.GetAttributes(), finder.GetLength(), finder.GetLastWriteTime()};
}

NewTargetCopy CopyToNewTarget(const std::string &source, const std::string &target, const SourceFacts &facts,
                              bool freshFolder)
{
    FileHandle held;
    if (!freshFolder) {
        held.Attach(::CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!held) {
            // Nothing was touched. Whether this counts as a failed copy depends on the target being there after
            // all: an existing one may well be skipped.
            return ::GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES ? NewTargetCopy::Failed
                                                                                   : NewTargetCopy::TargetExists;
        }
    }
    if (::CopyFileA(source.c_str(), target.c_str(), TRUE)) {
        MakeWritable(target, facts.attributes);
        return NewTargetCopy::Copied;
    }
    if (AlreadyExists(::GetLastError()))
        return NewTargetCopy::TargetExists;
    if (freshFolder) {
        WIN32_FILE_ATTRIBUTE_DATA found;
        if (!::GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &found))
            return NewTargetCopy::Failed;
        // A copy's last-write time is the source's, and it is set when the data is all there.
        const uint64_t size = (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        if (size == facts.size && ::CompareFileTime(&found.ftLastWriteTime, &facts.lastWrite) == 0)
            return NewTargetCopy::TargetExists;
    }
    RemovePartialCopy(target);
    return NewTargetCopy::Failed;
}

FolderListing::FolderListing(const std::string &folder)
{
    FileFind finder;
    bool more = finder.FindFile(folder + "\\*.*");
    while (more) {
        more = finder.FindNextFile();
        if (!finder.IsDots())
            m_hashes.push_back(FoldedHash(finder.GetFileName()));
    }
    std::sort(m_hashes.begin(), m_hashes.end());
}

bool FolderListing::Has(const std::string &name) const
{
    return std::binary_search(m_hashes.begin(), m_hashes.end(), FoldedHash(name));
}
