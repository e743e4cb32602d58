#include "provisioning/seed_files/seed_file_serials.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "provisioning/seed_files/csv_seed_rows.h"
#include "provisioning/seed_files/xml_seed_layout.h"
#include "provisioning/seed_files/xml_seed_text_reader.h"
#include "random/bit_mix.h"
#include "text/code_page.h"
#include "text/unicode_text.h"

namespace {

// 64-bit keys of texts: FNV-1a over their bytes, then mixed so that every
// bit depends on every byte.
constexpr std::uint64_t kKeyStart = 0xCBF29CE484222325ull;

std::uint64_t AddToKey(std::uint64_t key, unsigned char byte) { return (key ^ byte) * 0x100000001B3ull; }

}  // namespace

std::uint64_t SeedFileTokenKey(std::string_view serial, std::string_view seedHex) {
  // Both texts, the seed's digits in upper case.
  std::uint64_t key = kKeyStart;
  for (const char c : serial) key = AddToKey(key, static_cast<unsigned char>(c));
  key = AddToKey(key, 0);
  for (const char c : seedHex)
    key = AddToKey(key, static_cast<unsigned char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c));
  return MixBits(key);
}

bool ScanSeedFileTokens(ByteSource& in, SeedFileTokens& tokens) {
  tokens = SeedFileTokens{};
  std::optional<std::string> serial;
  // A text cut off by the end of the bytes is no token: its seed may be a part.
  const XmlSeedTextScan scan = ReadXmlSeedTexts(in, {kXmlSerialElement, kXmlSeedElement},
                                                [&](std::size_t name, std::string_view text, bool closed) {
                                                  if (!closed) return;
                                                  if (name == 0) {
                                                    serial = std::string(text);
                                                  } else if (serial) {
                                                    tokens.keys.push_back(SeedFileTokenKey(*serial, text));
                                                    serial.reset();
                                                  }
                                                });
  if (!scan.read) return false;
  tokens.complete = scan.endsWithRootClose;
  std::sort(tokens.keys.begin(), tokens.keys.end());
  tokens.keys.erase(std::unique(tokens.keys.begin(), tokens.keys.end()), tokens.keys.end());
  return true;
}

bool SeedFileTokens::Holds(std::uint64_t key) const { return std::binary_search(keys.begin(), keys.end(), key); }

bool SeedFileTokens::HoldsAllOf(const SeedFileTokens& other) const {
  return std::includes(keys.begin(), keys.end(), other.keys.begin(), other.keys.end());
}

std::uint64_t SerialSet::Key(std::string_view serial) {
  std::uint64_t key = kKeyStart;
  for (const char c : serial) key = AddToKey(key, static_cast<unsigned char>(c));
  return MixBits(key);
}

void SerialSet::Sort() const {
  // Least significant byte first: each pass reads and writes in order, where
  // a comparison sort or a hash table would jump about memory.
  std::vector<std::uint64_t> other(keys_.size());
  for (unsigned shift = 0; shift < 64; shift += 8) {
    std::size_t counts[257] = {};
    for (const std::uint64_t key : keys_) ++counts[((key >> shift) & 0xFF) + 1];
    for (std::size_t digit = 0; digit < 256; ++digit) counts[digit + 1] += counts[digit];
    for (const std::uint64_t key : keys_) other[counts[(key >> shift) & 0xFF]++] = key;
    keys_.swap(other);
  }
  sorted_ = true;
}

bool SerialSet::Contains(std::string_view serial) const {
  if (!sorted_) Sort();
  return std::binary_search(keys_.begin(), keys_.end(), Key(serial));
}

bool CollectSerials(ByteSource& in, SerialSet& serials) {
  // A file cut off inside a serial still has it taken.
  return ReadXmlSeedTexts(in, {kXmlSerialElement},
                          [&](std::size_t, std::string_view serial, bool) { serials.Add(serial); })
      .read;
}

bool CollectCsvSerials(ByteSource& in, bool totp, std::uint32_t codePage, SerialSet& serials) {
  std::string ascii;
  return ReadCsvSeedRows(in, totp, [&](std::u16string_view serial, std::u16string_view) {
    // Nearly every serial is ASCII: the same bytes in UTF-8 and any code page.
    ascii.clear();
    for (const char16_t unit : serial) {
      if (unit >= 0x80) break;
      ascii.push_back(static_cast<char>(unit));
    }
    if (ascii.size() == serial.size()) {
      serials.Add(ascii);
      return;
    }
    const std::string utf8 = Utf8FromUtf16(serial);
    serials.Add(utf8);
    if (std::optional<std::string> narrow = NarrowText(std::u16string(serial).c_str(), codePage)) {
      if (*narrow != utf8) serials.Add(*narrow);
    }
  });
}
