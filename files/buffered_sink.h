// A sink that gathers small writes into large ones, so that a writer handing
// over many small pieces costs few system calls. Stops at the first failure.
#pragma once

#include <cstddef>
#include <string>

#include "files/byte_sink.h"

class BufferedSink : public ByteSink {
 public:
  BufferedSink() { buffer_.reserve(kCapacity); }

  bool Write(const void* data, std::size_t size) final {
    if (failed_) return false;
    if (buffer_.size() + size > kCapacity && !Flush()) return false;
    if (size >= kCapacity) {
      failed_ = !WriteOut(data, size);
      return !failed_;
    }
    buffer_.append(static_cast<const char*>(data), size);
    return true;
  }

  // Hands what is gathered to the file; false once anything failed.
  bool Flush() {
    if (!failed_ && !buffer_.empty()) failed_ = !WriteOut(buffer_.data(), buffer_.size());
    buffer_.clear();
    return !failed_;
  }

  bool Failed() const { return failed_; }

 protected:
  // Writes every byte to the file or fails.
  virtual bool WriteOut(const void* data, std::size_t size) = 0;

 private:
  static constexpr std::size_t kCapacity = 1 << 16;
  std::string buffer_;
  bool failed_ = false;
};
