// A 64-bit digest of bytes given in pieces of any size: what tells whether a
// file still holds the bytes a decision was made on. Fast, not secret: it
// guards against edits, not against someone forging a collision, who could
// as well change the file after any check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "files/byte_source.h"
#include "random/bit_mix.h"

class ContentDigest {
 public:
  void Add(const void* data, std::size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    length_ += size;
    while (size > 0 && filled_ > 0) {
      pending_[filled_++] = *bytes++;
      --size;
      if (filled_ == 8) TakePending();
    }
    for (; size >= 8; bytes += 8, size -= 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, bytes, 8);
      Take(word);
    }
    for (; size > 0; --size) pending_[filled_++] = *bytes++;
  }

  // Every byte given counts, and their number: a cut or an extension differs.
  std::uint64_t Value() const {
    std::uint64_t word = 0;
    std::memcpy(&word, pending_, filled_);
    return MixBits(state_ ^ MixBits(word + filled_) ^ (length_ * 0x9E3779B97F4A7C15ull));
  }

 private:
  void Take(std::uint64_t word) { state_ = MixBits(state_ ^ word) + 0x632BE59BD9B4E019ull; }
  void TakePending() {
    std::uint64_t word = 0;
    std::memcpy(&word, pending_, 8);
    filled_ = 0;
    Take(word);
  }

  std::uint64_t state_ = 0x243F6A8885A308D3ull;
  std::uint64_t length_ = 0;
  unsigned char pending_[8] = {};
  std::size_t filled_ = 0;
};

// Passes a source's bytes through, digesting every one a reader takes.
class DigestingSource final : public ByteSource {
 public:
  explicit DigestingSource(ByteSource& inner) : inner_(inner) {}
  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override {
    const std::optional<std::size_t> got = inner_.Read(buffer, capacity);
    if (got) digest_.Add(buffer, *got);
    return got;
  }
  std::uint64_t Value() const { return digest_.Value(); }

 private:
  ByteSource& inner_;
  ContentDigest digest_;
};

// The digest of everything `in` holds from where it stands; nothing when a
// read failed.
inline std::optional<std::uint64_t> DigestOf(ByteSource& in) {
  ContentDigest digest;
  char block[1 << 16];
  for (;;) {
    const std::optional<std::size_t> got = in.Read(block, sizeof block);
    if (!got) return std::nullopt;
    if (*got == 0) return digest.Value();
    digest.Add(block, *got);
  }
}
