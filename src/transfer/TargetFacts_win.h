#pragma once
#include <windows.h>

#include <string>

#include "platform/FileFind.h"
#include "transfer/CopyDecision.h"

// How the copy worker reads an open file's times (GetFileTime). A test puts in one that answers as Windows does:
// under Wine a file's creation time is always its last-write time, so there the two cannot be told apart; on Windows
// a copy's creation time is the moment it was made.
using FileTimesFunction = BOOL(WINAPI *)(HANDLE file, FILETIME *creation, FILETIME *lastAccess, FILETIME *lastWrite);

// The facts ShouldCopy decides on for a file of the patient folder, as the folder search found it (`source`), whose
// target exists. Defined with the copy worker (CopyWorker_win.cpp).
CopyFacts ExistingTargetFacts(const FileFind &source, const std::string &target,
                              FileTimesFunction getTimes = ::GetFileTime);
