#pragma once
#include <chrono>
#include <cstdint>
#include <string>

// One line of progress on stderr, rewritten in place, for long work. It is shown only when stderr is a terminal
// and the user did not ask for --quiet, so logs and pipes get nothing but results and diagnostics. Updates come
// at most every kInterval; the line is wiped when the work ends, so what follows starts on a clean line.
class Progress {
public:
    explicit Progress(bool quiet);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    bool Shown() const { return m_enabled; }
    // `done` of `total` units (files, bytes) with the text before them; shown when the interval has passed.
    void Update(const std::string &text, bool force = false);
    // Wipes the line.
    void Clear();

    static constexpr std::chrono::milliseconds kInterval{200};

private:
    bool m_enabled;
    bool m_dirty = false;
    std::chrono::steady_clock::time_point m_last{};
};

// "1.2 GB", "340 MB", "12 KB", "999 bytes" (decimal units, as disc sizes are given).
std::string FormatBytes(uint64_t bytes);
// 0 to 100, never above 100, 100 only when done == total.
int Percent(uint64_t done, uint64_t total);
