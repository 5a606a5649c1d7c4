#pragma once
#include <functional>
#include <string>
#include <vector>

// Runs a helper program (xorriso) the way a long command needs it: stdin from /dev/null, stdout and stderr each
// read line by line as they come (for results and progress), in a process group of its own, and stopped with the
// tool. When the tool is interrupted the group gets SIGTERM (SIGKILL after kStopGrace) and is waited for, so no
// orphan keeps writing; when the tool dies outright, the kernel sends the child SIGTERM (PR_SET_PDEATHSIG).

struct ChildResult {
    enum class End { Exited, Killed, NotStarted, Interrupted };
    End end = End::NotStarted;
    int status = 0;      // the exit status, or the signal that killed it
    std::string error;   // why it could not be started or waited for
    std::string errTail; // the end of its stderr, for a failure report
};

using LineHandler = std::function<void(const std::string &line)>;

ChildResult RunChild(const std::vector<std::string> &argv, const LineHandler &onStdout, const LineHandler &onStderr);

// "xorriso not found on PATH: install ..." and the like: what a failed run of `program` comes to, for a diagnostic.
std::string DescribeChildFailure(const std::string &program, const ChildResult &result);
