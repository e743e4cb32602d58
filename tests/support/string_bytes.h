// A string as the file layer's byte sink and source, so that a writer or a
// reader runs without a file: the source cuts the bytes into any blocks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>

#include "files/byte_sink.h"
#include "files/byte_source.h"

// Keeps everything written, in memory.
class StringSink final : public ByteSink {
 public:
  bool Write(const void* data, std::size_t size) override {
    bytes.append(static_cast<const char*>(data), size);
    return true;
  }
  std::string bytes;
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
