#pragma once
// Small file fixtures for the Win32-side tests: a fresh folder per test under the prefix's temp folder.
#include <windows.h>

#include <string>

#include "transfer/SafeCopy.h"

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &Path() const { return m_path; }
    std::string operator/(const std::string &name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string &path, const std::string &content);
std::string ReadFile(const std::string &path);
bool Exists(const std::string &path);
bool IsFolder(const std::string &path);
void MakeFolder(const std::string &path);
// Sets the last-write time, in 100 ns units since 1601.
void SetWriteTime(const std::string &path, unsigned long long time);
unsigned long long WriteTime(const std::string &path);
// Every name in a folder, sorted, without "." and "..".
std::string ListFolder(const std::string &folder);
void RemoveTree(const std::string &path);
// A file's facts as the folder search would report them to a delivery.
SourceFacts FactsOf(const std::string &path);
