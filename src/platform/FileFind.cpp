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
    return m_hasNext;
}

bool FileFind::FindNextFile()
{
    if (!m_hasNext)
        return false;
    m_data = m_next;
    m_hasNext = ::FindNextFileA(m_find.Get(), &m_next) != FALSE;
    return m_hasNext;
}

void FileFind::Close()
{
    m_find.Close();
    m_hasNext = false;
}

bool FileFind::IsDots() const
{
    const char *n = m_data.cFileName;
    return IsDirectory() && n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}
