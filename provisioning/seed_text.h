// The text forms a token takes in the seed export files.
#pragma once

#include <string>
#include <string_view>

#include "text/message_text.h"

// One code point as UTF-8; nothing for a value beyond U+10FFFF.
void AppendUtf8(std::string& out, char32_t code);

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD, so the XML file always
// holds valid UTF-8.
std::string Utf8FromUtf16(std::u16string_view text);

// A CSV field as RFC 4180 wants it: unchanged unless it holds a comma, a
// double quote, CR or LF; then enclosed in double quotes, inner quotes doubled.
MessageText CsvField(std::u16string_view field);

// The UTF-16 code units as little-endian bytes, without a byte-order mark.
std::string Utf16LittleEndianBytes(std::u16string_view text);
