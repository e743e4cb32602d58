// Spreading the bits of a 64-bit value over all 64, for names drawn from
// weak entropy and for keys of texts kept in memory.
#pragma once

#include <cstdint>

// SplitMix64's finaliser: every output bit depends on every input bit.
inline std::uint64_t MixBits(std::uint64_t value) {
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
  return value ^ (value >> 31);
}
