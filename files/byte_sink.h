// Where a writer puts its bytes: a file being published, or a string in
// tests. Writers never learn which, so a test can make any write fail.
#pragma once

#include <cstddef>
#include <string>

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes every byte or fails; a sink that failed once fails from then on.
  virtual bool Write(const void* data, std::size_t size) = 0;
};

// Keeps everything written, in memory.
class StringSink final : public ByteSink {
 public:
  bool Write(const void* data, std::size_t size) override {
    bytes.append(static_cast<const char*>(data), size);
    return true;
  }
  std::string bytes;
};
