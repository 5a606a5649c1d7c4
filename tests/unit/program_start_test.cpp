#include <gtest/gtest.h>

#include <string>

#include "launch/ProgramStart.h"

namespace {

// Under Wine the shell itself refuses a path of 260 characters, so only this test can fail when the
// launcher hands it one: on Windows such a start may overrun the shell's buffer.
TEST(ShellTakesProgramPath, AtMost259Characters)
{
    const struct {
        size_t length;
        bool taken;
    } cases[] = {{0, true}, {13, true}, {258, true}, {259, true}, {260, false}, {261, false}, {1100, false}};
    for (const auto &c : cases)
        EXPECT_EQ(launch::ShellTakesProgramPath(std::string(c.length, 'p')), c.taken) << c.length;
}

} // namespace
