// printf-style formatting of UTF-16 messages. The arguments are type-checked at
// compile time: %s takes UTF-16 text, integer conversions take integers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "text/message_text.h"

struct FormatArgument {
  enum class Kind { Signed, Unsigned, Text } kind;
  std::int64_t signedValue = 0;
  std::uint64_t unsignedValue = 0;
  std::u16string_view text;
  // Size in bytes of the integer as passed, so that %X of a negative int shows
  // its 32-bit two's complement and %d of a large unsigned int wraps, as in printf.
  std::size_t integerSize = sizeof(std::int64_t);

  template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
  FormatArgument(T value) : kind(Kind::Signed), signedValue(value), integerSize(sizeof(T)) {}
  template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_signed_v<T>, int> = 0>
  FormatArgument(T value) : kind(Kind::Unsigned), unsignedValue(value), integerSize(sizeof(T)) {}
  FormatArgument(const MessageText& value) : kind(Kind::Text), text(value) {}
  FormatArgument(std::u16string_view value) : kind(Kind::Text), text(value) {}
  FormatArgument(const char16_t* value)
      : kind(Kind::Text), text(value ? std::u16string_view(value) : std::u16string_view(u"(null)")) {}
};

// Replaces `out` with the filled-in format. Returns false (leaving `out` as it
// was) when the format is malformed, an argument is missing or of the wrong
// kind, or memory runs out.
bool FormatTextV(MessageText& out, std::u16string_view format, const FormatArgument* arguments, std::size_t count);

template <typename... Args>
bool FormatText(MessageText& out, std::u16string_view format, const Args&... args) {
  const FormatArgument arguments[] = {FormatArgument(args)..., FormatArgument(0)};
  return FormatTextV(out, format, arguments, sizeof...(Args));
}

// Convenience for building a message in one expression.
template <typename... Args>
MessageText Format(std::u16string_view format, const Args&... args) {
  MessageText out;
  FormatText(out, format, args...);
  return out;
}
