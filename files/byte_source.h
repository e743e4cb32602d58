// Where a reader takes its bytes from, a block at a time: a file being read,
// or a string in tests. Readers never learn which, so a test can cut the
// bytes into any blocks or make a read fail.
#pragma once

#include <cstddef>
#include <optional>

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills up to `capacity` bytes and returns how many; 0 at the end.
  // Nothing on failure (the source keeps why).
  virtual std::optional<std::size_t> Read(void* buffer, std::size_t capacity) = 0;
};
