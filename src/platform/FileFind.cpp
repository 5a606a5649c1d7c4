#include "FileFind.h"

#include "Paths.h"

// The finder runs one entry ahead, like the framework's: FindFile fetches the first entry, and each
// FindNextFile makes the fetched entry current and fetches the one after it. Its result tells whether
// an entry after the current one exists, so a loop "while (more) { more = FindNextFile(); ... }" sees
// every entry once.
bool FileFind::FindFile(const std::string &pattern)
{
    Close();
    const size_t slash = LastSeparator(pattern, "\\/:");
    m_root = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    m_find.Attach(::FindFirstFileA(pattern.c_str(), &m_next));
    m_hasNext = m_find.IsValid();
    if (!m_hasNext) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_NO_MORE_FILES)
            m_error = error;
    }
    return m_hasNext;
}

bool FileFind::FindNextFile()
{
    if (!m_hasNext)
        return false;
    m_data = m_next;
    m_hasNext = ::FindNextFileA(m_find.Get(), &m_next) != FALSE;
    // Only ERROR_NO_MORE_FILES ends a folder; any other failure ends the search short of it.
    if (!m_hasNext && ::GetLastError() != ERROR_NO_MORE_FILES)
        m_error = ::GetLastError();
    return m_hasNext;
}

void FileFind::Close()
{
    m_find.Close();
    m_hasNext = false;
    m_error = ERROR_SUCCESS;
}

bool FileFind::IsDots() const
{
    const char *n = m_data.cFileName;
    return IsDirectory() && n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}
