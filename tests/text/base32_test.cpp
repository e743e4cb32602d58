#include "text/base32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string Encode(const std::vector<std::uint8_t>& data) { return Base32Encode(data.data(), data.size()); }

TEST(Base32Test, EncodesTheRfc4648TestVectors) {
  EXPECT_EQ(Encode(Bytes("")), "");
  EXPECT_EQ(Encode(Bytes("f")), "MY======");
  EXPECT_EQ(Encode(Bytes("fo")), "MZXQ====");
  EXPECT_EQ(Encode(Bytes("foo")), "MZXW6===");
  EXPECT_EQ(Encode(Bytes("foob")), "MZXW6YQ=");
  EXPECT_EQ(Encode(Bytes("fooba")), "MZXW6YTB");
  EXPECT_EQ(Encode(Bytes("foobar")), "MZXW6YTBOI======");
}

TEST(Base32Test, EncodesTokenSeedLengths) {
  // The SHA-1 and SHA-256 secrets of the RFC 4226 and RFC 6238 test vectors.
  const std::string sha1Seed = Encode(Bytes("12345678901234567890"));
  EXPECT_EQ(sha1Seed, "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ");
  EXPECT_EQ(sha1Seed.size(), 32u);
  EXPECT_EQ(sha1Seed.find('='), std::string::npos);

  const std::string sha256Seed = Encode(Bytes("12345678901234567890123456789012"));
  EXPECT_EQ(sha256Seed, "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZA====");
  EXPECT_EQ(sha256Seed.size(), 56u);
  EXPECT_EQ(sha256Seed.find('='), 52u);
}

TEST(Base32Test, OneByteGivesTwoCharactersAndSixPads) {
  EXPECT_EQ(Encode({0xFF}), "74======");
  EXPECT_EQ(Encode({0x00}), "AA======");
}

TEST(Base32Test, UsesEveryBitOfEachGroup) {
  EXPECT_EQ(Encode({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}), "AAAQEAYEAUDA====");
  EXPECT_EQ(Encode({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "77777777");
}

TEST(Base32Test, EncodedLengthRoundsUpToWholeGroups) {
  EXPECT_EQ(Base32EncodedLength(0), 0u);
  EXPECT_EQ(Base32EncodedLength(1), 8u);
  EXPECT_EQ(Base32EncodedLength(5), 8u);
  EXPECT_EQ(Base32EncodedLength(6), 16u);
  EXPECT_EQ(Base32EncodedLength(20), 32u);
  EXPECT_EQ(Base32EncodedLength(32), 56u);
}

TEST(Base32Test, PointerFormWritesOnlyTheEncodedCharacters) {
  for (std::size_t count : {0u, 1u, 4u, 5u, 20u, 32u}) {
    std::vector<std::uint8_t> data(count, 0xA5);
    const std::size_t encoded = Base32EncodedLength(count);
    std::string output(encoded + 8, '#');  // guard bytes after the encoding
    Base32Encode(data.data(), count, output.data());
    EXPECT_EQ(output.substr(0, encoded), Base32Encode(data.data(), count)) << count;
    EXPECT_EQ(output.substr(encoded), std::string(8, '#')) << "count " << count;
  }
}

}  // namespace
