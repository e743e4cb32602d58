// Unicode encodings that are neither a code page nor a message format: UTF-8
// for the XML seed files, UTF-16 little-endian bytes for the CSV files.
#pragma once

#include <string>
#include <string_view>

// The halves of a UTF-16 surrogate pair.
constexpr bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// One code point as UTF-8; nothing for a value beyond U+10FFFF.
void AppendUtf8(std::string& out, char32_t code);

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD, so the result is always
// valid UTF-8.
std::string Utf8FromUtf16(std::u16string_view text);

// The UTF-16 code units as little-endian bytes, without a byte-order mark.
std::string Utf16LittleEndianBytes(std::u16string_view text);
// And back; a last odd byte is dropped.
std::u16string Utf16FromLittleEndianBytes(std::string_view bytes);
