// The text forms a token takes in the seed export files that are about the
// files themselves; the encodings are text/'s (text/unicode_text.h).
#pragma once

#include <string>
#include <string_view>

#include "text/message_text.h"

// A CSV field as RFC 4180 wants it: unchanged unless it holds a comma, a
// double quote, CR or LF; then enclosed in double quotes, inner quotes doubled.
MessageText CsvField(std::u16string_view field);

// A text as a server compares it: white space (IsWhiteSpace) taken off both
// ends. The UTF-8 form leaves bytes that are no UTF-8 (a file in the ANSI
// code page) as they stand.
std::u16string_view TrimWhiteSpaceAtEnds(std::u16string_view text);
std::string_view TrimWhiteSpaceAtEndsUtf8(std::string_view text);

// Printable ASCII but the space: nearly every first and last character, so
// the lookups' fast pass takes the text as it is.
constexpr bool IsPlainVisible(char32_t c) { return c > 0x20 && c < 0x7F; }

inline std::u16string_view TrimWhiteSpace(std::u16string_view text) {
  if (!text.empty() && IsPlainVisible(text.front()) && IsPlainVisible(text.back())) return text;
  return TrimWhiteSpaceAtEnds(text);
}
inline std::string_view TrimWhiteSpaceUtf8(std::string_view text) {
  if (!text.empty() && IsPlainVisible(static_cast<unsigned char>(text.front())) &&
      IsPlainVisible(static_cast<unsigned char>(text.back()))) {
    return text;
  }
  return TrimWhiteSpaceAtEndsUtf8(text);
}

// Hexadecimal and Base32 seeds compare without regard to case.
template <typename Char>
bool SameSeedText(std::basic_string_view<Char> text, std::string_view ours) {
  if (text.size() != ours.size()) return false;
  const auto upper = [](char32_t c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
  for (std::size_t i = 0; i < ours.size(); ++i) {
    if (upper(static_cast<char32_t>(text[i])) != upper(static_cast<unsigned char>(ours[i]))) return false;
  }
  return true;
}
