#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "MsRand.h"

// The scrambled form of SUID.ini: groups of four bytes (the last one may be shorter), each rotated
// within its width and XORed with key bytes drawn from one MsRand stream per file.

constexpr uint32_t kSuidSeed = 7142;

// Undo the scrambling of one group of 1..4 bytes in place.
void DescrambleGroup(uint8_t *bytes, size_t count, MsRand &rng);
// The inverse of DescrambleGroup, for writing discs.
void ScrambleGroup(uint8_t *bytes, size_t count, MsRand &rng);

std::string DescrambleBytes(std::string_view data, uint32_t seed = kSuidSeed);
std::string ScrambleBytes(std::string_view data, uint32_t seed = kSuidSeed);
