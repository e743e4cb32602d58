#include "text/base32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string Encode(const std::vector<std::uint8_t>& data) { return Base32Encode(data.data(), data.size()); }

TEST(Base32Test, EncodesTheRfc4648TestVectorsAndEveryBitOfAGroup) {
  EXPECT_EQ(Encode(Bytes("")), "");
  EXPECT_EQ(Encode(Bytes("f")), "MY======");
  EXPECT_EQ(Encode(Bytes("fo")), "MZXQ====");
  EXPECT_EQ(Encode(Bytes("foo")), "MZXW6===");
  EXPECT_EQ(Encode(Bytes("foob")), "MZXW6YQ=");
  EXPECT_EQ(Encode(Bytes("fooba")), "MZXW6YTB");
  EXPECT_EQ(Encode(Bytes("foobar")), "MZXW6YTBOI======");
  EXPECT_EQ(Encode({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}), "AAAQEAYEAUDA====");
  EXPECT_EQ(Encode({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "77777777");
}

TEST(Base32Test, EncodesTokenSeedLengths) {
  // The SHA-1 and SHA-256 secrets of the RFC 4226 and RFC 6238 test vectors.
  EXPECT_EQ(Encode(Bytes("12345678901234567890")), "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ");
  EXPECT_EQ(Encode(Bytes("12345678901234567890123456789012")),
            "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZA====");
  EXPECT_EQ(Base32EncodedLength(20), 32u);
  EXPECT_EQ(Base32EncodedLength(32), 56u);
}

TEST(Base32Test, PointerFormWritesOnlyTheEncodedCharacters) {
  for (std::size_t count : {0u, 1u, 5u, 6u, 32u}) {
    std::vector<std::uint8_t> data(count, 0xA5);
    const std::size_t encoded = Base32EncodedLength(count);
    std::string output(encoded + 8, '#');  // guard bytes after the encoding
    Base32Encode(data.data(), count, output.data());
    EXPECT_EQ(output.substr(0, encoded), Base32Encode(data.data(), count)) << count;
    EXPECT_EQ(output.substr(encoded), std::string(8, '#')) << count;
  }
}

}  // namespace
