#include "text/hex_text.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(HexText, TwoDigitsPerByteInEitherCase) {
  const std::uint8_t mixed[] = {0x00, 0x0F, 0xA5, 0xFF, 0x3c};
  EXPECT_EQ(HexText(mixed, sizeof mixed, true), "000FA5FF3C");
  EXPECT_EQ(HexText(mixed, sizeof mixed, false), "000fa5ff3c");

  const std::uint8_t seed[32] = {};
  EXPECT_EQ(HexText(seed, sizeof seed, true).size(), 64u);
  EXPECT_EQ(HexText(seed, 0, true), "");
}

}  // namespace
