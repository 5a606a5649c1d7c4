#pragma once
#include <string>

// The run's debug lines kept in a file that a standard user can write and support can name in one sentence:
// autorun.log in the user's temporary folder (%TEMP%). Nobody at a clinic can run a debug-output viewer, but anyone
// can send a file. Each run starts with a header and ends with its outcome. The file is bounded: past kRotateBytes it
// becomes autorun.log.1 (replacing the one before) at the start of the next run, so the last runs are kept, and one
// run writes at most kRunBytes of debug lines. A log that cannot be written changes nothing else.
namespace runlog {
constexpr char kFileName[] = "autorun.log";
constexpr char kPreviousFileName[] = "autorun.log.1";
constexpr unsigned long kRotateBytes = 256 * 1024;
constexpr unsigned long kRunBytes = 1024 * 1024;

// Opens the log for this run and writes its header line. Until then (and in programs that never call it) the other
// calls do nothing.
void Start();
// A debug line as the debug output got it.
void Debug(const std::string &text);
// A line of the log's own (the disc, the outcome): never left out for the bound.
void Note(const std::string &text);
// Closes the log; the calls after it do nothing until the next Start, whose run is counted anew. The process's end
// closes it too: a test ends its log to read it whole and remove it.
void End();
} // namespace runlog
