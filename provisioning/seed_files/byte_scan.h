// The byte searches of the seed files' scans: the next tag of a name, the next
// byte of a small set, the end of a run of plain text. Sixteen bytes at a
// time where the processor has SSE2, plain loops on the few that do not.
#pragma once

#include <cstddef>
#include <string_view>

// Where `needle` (not empty) first starts in [from, end), or `end`.
const char* FindText(const char* from, const char* end, std::string_view needle);

// Where the first byte that is one of `set` (one to four bytes) is in
// [from, end), or `end`.
const char* FindAnyOf(const char* from, const char* end, std::string_view set);

// Bytes that stand for themselves in an XML text as pugixml writes it:
// printable ASCII but '&', '<' and '>', and tab.
constexpr bool IsPlainTextByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 0x20 && byte < 0x80 && c != '&' && c != '<' && c != '>') || c == '\t';
}

// Where the run of plain text bytes that starts at `from` ends.
const char* SkipPlainText(const char* from, const char* end);
