#include "Scramble.h"

namespace {

struct GroupKey {
    bool rotateRight;
    unsigned amount;
    uint32_t key;
};

// The draws for one group, in the order the format fixes: direction, amount, then one key byte per
// group byte, the first drawn being the most significant.
GroupKey DrawGroupKey(size_t count, MsRand &rng)
{
    const unsigned width = static_cast<unsigned>(count) * 8;
    GroupKey k{};
    k.rotateRight = rng.Next() % 2 == 1;
    k.amount = static_cast<unsigned>(rng.Next()) % width;
    for (size_t i = 0; i < count; ++i)
        k.key = (k.key << 8) | static_cast<uint32_t>(rng.Next() % 256);
    return k;
}

uint32_t WidthMask(unsigned width) { return width == 32 ? 0xFFFFFFFFu : (1u << width) - 1; }

uint32_t RotateLeft(uint32_t w, unsigned s, unsigned width)
{
    if (s == 0)
        return w;
    return ((w << s) | (w >> (width - s))) & WidthMask(width);
}

uint32_t RotateRight(uint32_t w, unsigned s, unsigned width)
{
    if (s == 0)
        return w;
    return ((w >> s) | (w << (width - s))) & WidthMask(width);
}

uint32_t LoadLittleEndian(const uint8_t *bytes, size_t count)
{
    uint32_t w = 0;
    for (size_t i = count; i-- > 0;)
        w = (w << 8) | bytes[i];
    return w;
}

void StoreLittleEndian(uint32_t w, uint8_t *bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i, w >>= 8)
        bytes[i] = static_cast<uint8_t>(w & 0xFF);
}

std::string TransformAll(std::string_view data, uint32_t seed, void (*group)(uint8_t *, size_t, MsRand &))
{
    MsRand rng(seed);
    std::string out(data);
    for (size_t pos = 0; pos < out.size(); pos += 4) {
        const size_t count = out.size() - pos < 4 ? out.size() - pos : 4;
        group(reinterpret_cast<uint8_t *>(&out[pos]), count, rng);
    }
    return out;
}

} // namespace

void DescrambleGroup(uint8_t *bytes, size_t count, MsRand &rng)
{
    const unsigned width = static_cast<unsigned>(count) * 8;
    const GroupKey k = DrawGroupKey(count, rng);
    uint32_t w = LoadLittleEndian(bytes, count);
    w = k.rotateRight ? RotateRight(w, k.amount, width) : RotateLeft(w, k.amount, width);
    StoreLittleEndian(w ^ k.key, bytes, count);
}

void ScrambleGroup(uint8_t *bytes, size_t count, MsRand &rng)
{
    const unsigned width = static_cast<unsigned>(count) * 8;
    const GroupKey k = DrawGroupKey(count, rng);
    uint32_t w = LoadLittleEndian(bytes, count) ^ k.key;
    w = k.rotateRight ? RotateLeft(w, k.amount, width) : RotateRight(w, k.amount, width);
    StoreLittleEndian(w, bytes, count);
}

std::string DescrambleBytes(std::string_view data, uint32_t seed) { return TransformAll(data, seed, DescrambleGroup); }

std::string ScrambleBytes(std::string_view data, uint32_t seed) { return TransformAll(data, seed, ScrambleGroup); }
