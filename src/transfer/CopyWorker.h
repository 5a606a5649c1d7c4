#pragma once
#include <functional>
#include <string>

#include "transfer/CopyDecision.h"

// The patient folder is copied at its top level only: files incrementally, subfolders as empty
// folders. `fileHandled` runs once per file, copied, failed or skipped, in the order of the search. Returns how many
// files could not be copied, and why. `listed`: the files the count found; when the folder's listing breaks off,
// those it did not reach (at least one) count as not copied.
CopyOutcome CopyPatientFolder(const std::string &source, const std::string &destination,
                              const std::function<void()> &fileHandled, int listed = 0);

// The folders handed to the copy worker: written once before it starts, then only read.
extern std::string g_strCopySource;
extern std::string g_strCopyDest;

unsigned long __stdcall CopyThreadProc(void *parameter);
