#include "random/random_generation.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "random/secure_random_source.h"

namespace {

constexpr char kGuard = '#';
constexpr std::uint8_t kGuardByte = 0x5A;

bool FailingSource(std::uint8_t*, std::size_t) { return false; }

// Hands out 5489, MT19937's reference seed, as the little-endian seed word.
bool ReferenceSeedSource(std::uint8_t* buffer, std::size_t count) {
  const std::uint8_t seed[4] = {0x71, 0x15, 0x00, 0x00};
  if (count != sizeof(seed)) return false;
  std::memcpy(buffer, seed, sizeof(seed));
  return true;
}

bool CountingSource(std::uint8_t* buffer, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) buffer[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return true;
}

double ChiSquare(const int* counts, std::size_t bins, double total) {
  const double expected = total / static_cast<double>(bins);
  double sum = 0;
  for (std::size_t i = 0; i < bins; ++i) sum += (counts[i] - expected) * (counts[i] - expected) / expected;
  return sum;
}

TEST(MersenneTwisterTest, MatchesThePublishedReferenceOutputs) {
  std::mt19937 defaultSeeded;
  defaultSeeded.discard(9999);
  EXPECT_EQ(defaultSeeded(), 4123659995u);
  std::mt19937 referenceSeeded(5489);
  EXPECT_EQ(referenceSeeded(), 3499211612u);
}

TEST(SerialNumberTest, ReferenceSeedGivesTheKnownSerialWithoutWritingPastIt) {
  char buffer[kSerialNumberLength + 1];
  std::memset(buffer, kGuard, sizeof buffer);
  GenerateSerialNumberFromSeed(buffer, 5489);
  EXPECT_EQ(std::string(buffer, sizeof buffer), "0000829829926#");

  // The generator's seed is the secure source's word.
  std::memset(buffer, kGuard, sizeof buffer);
  ASSERT_TRUE(GenerateSerialNumberFrom(buffer, ReferenceSeedSource));
  EXPECT_EQ(std::string(buffer, sizeof buffer), "0000829829926#");
}

TEST(SerialNumberTest, FailedSecureSourceWritesNothing) {
  char buffer[kSerialNumberLength + 1];
  std::memset(buffer, kGuard, sizeof buffer);
  EXPECT_FALSE(GenerateSerialNumberFrom(buffer, FailingSource));
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, kGuard));
}

// Each of the nine digits must be equally likely in every position. With
// 20,000 serials a position's chi-square statistic has 8 degrees of freedom;
// a fair generator exceeds 50 with probability about 4e-8 per position
// (under 4e-7 for the whole test), while a missing or doubled digit pushes it
// into the thousands.
TEST(SerialNumberTest, DigitsAreUniformInEveryPositionAndNothingIsWrittenPastThem) {
  constexpr int kSerials = 20000;
  std::array<std::array<int, 9>, 9> counts{};
  std::string previous;
  for (int n = 0; n < kSerials; ++n) {
    char buffer[kSerialNumberLength + 1];
    buffer[kSerialNumberLength] = kGuard;
    ASSERT_TRUE(GenerateSerialNumber(buffer));
    const std::string serial(buffer, sizeof buffer);
    ASSERT_EQ(serial.substr(0, 4), "0000");
    ASSERT_EQ(serial.back(), kGuard);
    ASSERT_NE(serial, previous);  // equal by chance with probability 9^-9
    for (std::size_t position = 4; position < kSerialNumberLength; ++position) {
      ASSERT_TRUE(serial[position] >= '1' && serial[position] <= '9') << serial;
      ++counts[position - 4][serial[position] - '1'];
    }
    previous = serial;
  }
  for (std::size_t position = 0; position < counts.size(); ++position) {
    EXPECT_LT(ChiSquare(counts[position].data(), 9, kSerials), 50.0) << "position " << position + 4;
  }
}

TEST(SeedBytesTest, WritesExactlyTheRequestedCountAndNothingForZeroOrLess) {
  std::vector<std::uint8_t> previous;
  for (std::int32_t count : {20, 32, 32, 0, -1, INT32_MIN}) {
    const std::size_t written = count > 0 ? static_cast<std::size_t>(count) : 0;
    std::vector<std::uint8_t> buffer(written + 8, kGuardByte);
    ASSERT_TRUE(GenerateSeedBytes(buffer.data(), count));
    const std::vector<std::uint8_t> seed(buffer.begin(), buffer.begin() + written);
    if (written > 0) {
      EXPECT_NE(seed, previous) << "successive seeds differ";
    }
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin() + written, buffer.end()),
              std::vector<std::uint8_t>(8, kGuardByte))
        << count;
    previous = seed;
  }
}

// A seed is a secret: every byte must come from the secure source itself,
// not from a generator with a 32-bit seed.
TEST(SeedBytesTest, BytesComeStraightFromTheSecureSource) {
  std::uint8_t seed[32] = {};
  ASSERT_TRUE(GenerateSeedBytesFrom(seed, 32, CountingSource));
  for (std::size_t i = 0; i < sizeof seed; ++i) EXPECT_EQ(seed[i], static_cast<std::uint8_t>(i * 7 + 1));
  EXPECT_FALSE(GenerateSeedBytesFrom(seed, 32, FailingSource));
}

// 256 KiB, well past any single-call limit of the system source: chi-square
// over the 256 byte values has 255 degrees of freedom; a fair source exceeds
// 400 with probability about 2e-8.
TEST(SeedBytesTest, LargeRequestsAreUniform) {
  constexpr std::int32_t kCount = 256 * 1024;
  std::vector<std::uint8_t> bytes(kCount);
  ASSERT_TRUE(GenerateSeedBytes(bytes.data(), kCount));
  std::array<int, 256> counts{};
  for (std::uint8_t byte : bytes) ++counts[byte];
  EXPECT_LT(ChiSquare(counts.data(), counts.size(), kCount), 400.0);
}

}  // namespace
