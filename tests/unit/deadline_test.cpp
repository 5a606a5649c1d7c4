// The end-of-session wait's deadline on the system's wrapping tick count.
#include <gtest/gtest.h>

#include "app/Deadline.h"

namespace {

TEST(TimeLeft, UntilTheDeadlineAndNoneAfterIt)
{
    const struct {
        const char *what;
        uint32_t deadline, now, left;
    } cases[] = {
        {"the whole wait ahead", 10000, 0, 10000},
        {"one millisecond ahead", 10000, 9999, 1},
        {"the deadline now", 10000, 10000, 0},
        {"the deadline just past", 10000, 10001, 0},
        {"as long past as the count can tell", 10000, 10000 + 0x7FFFFFFFu, 0},
        {"the count wraps during the wait", 9000, 0xFFFFF000u, 9000 + 0x1000},
        {"the deadline behind the wrap, now past it", 0xFFFFF000u, 5, 0},
        {"the deadline the last tick before the wrap", 0xFFFFFFFFu, 0xFFFFFFF0u, 15},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TimeLeft(c.deadline, c.now), c.left) << c.what;
}

} // namespace
