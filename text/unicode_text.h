// Unicode encodings that are neither a code page nor a message format: UTF-8
// for the XML seed files, UTF-16 little-endian bytes for the CSV files.
#pragma once

#include <string>
#include <string_view>

// The halves of a UTF-16 surrogate pair.
constexpr bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Unicode's White_Space characters: what a server's trim may take off the
// ends of a text (tab, line breaks, space, no-break and ideographic spaces).
constexpr bool IsWhiteSpace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Whether the bytes are well-formed UTF-8 (no overlong form, no surrogate,
// nothing beyond U+10FFFF, no sequence cut off at the end), fed a block at
// a time: a sequence may run across blocks.
class Utf8Check {
 public:
  void Feed(std::string_view bytes);
  bool Valid() const { return valid_ && pending_ == 0; }

 private:
  bool valid_ = true;
  unsigned pending_ = 0;      // continuation bytes still due
  unsigned char low_ = 0x80;  // the range the next continuation byte must lie in
  unsigned char high_ = 0xBF;
};

// One code point as UTF-8; nothing for a value beyond U+10FFFF.
void AppendUtf8(std::string& out, char32_t code);

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD, so the result is always
// valid UTF-8.
std::string Utf8FromUtf16(std::u16string_view text);

// The UTF-16 code units as little-endian bytes, without a byte-order mark.
std::string Utf16LittleEndianBytes(std::u16string_view text);
// And back; a last odd byte is dropped.
std::u16string Utf16FromLittleEndianBytes(std::string_view bytes);
