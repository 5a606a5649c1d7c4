#pragma once
#include <cstdint>

// Phase times of a transfer for the benchmark (bench/run). When the environment variable AUTORUN_BENCH_LOG names a
// file when the process starts, each call appends one line "<name> <value>" to it; otherwise every call returns at
// once, and a transfer pays one test of a flag per file.
namespace benchlog {

bool Enabled();
// "<phase> <milliseconds>" on a clock shared by all threads of the process.
void Mark(const char *phase);
void Value(const char *name, double value);
// "peak_working_set <bytes>": the most memory the process has had in use so far.
void PeakMemory();

// Time spent in one kind of call, summed over a transfer and written once at its end.
class Total {
public:
    void Write(const char *timeName, const char *countName) const;

private:
    friend class Lap;
    int64_t m_ticks = 0;
    int m_count = 0;
};

// Adds the time from its construction to its destruction to a Total, when the log is on.
class Lap {
public:
    explicit Lap(Total &total);
    ~Lap();
    Lap(const Lap &) = delete;
    Lap &operator=(const Lap &) = delete;

private:
    Total *m_total;
    int64_t m_start;
};

} // namespace benchlog
