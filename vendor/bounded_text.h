// 8-bit text in fixed-size fields that the vendor library filled (a record's
// serial, the key's sn, an OTP): the text ends at the first NUL or at the end
// of the field, whichever comes first, so a missing terminator never leads
// past the field.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

inline std::size_t BoundedLength(const char* text, std::size_t capacity) {
  const void* terminator = std::memchr(text, '\0', capacity);
  return terminator ? static_cast<std::size_t>(static_cast<const char*>(terminator) - text) : capacity;
}

inline std::string TextWithin(const char* buffer, std::size_t capacity) {
  return std::string(buffer, BoundedLength(buffer, capacity));
}

template <std::size_t N>
std::string TextWithin(const char (&buffer)[N]) {
  return TextWithin(buffer, N);
}
