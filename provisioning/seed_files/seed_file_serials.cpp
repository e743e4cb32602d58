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
  // The keys are spread evenly (MixBits), so one pass by their top bits puts
  // each among a few others, which a sort of each bucket then orders: two
  // passes over the keys where a byte-wise radix sort takes sixteen and a
  // comparison sort some twenty. Any spread stays correct; only its speed
  // depends on it. Up to 2^18 buckets (2 MiB of counts, for a few million
  // keys): fewer left 3 million keys 46 to a bucket, a third slower.
  unsigned bits = 1;
  while (bits < 18 && (keys_.size() >> (bits + 3)) != 0) ++bits;
  const unsigned shift = 64 - bits;
  std::vector<std::uint32_t> starts((std::size_t{1} << bits) + 1);
  for (const std::uint64_t key : keys_) ++starts[(key >> shift) + 1];
  for (std::size_t bucket = 1; bucket < starts.size(); ++bucket) starts[bucket] += starts[bucket - 1];
  std::vector<std::uint64_t> spread(keys_.size());
  std::vector<std::uint32_t> next(starts.begin(), starts.end() - 1);
  for (const std::uint64_t key : keys_) spread[next[key >> shift]++] = key;
  for (std::size_t bucket = 0; bucket + 1 < starts.size(); ++bucket) {
    std::sort(spread.begin() + starts[bucket], spread.begin() + starts[bucket + 1]);
  }
  keys_.swap(spread);
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
  return ReadCsvSeedRows(in, totp, codePage, [&](std::u16string_view serial, std::u16string_view) {
    // Nearly every serial is ASCII: the same bytes in UTF-8 and any code page.
    char ascii[64];
    std::size_t length = 0;
    while (length < serial.size() && length < sizeof ascii && serial[length] < 0x80) {
      ascii[length] = static_cast<char>(serial[length]);
      ++length;
    }
    if (length == serial.size()) {
      serials.Add(std::string_view(ascii, length));
      return;
    }
    const std::string utf8 = Utf8FromUtf16(serial);
    serials.Add(utf8);
    if (std::optional<std::string> narrow = NarrowText(std::u16string(serial).c_str(), codePage)) {
      if (*narrow != utf8) serials.Add(*narrow);
    }
  });
}
