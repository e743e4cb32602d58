// Where a writer puts its bytes: a file being published, or a string in
// tests. Writers never learn which, so a test can make any write fail.
#pragma once

#include <cstddef>

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes every byte or fails; a sink that failed once fails from then on.
  virtual bool Write(const void* data, std::size_t size) = 0;
};
