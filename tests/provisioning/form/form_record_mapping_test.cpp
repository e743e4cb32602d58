// From the form's state to the key's record and the seed export entry.
#include <gtest/gtest.h>

#include <cstring>

#include "provisioning/form/seed_hex.h"
#include "provisioning/form/token_record_mapping.h"

namespace {

NewTokenFormState StateWithSeed() {
  NewTokenFormState state;
  for (std::size_t i = 0; i < kMaxSeedLength; ++i) state.seedBytes[i] = static_cast<std::uint8_t>(0x40 + i);
  return state;
}

void ExpectZeroFrom(const std::uint8_t* bytes, std::size_t from, std::size_t size) {
  for (std::size_t i = from; i < size; ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;
}

TEST(BuildTokenRecord, HotpWithDefaultChoices) {
  NewTokenFormState state = StateWithSeed();
  state.algorithmChoice = 0;
  state.hashChoice = 0;
  state.digitsChoice = 0;
  state.intervalChoice = 1;
  const TokenRecord record = BuildTokenRecord(state);
  EXPECT_EQ(record.reserved, 0u);
  EXPECT_EQ(record.type, 0x10u);
  EXPECT_EQ(record.hashAlgorithm, 1u);
  EXPECT_EQ(record.digits, 6u);
  EXPECT_EQ(record.timeStep, 60u);
  EXPECT_EQ(0, std::memcmp(record.seed, state.seedBytes, 20));
  ExpectZeroFrom(record.seed, 20, sizeof record.seed);
}

TEST(BuildTokenRecord, TotpSha256EightDigitsThirtySeconds) {
  NewTokenFormState state = StateWithSeed();
  state.algorithmChoice = 1;
  state.hashChoice = 1;
  state.digitsChoice = 1;
  state.intervalChoice = 0;
  const TokenRecord record = BuildTokenRecord(state);
  EXPECT_EQ(record.type, 0x20u);
  EXPECT_EQ(record.hashAlgorithm, 2u);
  EXPECT_EQ(record.digits, 8u);
  EXPECT_EQ(record.timeStep, 30u);
  EXPECT_EQ(0, std::memcmp(record.seed, state.seedBytes, 32));
  ExpectZeroFrom(record.seed, 32, sizeof record.seed);
}

TEST(BuildTokenRecord, ChoicesOutsideZeroAndOneKeepTheStartingValues) {
  for (std::int32_t choice : {-1, 2, 1000}) {
    NewTokenFormState state = StateWithSeed();
    state.algorithmChoice = state.hashChoice = state.digitsChoice = state.intervalChoice = choice;
    const TokenRecord record = BuildTokenRecord(state);
    EXPECT_EQ(record.type, 0x10u) << choice;
    EXPECT_EQ(record.hashAlgorithm, 1u) << choice;
    EXPECT_EQ(record.digits, 6u) << choice;
    EXPECT_EQ(record.timeStep, 60u) << choice;
    ExpectZeroFrom(record.seed, 20, sizeof record.seed);
  }
}

TEST(BuildTokenRecord, IntervalReachesHotpRecordsToo) {
  NewTokenFormState state;
  state.algorithmChoice = 0;
  state.intervalChoice = 0;
  EXPECT_EQ(BuildTokenRecord(state).timeStep, 30u);
}

TEST(BuildTokenRecord, SerialBytesAreFollowedByZeros) {
  NewTokenFormState state;
  std::memcpy(state.serialAnsi, "0000123456789", 14);
  const TokenRecord record = BuildTokenRecord(state);
  EXPECT_EQ(0, std::memcmp(record.serial, "0000123456789", 13));
  ExpectZeroFrom(reinterpret_cast<const std::uint8_t*>(record.serial), 13, sizeof record.serial);
}

TEST(BuildTokenRecord, UnterminatedSerialStopsAt63Bytes) {
  NewTokenFormState state;
  std::memset(state.serialAnsi, 'x', sizeof state.serialAnsi);
  const TokenRecord record = BuildTokenRecord(state);
  EXPECT_EQ(std::string(record.serial, 63), std::string(63, 'x'));
  EXPECT_EQ(record.serial[63], '\0');
}

TEST(BuildExportedToken, CarriesTheRecordsTokenAndTheUserName) {
  NewTokenFormState state = StateWithSeed();
  state.algorithmChoice = 1;
  state.hashChoice = 1;
  state.digitsChoice = 1;
  state.intervalChoice = 0;
  std::memcpy(state.serialAnsi, "SN-1", 5);
  const ExportedToken token = BuildExportedToken(BuildTokenRecord(state), u"carol");
  EXPECT_TRUE(token.totp);
  EXPECT_TRUE(token.sha256);
  EXPECT_EQ(token.digits, 8u);
  EXPECT_EQ(token.interval, 30u);
  EXPECT_EQ(token.serial, "SN-1");
  EXPECT_EQ(token.userName, u"carol");
  EXPECT_EQ(token.seed, std::vector<std::uint8_t>(state.seedBytes, state.seedBytes + 32));

  state.algorithmChoice = state.hashChoice = 0;
  const ExportedToken hotp = BuildExportedToken(BuildTokenRecord(state), u"");
  EXPECT_FALSE(hotp.totp);
  EXPECT_FALSE(hotp.sha256);
  EXPECT_EQ(hotp.seed.size(), 20u);
}

TEST(FormatSeedHex, WritesUpperCaseDigitsAndATerminator) {
  const std::uint8_t seed[] = {0x00, 0x0F, 0xA5, 0xFF, 0x3c};
  char text[16];
  std::memset(text, '#', sizeof text);
  ASSERT_TRUE(FormatSeedHex(seed, sizeof seed, text, sizeof text));
  EXPECT_STREQ(text, "000FA5FF3C");
}

TEST(FormatSeedHex, RefusesABufferTooSmallAndLeavesItAlone) {
  std::uint8_t seed[32] = {};
  char text[65];
  std::memset(text, '#', sizeof text);
  EXPECT_FALSE(FormatSeedHex(seed, 32, text, 64));
  EXPECT_EQ(text[0], '#');
  EXPECT_EQ(text[63], '#');
  EXPECT_TRUE(FormatSeedHex(seed, 32, text, 65));
  EXPECT_EQ(std::strlen(text), 64u);
  EXPECT_FALSE(FormatSeedHex(seed, 0, text, 0));
}

}  // namespace
