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

void ExpectWellFormedSerial(const char* serial) {
  const std::string text(serial, kSerialNumberLength);
  EXPECT_EQ(text.substr(0, 4), "0000") << text;
  for (std::size_t i = 4; i < kSerialNumberLength; ++i) {
    EXPECT_TRUE(text[i] >= '1' && text[i] <= '9') << text;
  }
}

TEST(MersenneTwisterTest, MatchesThePublishedReferenceOutputs) {
  std::mt19937 defaultSeeded;
  defaultSeeded.discard(9999);
  EXPECT_EQ(defaultSeeded(), 4123659995u);
  std::mt19937 referenceSeeded(5489);
  EXPECT_EQ(referenceSeeded(), 3499211612u);
}

TEST(SerialNumberTest, ReferenceSeedGivesTheKnownSerial) {
  char buffer[kSerialNumberLength + 1];
  std::memset(buffer, kGuard, sizeof buffer);
  GenerateSerialNumberFromSeed(buffer, 5489);
  EXPECT_EQ(std::string(buffer, kSerialNumberLength), "0000829829926");
  EXPECT_EQ(buffer[kSerialNumberLength], kGuard);
}

TEST(SerialNumberTest, GeneratorSeedIsTheSecureSourcesWord) {
  char buffer[kSerialNumberLength + 1] = {};
  ASSERT_TRUE(GenerateSerialNumberFrom(buffer, ReferenceSeedSource));
  EXPECT_STREQ(buffer, "0000829829926");
}

TEST(SerialNumberTest, FailedSecureSourceWritesNothing) {
  char buffer[kSerialNumberLength + 1];
  std::memset(buffer, kGuard, sizeof buffer);
  EXPECT_FALSE(GenerateSerialNumberFrom(buffer, FailingSource));
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, kGuard));
}

TEST(SerialNumberTest, WritesExactlyThirteenCharacters) {
  char buffer[kSerialNumberLength + 2];
  std::memset(buffer, kGuard, sizeof buffer);
  ASSERT_TRUE(GenerateSerialNumber(buffer));
  ExpectWellFormedSerial(buffer);
  EXPECT_EQ(buffer[kSerialNumberLength], kGuard);
  EXPECT_EQ(buffer[kSerialNumberLength + 1], kGuard);
}

// Each of the nine digits must be equally likely in every position. With
// 20,000 serials a position's chi-square statistic has 8 degrees of freedom;
// a fair generator exceeds 50 with probability about 4e-8 per position
// (under 4e-7 for the whole test), while a missing or doubled digit pushes it
// into the thousands.
TEST(SerialNumberTest, DigitsAreUniformInEveryPosition) {
  constexpr int kSerials = 20000;
  constexpr double kChiSquareLimit = 50.0;
  std::array<std::array<int, 9>, 9> counts{};
  std::vector<std::string> seen;
  for (int n = 0; n < kSerials; ++n) {
    char buffer[kSerialNumberLength + 1] = {};
    ASSERT_TRUE(GenerateSerialNumber(buffer));
    ASSERT_EQ(std::string(buffer, 4), "0000");
    for (std::size_t position = 4; position < kSerialNumberLength; ++position) {
      const char digit = buffer[position];
      ASSERT_TRUE(digit >= '1' && digit <= '9') << buffer;
      ++counts[position - 4][digit - '1'];
    }
  }
  const double expected = kSerials / 9.0;
  for (std::size_t position = 0; position < counts.size(); ++position) {
    double chiSquare = 0;
    for (int count : counts[position]) chiSquare += (count - expected) * (count - expected) / expected;
    EXPECT_LT(chiSquare, kChiSquareLimit) << "position " << position + 4;
  }
}

TEST(SerialNumberTest, SuccessiveCallsDiffer) {
  char first[kSerialNumberLength + 1] = {};
  char second[kSerialNumberLength + 1] = {};
  ASSERT_TRUE(GenerateSerialNumber(first));
  ASSERT_TRUE(GenerateSerialNumber(second));
  EXPECT_STRNE(first, second);  // equal by chance with probability 9^-9
}

TEST(SeedBytesTest, WritesExactlyTheRequestedCount) {
  for (std::int32_t count : {20, 32}) {
    std::vector<std::uint8_t> buffer(count + 8, kGuardByte);
    ASSERT_TRUE(GenerateSeedBytes(buffer.data(), count));
    EXPECT_NE(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + count),
              std::vector<std::uint8_t>(count, kGuardByte));
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin() + count, buffer.end()),
              std::vector<std::uint8_t>(8, kGuardByte))
        << count;
  }
}

TEST(SeedBytesTest, ZeroOrNegativeCountWritesNothing) {
  for (std::int32_t count : {0, -1, -32, INT32_MIN}) {
    std::vector<std::uint8_t> buffer(8, kGuardByte);
    EXPECT_TRUE(GenerateSeedBytes(buffer.data(), count));
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, kGuardByte)) << count;
  }
}

TEST(SeedBytesTest, SuccessiveCallsDiffer) {
  std::uint8_t first[32];
  std::uint8_t second[32];
  ASSERT_TRUE(GenerateSeedBytes(first, 32));
  ASSERT_TRUE(GenerateSeedBytes(second, 32));
  EXPECT_NE(std::memcmp(first, second, sizeof first), 0);
}

// A seed is a secret: every byte must come from the secure source itself,
// not from a generator with a 32-bit seed.
TEST(SeedBytesTest, BytesComeStraightFromTheSecureSource) {
  std::uint8_t seed[32] = {};
  ASSERT_TRUE(GenerateSeedBytesFrom(seed, 32, CountingSource));
  for (std::size_t i = 0; i < sizeof seed; ++i) EXPECT_EQ(seed[i], static_cast<std::uint8_t>(i * 7 + 1));
  EXPECT_FALSE(GenerateSeedBytesFrom(seed, 32, FailingSource));
}

// 256 KiB of seed bytes: chi-square over the 256 byte values has 255 degrees
// of freedom; a fair source exceeds 400 with probability about 2e-8.
TEST(SeedBytesTest, LargeRequestsAreUniform) {
  constexpr std::int32_t kCount = 256 * 1024;
  std::vector<std::uint8_t> bytes(kCount);
  ASSERT_TRUE(GenerateSeedBytes(bytes.data(), kCount));
  std::array<int, 256> counts{};
  for (std::uint8_t byte : bytes) ++counts[byte];
  const double expected = kCount / 256.0;
  double chiSquare = 0;
  for (int count : counts) chiSquare += (count - expected) * (count - expected) / expected;
  EXPECT_LT(chiSquare, 400.0);
}

}  // namespace
