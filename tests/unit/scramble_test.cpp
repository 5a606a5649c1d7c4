#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "config/MsRand.h"
#include "config/Scramble.h"

namespace {

TEST(MsRand, GivesTheRuntimeSequence)
{
    struct Case {
        uint32_t seed;
        std::vector<int> first;
    };
    const Case cases[] = {
        {1, {41, 18467, 6334, 26500, 19169}},
        {kSuidSeed, {23361, 30181, 8558, 27231, 13081}},
    };
    for (const Case &c : cases) {
        MsRand rng(c.seed);
        std::vector<int> drawn;
        for (size_t i = 0; i < c.first.size(); ++i)
            drawn.push_back(rng.Next());
        EXPECT_EQ(drawn, c.first) << "seed " << c.seed;
    }
    // The default state is the runtime's unseeded one.
    EXPECT_EQ(MsRand().Next(), 41);
}

// Worked by hand from the draws of each seed; the comments give direction, amount and the key bytes in the
// order drawn (the first one acts on the last byte).
TEST(Scramble, DescrambleGroupOfEachWidth)
{
    struct Case {
        uint32_t seed;
        std::vector<uint8_t> in;
        std::vector<uint8_t> out;
    };
    const Case cases[] = {
        {1, {0x81}, {0x8E}},                                 // right 3, key BE
        {11, {0x81}, {0x11}},                                // left 0, key 90
        {3, {0x81, 0x42}, {0xAB, 0x5A}},                     // left 12, keys 4E 83
        {2, {0x81, 0x42}, {0x02, 0xC4}},                     // right 0, keys 86 83
        {1, {0x81, 0x42, 0x24}, {0x69, 0xA0, 0xEE}},         // right 11, keys BE 84 E1
        {11, {0x81, 0x42, 0x24}, {0x4A, 0x3F, 0xB4}},        // left 0, keys 90 7D CB
        {1, {0x81, 0x42, 0x24, 0x18}, {0x3C, 0x69, 0x80, 0x9D}}, // right 3, keys BE 84 E1 6C
        {3, {0x81, 0x42, 0x24, 0x18}, {0x31, 0x33, 0x01, 0x5F}}, // left 28, keys 4E 83 77 19
        {2, {0x81, 0x42, 0x24, 0x18}, {0x43, 0x6E, 0xA7, 0x9E}}, // right 0, keys 86 83 2C C2
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> bytes = c.in;
        MsRand rng(c.seed);
        DescrambleGroup(bytes.data(), bytes.size(), rng);
        EXPECT_EQ(bytes, c.out) << "seed " << c.seed << ", " << c.in.size() << " bytes";
        MsRand again(c.seed);
        ScrambleGroup(bytes.data(), bytes.size(), again);
        EXPECT_EQ(bytes, c.in) << "seed " << c.seed << ", " << c.in.size() << " bytes";
    }
}

TEST(Scramble, DescrambleBytesOfAFileStart)
{
    EXPECT_EQ(DescrambleBytes(std::string("[SUID]\r\n")), std::string("\x2c\xb3\x15\xb4\xc7\x8e\x12\x20"));
    EXPECT_EQ(DescrambleBytes(std::string()), std::string());
}

// Each group takes direction, amount and one key byte per byte, so a file of L bytes takes
// 6 * (L / 4) draws plus r + 2 for a last group of r bytes; the launcher's stream and ours must stay in step.
TEST(Scramble, DrawsPerFileAndGroupsFromTheFirstByte)
{
    const std::string data = "0123456789abcdef";
    for (size_t length = 0; length <= data.size(); ++length) {
        const size_t rest = length % 4;
        const size_t expectedDraws = 6 * (length / 4) + (rest != 0 ? rest + 2 : 0);

        std::string grouped = data.substr(0, length);
        MsRand rng(kSuidSeed);
        for (size_t pos = 0; pos < length; pos += 4)
            DescrambleGroup(reinterpret_cast<uint8_t *>(&grouped[pos]), std::min<size_t>(4, length - pos), rng);
        MsRand reference(kSuidSeed);
        for (size_t i = 0; i < expectedDraws; ++i)
            reference.Next();
        EXPECT_EQ(rng.Next(), reference.Next()) << length << " bytes";
        EXPECT_EQ(DescrambleBytes(data.substr(0, length)), grouped) << length << " bytes";
    }
}

TEST(Scramble, RoundTripsEveryLength)
{
    std::mt19937 gen(20091118);
    std::vector<std::string> inputs;
    for (size_t length = 0; length <= 16; ++length)
        inputs.emplace_back(length, '\0');
    inputs.emplace_back(100003, '\0');
    for (std::string &input : inputs) {
        for (char &c : input)
            c = static_cast<char>(gen());
        EXPECT_EQ(DescrambleBytes(ScrambleBytes(input)), input) << input.size() << " bytes";
        EXPECT_EQ(ScrambleBytes(DescrambleBytes(input)), input) << input.size() << " bytes";
        if (input.size() >= 4) {
            EXPECT_NE(ScrambleBytes(input), input) << input.size() << " bytes";
        }
    }
}

} // namespace
