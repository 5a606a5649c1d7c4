#pragma once
#include <cstdint>

// The milliseconds left until `deadline` at `now`, both read from the system's tick count, and 0 once the deadline
// has come. The count wraps every 49.7 days: the difference is taken modulo 2^32 and read as signed, so a wait that
// spans the wrap ends on time, and one whose deadline lies behind it does not wait for the next wrap.
constexpr uint32_t TimeLeft(uint32_t deadline, uint32_t now)
{
    const int32_t left = static_cast<int32_t>(deadline - now);
    return left <= 0 ? 0 : static_cast<uint32_t>(left);
}
