// MsRand against the C runtime's own srand/rand, which the scrambled discs were written with.
#include <gtest/gtest.h>

#include <cstdlib>

#include "config/MsRand.h"

namespace {

TEST(MsRandCompare, MatchesTheRuntimeRand)
{
    // The runtime keeps rand's state per thread (a new thread starts as if seeded with 1), so the seeding and
    // every draw happen here, on the test's one thread.
    for (const unsigned seed : {0u, 1u, 7142u, 20091118u, 0x80000000u, 0xFFFFFFFFu}) {
        std::srand(seed);
        MsRand ours(seed);
        for (int draw = 0; draw < 100000; ++draw) {
            const int theirs = std::rand();
            ASSERT_EQ(ours.Next(), theirs) << "seed " << seed << ", draw " << draw;
        }
    }
}

} // namespace
