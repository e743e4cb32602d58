#include "text/base32.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
constexpr std::size_t kGroupBytes = 5;
constexpr std::size_t kGroupChars = 8;

// Characters a final group of 0..5 bytes produces before its padding.
constexpr std::size_t kCharsForBytes[] = {0, 2, 4, 5, 7, 8};

}  // namespace

void Base32Encode(const std::uint8_t* data, std::size_t count, char* output) {
  for (std::size_t offset = 0; offset < count; offset += kGroupBytes) {
    const std::size_t groupBytes = count - offset < kGroupBytes ? count - offset : kGroupBytes;

    // The group as a 40-bit big-endian number; missing bytes count as zero.
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < kGroupBytes; ++i) {
      bits = (bits << 8) | (i < groupBytes ? data[offset + i] : 0u);
    }

    const std::size_t used = kCharsForBytes[groupBytes];
    for (std::size_t i = 0; i < kGroupChars; ++i) {
      *output++ = i < used ? kAlphabet[(bits >> (35 - 5 * i)) & 0x1F] : '=';
    }
  }
}

std::string Base32Encode(const std::uint8_t* data, std::size_t count) {
  std::string encoded(Base32EncodedLength(count), '\0');
  if (count != 0) Base32Encode(data, count, encoded.data());
  return encoded;
}
