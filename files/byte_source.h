// Where a reader takes its bytes from, a block at a time: a file being read,
// or a string in tests. Readers never learn which, so a test can cut the
// bytes into any blocks or make a read fail.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills up to `capacity` bytes and returns how many; 0 at the end.
  // Nothing on failure (the source keeps why).
  virtual std::optional<std::size_t> Read(void* buffer, std::size_t capacity) = 0;
};

// Hands out a string in blocks of at most `blockSize` bytes.
class StringSource final : public ByteSource {
 public:
  explicit StringSource(std::string bytes, std::size_t blockSize = 1 << 16)
      : bytes_(std::move(bytes)), blockSize_(std::max<std::size_t>(blockSize, 1)) {}
  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override {
    const std::size_t count = std::min({capacity, blockSize_, bytes_.size() - offset_});
    std::memcpy(buffer, bytes_.data() + offset_, count);
    offset_ += count;
    return count;
  }

 private:
  std::string bytes_;
  std::size_t blockSize_;
  std::size_t offset_ = 0;
};
