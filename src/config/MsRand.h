#pragma once
#include <cstdint>

// The linear congruential generator of the Microsoft C runtime's srand/rand. Scrambled discs were
// written with exactly this sequence, so it is ours rather than whatever rand() the platform has.
class MsRand {
public:
    explicit MsRand(uint32_t seed = 1) : m_state(seed) {}

    void Seed(uint32_t seed) { m_state = seed; }

    // 0 .. 32767
    int Next()
    {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }

private:
    uint32_t m_state;
};
