// Which serial numbers, and which serial and seed pairs, an XML seed file
// already holds, for drawing a serial that is new and for telling what a
// file holds. Read by the tolerant streaming reader (xml_seed_text_reader.h):
// any `<serial>` element's text counts, wherever it stands, so a foreign file
// can only make a serial look taken, never hide one the tool wrote.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "files/byte_source.h"

// Serial numbers as 64-bit keys: eight bytes each whatever their length, so a
// million of them fit a 32-bit process easily. Added in one run, then sorted
// once at the first lookup (which leaves no spare capacity) and looked up by
// halving.
class SerialSet {
 public:
  void Add(std::string_view serial) {
    keys_.push_back(Key(serial));
    sorted_ = false;
  }
  // Adds one serial to a set that may have been looked up already, in its
  // place, so that the next lookup need not sort them all again.
  void Insert(std::string_view serial) {
    if (!sorted_) return Add(serial);
    const std::uint64_t key = Key(serial);
    keys_.insert(std::lower_bound(keys_.begin(), keys_.end(), key), key);
  }
  // Sorts now what the first lookup would: for a reader ahead of time.
  void Prepare() const {
    if (!sorted_) Sort();
  }
  bool Contains(std::string_view serial) const;

 private:
  static std::uint64_t Key(std::string_view serial);
  void Sort() const;

  mutable std::vector<std::uint64_t> keys_;
  mutable bool sorted_ = true;
};

// Adds the text of every `serial` element in the bytes (references decoded)
// to `serials`, in one fast pass that looks only at serial tags. False when a
// read failed.
bool CollectSerials(ByteSource& in, SerialSet& serials);

// The tokens of an XML seed file as far as its bytes go: each `seed`
// element's text with the `serial` text before it, kept as a 64-bit key.
struct SeedFileTokens {
  std::vector<std::uint64_t> keys;  // sorted, each once
  bool complete = false;            // the file ends with its root's closing tag: a save finished writing it

  bool Holds(std::uint64_t key) const;
  bool HoldsAllOf(const SeedFileTokens& other) const;
};

std::uint64_t SeedFileTokenKey(std::string_view serial, std::string_view seedHex);

// Adds the serial of every row of a CSV seed file (csv_seed_rows.h) to
// `serials`, in UTF-8 and, when it differs, in `codePage`: an XML file holds
// its serials in one of the two. False when a read failed.
bool CollectCsvSerials(ByteSource& in, bool totp, std::uint32_t codePage, SerialSet& serials);

// Scans the bytes in constant memory but for the keys; false when a read failed.
bool ScanSeedFileTokens(ByteSource& in, SeedFileTokens& tokens);
