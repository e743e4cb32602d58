#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "virtualkey/otp_algorithms.h"

namespace {

const auto* Bytes(const char* text) { return reinterpret_cast<const std::uint8_t*>(text); }

constexpr char kSha1Seed[] = "12345678901234567890";
constexpr char kSha256Seed[] = "12345678901234567890123456789012";

TEST(Hotp, MatchesRfc4226AppendixDAlsoWithTheKeysZeroPaddedSeed) {
  const char* expected[] = {"755224", "287082", "359152", "969429", "338314",
                            "254676", "287922", "162583", "399871", "520489"};
  // The key keeps a 20-byte seed in a 64-byte field with zeros behind it.
  std::uint8_t padded[64] = {};
  std::memcpy(padded, kSha1Seed, 20);
  for (std::uint64_t counter = 0; counter < 10; ++counter) {
    EXPECT_EQ(ComputeHotp(HmacHash::Sha1, Bytes(kSha1Seed), 20, counter, 6), expected[counter]) << counter;
    EXPECT_EQ(ComputeHotp(HmacHash::Sha1, padded, sizeof padded, counter, 6), expected[counter]) << counter;
  }
  // Truncated value of counter 0 is 1284755224; digit counts stay within 1 to 9.
  EXPECT_EQ(ComputeHotp(HmacHash::Sha1, Bytes(kSha1Seed), 20, 0, 9), "284755224");
  EXPECT_FALSE(ComputeHotp(HmacHash::Sha1, Bytes(kSha1Seed), 20, 0, 0));
  EXPECT_FALSE(ComputeHotp(HmacHash::Sha1, Bytes(kSha1Seed), 20, 0, 10));
}

TEST(Totp, MatchesRfc6238AppendixBThroughTheChallenge) {
  struct Case {
    std::int64_t utc;
    const char* challenge;  // UTC + 8 h, as the tool sends it
    const char* sha1;
    const char* sha256;
  } cases[] = {
      // step 30, 8 digits
      {59, "1970-01-01 08:00:59", "94287082", "46119246"},
      {1111111109, "2005-03-18 09:58:29", "07081804", "68084774"},
      {1111111111, "2005-03-18 09:58:31", "14050471", "67062674"},
      {1234567890, "2009-02-14 07:31:30", "89005924", "91819424"},
      {2000000000, "2033-05-18 11:33:20", "69279037", "90698825"},
      {20000000000, "2603-10-11 19:33:20", "65353130", "77737706"},
  };
  for (const auto& c : cases) {
    const auto utc = ChallengeToUtcSeconds(c.challenge, std::strlen(c.challenge));
    ASSERT_TRUE(utc) << c.challenge;
    EXPECT_EQ(*utc, static_cast<std::uint64_t>(c.utc)) << c.challenge;
    const std::uint64_t counter = TotpCounter(*utc, 30);
    EXPECT_EQ(ComputeHotp(HmacHash::Sha1, Bytes(kSha1Seed), 20, counter, 8), c.sha1) << c.utc;
    EXPECT_EQ(ComputeHotp(HmacHash::Sha256, Bytes(kSha256Seed), 32, counter, 8), c.sha256) << c.utc;
  }
  EXPECT_EQ(TotpCounter(29, 30), 0u);
  EXPECT_EQ(TotpCounter(30, 30), 1u);
  EXPECT_EQ(TotpCounter(119, 60), 1u);
}

TEST(Challenge, ConvertsTheToolsClockTextToUtcAndRejectsAnythingElse) {
  // The tool's own example: 2024-01-01 00:00:00 UTC is sent as 08:00:00.
  EXPECT_EQ(ChallengeToUtcSeconds("2024-01-01 08:00:00", 19), 1704067200u);
  EXPECT_EQ(ChallengeToUtcSeconds("2024-01-01 07:59:59", 19), 1704067199u);
  EXPECT_EQ(ChallengeToUtcSeconds("2000-02-29 08:00:00", 19), 951782400u);

  const char* malformed[] = {
      "",                     // empty, as for HOTP
      "2024-01-01T08:00:00",  // wrong separator
      "2024-13-01 08:00:00",
      "2024-04-31 08:00:00",
      "2024-01-01 24:00:00",
      "2024-01-01 08:00:60",
      "2023-02-29 08:00:00",
      "1900-02-29 08:00:00",  // not leap years
      "+024-01-01 08:00:00",  // signs are not digits
      "1970-01-01 07:59:59",  // before 1970 once the eight hours are taken off
  };
  for (const char* text : malformed) {
    EXPECT_FALSE(ChallengeToUtcSeconds(text, std::strlen(text))) << "\"" << text << "\"";
  }
  const char text[] = "2024-01-01 08:00:00Z";
  EXPECT_FALSE(ChallengeToUtcSeconds(text, 20));
  EXPECT_FALSE(ChallengeToUtcSeconds(text, 18));
  EXPECT_FALSE(ChallengeToUtcSeconds(nullptr, 19));
  std::string withNul = "2024-01-01 08:00:00";
  withNul[17] = '\0';
  EXPECT_FALSE(ChallengeToUtcSeconds(withNul.data(), 19));
}

}  // namespace
