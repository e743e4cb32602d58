// Length of 8-bit text in a fixed field that may lack its terminator.
#pragma once

#include <cstddef>
#include <cstring>

inline std::size_t BoundedLength(const char* text, std::size_t capacity) {
  const void* terminator = std::memchr(text, '\0', capacity);
  return terminator ? static_cast<std::size_t>(static_cast<const char*>(terminator) - text)
                    : capacity;
}
