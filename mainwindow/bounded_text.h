// 8-bit text out of fixed-size buffers that another party filled (the vendor
// library): the text ends at the first NUL or at the end of the buffer,
// whichever comes first, so a missing terminator never leads past the buffer.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

inline std::string TextWithin(const char* buffer, std::size_t capacity) {
  const void* nul = std::memchr(buffer, '\0', capacity);
  const std::size_t length =
      nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer) : capacity;
  return std::string(buffer, length);
}

template <std::size_t N>
std::string TextWithin(const char (&buffer)[N]) {
  return TextWithin(buffer, N);
}
