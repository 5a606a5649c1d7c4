#pragma once
// Lead bytes of double-byte code pages, as the platform reports them, for tests of narrow text read in one.
inline bool IsLeadByte932(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
inline bool IsLeadByte936(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}
