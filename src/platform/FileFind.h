#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "Handles.h"

// A folder search in the manner of the usual framework file finder: FindFile starts it, FindNextFile
// steps to the next entry, and the accessors describe the entry stepped to.
class FileFind {
public:
    // `pattern` is a folder followed by "\*.*", or a plain path (which finds that entry itself).
    bool FindFile(const std::string &pattern);
    bool FindNextFile();
    void Close();
    // The search ended on an error, not at the folder's end (a disc taken out, a bad sector in the folder's list):
    // the entries after the last one stepped to were never reached. A folder that is not there is no such error.
    bool Broken() const { return m_error != ERROR_SUCCESS; }
    DWORD Error() const { return m_error; }

    std::string GetFileName() const { return m_data.cFileName; }
    // The folder part of the pattern joined with the entry's name.
    std::string GetFilePath() const { return m_root + m_data.cFileName; }
    uint64_t GetLength() const { return (uint64_t(m_data.nFileSizeHigh) << 32) | m_data.nFileSizeLow; }
    FILETIME GetLastWriteTime() const { return m_data.ftLastWriteTime; }
    FILETIME GetCreationTime() const { return m_data.ftCreationTime; }
    DWORD GetAttributes() const { return m_data.dwFileAttributes; }
    bool IsDirectory() const { return (m_data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool IsDots() const;

private:
    FindHandle m_find;
    WIN32_FIND_DATAA m_data{};
    WIN32_FIND_DATAA m_next{};
    bool m_hasNext = false;
    DWORD m_error = ERROR_SUCCESS;
    std::string m_root;
};
