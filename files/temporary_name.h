// Names of the temporary files that PublishFile writes beside a target:
// "<target name>.otp-<16 hexadecimal digits>.tmp". The random part keeps
// leftovers of earlier runs from ever blocking a save; the fixed parts let a
// later save recognise them as its own and clear them away.
#pragma once

#include <cstdint>
#include <string>

#include "random/bit_mix.h"

namespace temporary_name {

constexpr char kMarker[] = ".otp-";
constexpr char kSuffix[] = ".tmp";
constexpr std::size_t kRandomDigits = 16;
// A temporary left unwritten this long belongs to no running save.
constexpr long long kStaleAfterSeconds = 60;

// Different in every call, in every process: the process id, the clocks, a
// counter and a stack address. Each platform's file layer gives it.
std::uint64_t Entropy();

// Spreads the bits of `value` (pid, clock, counter) over all 64.
inline std::uint64_t Mix(std::uint64_t value) { return MixBits(value + 0x9E3779B97F4A7C15ull); }

// kRandomDigits lower-case hexadecimal digits drawn from `entropy`.
inline std::string RandomDigits(std::uint64_t entropy) {
  static const char kDigits[] = "0123456789abcdef";
  std::uint64_t random = Mix(entropy);
  std::string digits;
  for (std::size_t digit = 0; digit < kRandomDigits; ++digit, random >>= 4) digits += kDigits[random & 15];
  return digits;
}

// `targetName` and the result are UTF-8.
inline std::string For(const std::string& targetName, std::uint64_t entropy) {
  return targetName + kMarker + RandomDigits(entropy) + kSuffix;
}

// Whether `candidate` is `prefix`, kRandomDigits lower-case hexadecimal
// digits and `suffix`: the shape of the names drawn here.
inline bool IsDrawnName(const std::string& prefix, const std::string& suffix, const std::string& candidate) {
  if (candidate.size() != prefix.size() + kRandomDigits + suffix.size()) return false;
  if (candidate.compare(0, prefix.size(), prefix) != 0) return false;
  if (candidate.compare(candidate.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
  for (std::size_t at = prefix.size(); at < prefix.size() + kRandomDigits; ++at) {
    const char c = candidate[at];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Whether `candidate` is a name that For(targetName, ...) can give.
inline bool IsOneOf(const std::string& targetName, const std::string& candidate) {
  return IsDrawnName(targetName + kMarker, kSuffix, candidate);
}

}  // namespace temporary_name
