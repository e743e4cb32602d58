// From the form's state to the key's record and the seed export entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "provisioning/form/token_record_mapping.h"

namespace {

NewTokenFormState StateWithSeed() {
  NewTokenFormState state;
  for (std::size_t i = 0; i < kMaxSeedLength; ++i) state.seedBytes[i] = static_cast<std::uint8_t>(0x40 + i);
  return state;
}

bool ZeroFrom(const void* data, std::size_t from, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return std::all_of(bytes + from, bytes + size, [](std::uint8_t b) { return b == 0; });
}

TEST(BuildTokenRecord, MapsEveryChoiceAndCopiesOnlyTheSeedOfTheHash) {
  struct Case {
    std::int32_t algorithm, hash, digits, interval;
    std::uint32_t type, hashAlgorithm, digitCount, timeStep;
    std::size_t seedLength;
  } cases[] = {
      {0, 0, 0, 1, 0x10, 1, 6, 60, 20},
      {1, 1, 1, 0, 0x20, 2, 8, 30, 32},
      {0, 0, 0, 0, 0x10, 1, 6, 30, 20},  // the interval reaches HOTP records too
      // Choices outside 0 and 1 keep the starting values.
      {-1, -1, -1, -1, 0x10, 1, 6, 60, 20},
      {2, 2, 2, 2, 0x10, 1, 6, 60, 20},
      {1000, 1000, 1000, 1000, 0x10, 1, 6, 60, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.algorithm << "/" << c.hash << "/" << c.digits << "/" << c.interval);
    NewTokenFormState state = StateWithSeed();
    state.algorithmChoice = c.algorithm;
    state.hashChoice = c.hash;
    state.digitsChoice = c.digits;
    state.intervalChoice = c.interval;
    const TokenRecord record = BuildTokenRecord(state);
    EXPECT_EQ(std::vector<std::uint32_t>(
                  {record.type, record.hashAlgorithm, record.digits, record.timeStep, record.reserved}),
              std::vector<std::uint32_t>({c.type, c.hashAlgorithm, c.digitCount, c.timeStep, 0}));
    EXPECT_EQ(0, std::memcmp(record.seed, state.seedBytes, c.seedLength));
    EXPECT_TRUE(ZeroFrom(record.seed, c.seedLength, sizeof record.seed));
  }
}

TEST(BuildTokenRecord, SerialIsFollowedByZerosAndAnUnterminatedOneStopsAt63Bytes) {
  NewTokenFormState state;
  std::memcpy(state.serialAnsi, "0000123456789", 14);
  TokenRecord record = BuildTokenRecord(state);
  EXPECT_STREQ(record.serial, "0000123456789");
  EXPECT_TRUE(ZeroFrom(record.serial, 13, sizeof record.serial));

  std::memset(state.serialAnsi, 'x', sizeof state.serialAnsi);
  record = BuildTokenRecord(state);
  EXPECT_EQ(std::string(record.serial, 63), std::string(63, 'x'));
  EXPECT_EQ(record.serial[63], '\0');
}

TEST(BuildExportedToken, CarriesTheRecordsTokenAndTheUserName) {
  NewTokenFormState state = StateWithSeed();
  state.algorithmChoice = state.hashChoice = state.digitsChoice = 1;
  state.intervalChoice = 0;
  std::memcpy(state.serialAnsi, "SN-1", 5);
  const ExportedToken token = BuildExportedToken(BuildTokenRecord(state), u"carol");
  EXPECT_TRUE(token.totp && token.sha256 && token.digits == 8 && token.interval == 30);
  EXPECT_EQ(token.serial, "SN-1");
  EXPECT_EQ(token.userName, u"carol");
  EXPECT_EQ(token.seed, std::vector<std::uint8_t>(state.seedBytes, state.seedBytes + 32));

  state.algorithmChoice = state.hashChoice = 0;
  const ExportedToken hotp = BuildExportedToken(BuildTokenRecord(state), u"");
  EXPECT_FALSE(hotp.totp);
  EXPECT_FALSE(hotp.sha256);
  EXPECT_EQ(hotp.seed.size(), 20u);
}

}  // namespace
