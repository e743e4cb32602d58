#include "random/random_generation.h"

#include <random>

#include "random/secure_random_source.h"

namespace {

constexpr char kSerialPrefix[] = "0000";
constexpr std::size_t kSerialPrefixLength = sizeof(kSerialPrefix) - 1;
constexpr std::uint64_t kDigitChoices = 9;
// 2^32 mod 9: products whose low word is below this would make the lowest
// digits slightly more likely, so they are drawn again.
constexpr std::uint32_t kRejectBelow = 4;

char DrawDigit(std::mt19937& generator) {
  std::uint64_t product = 0;
  do {
    product = static_cast<std::uint64_t>(generator()) * kDigitChoices;
  } while (static_cast<std::uint32_t>(product) < kRejectBelow);
  return static_cast<char>('1' + (product >> 32));
}

}  // namespace

void GenerateSerialNumberFromSeed(char* buffer, std::uint32_t generatorSeed) {
  std::mt19937 generator(generatorSeed);
  for (std::size_t i = 0; i < kSerialPrefixLength; ++i) buffer[i] = kSerialPrefix[i];
  for (std::size_t i = kSerialPrefixLength; i < kSerialNumberLength; ++i) buffer[i] = DrawDigit(generator);
}

bool GenerateSerialNumberFrom(char* buffer, SecureRandomSource source) {
  std::uint8_t seedBytes[4] = {};
  if (!source(seedBytes, sizeof(seedBytes))) return false;
  const std::uint32_t seed = static_cast<std::uint32_t>(seedBytes[0]) | static_cast<std::uint32_t>(seedBytes[1]) << 8 |
                             static_cast<std::uint32_t>(seedBytes[2]) << 16 |
                             static_cast<std::uint32_t>(seedBytes[3]) << 24;
  GenerateSerialNumberFromSeed(buffer, seed);
  return true;
}

// Seed bytes are a secret: they come straight from the secure generator, not
// from an MT19937 whose 32-bit seed would leave only 2^32 possible secrets.
bool GenerateSeedBytesFrom(std::uint8_t* buffer, std::int32_t count, SecureRandomSource source) {
  if (count <= 0) return true;
  return source(buffer, static_cast<std::size_t>(count));
}

bool GenerateSerialNumber(char* buffer) { return GenerateSerialNumberFrom(buffer, FillSecureRandom); }

bool GenerateSeedBytes(std::uint8_t* buffer, std::int32_t count) {
  return GenerateSeedBytesFrom(buffer, count, FillSecureRandom);
}
