#include "text/unicode_text.h"

#include <cstdint>
#include <cstring>

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x110000) {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string utf8;
  utf8.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (IsHighSurrogate(code) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(code) || IsLowSurrogate(code)) {
      code = 0xFFFD;
    }
    AppendUtf8(utf8, code);
  }
  return utf8;
}

std::string Utf16LittleEndianBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::u16string Utf16FromLittleEndianBytes(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    text.push_back(
        static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8));
  }
  return text;
}

void Utf8Check::Feed(std::string_view bytes) {
  // Runs of ASCII go eight bytes at a time: the streaming save feeds every
  // byte of a seed file through here, nearly all of them ASCII.
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    if (!valid_) return;
    if (pending_ == 0) {
      std::uint64_t word;
      while (bytes.size() - at >= sizeof word) {
        std::memcpy(&word, bytes.data() + at, sizeof word);
        if (word & kHighBits) break;
        at += sizeof word;
      }
      if (at == bytes.size()) return;
    }
    const auto byte = static_cast<unsigned char>(bytes[at]);
    if (pending_ > 0) {
      if (byte < low_ || byte > high_) {
        valid_ = false;
        return;
      }
      --pending_;
      low_ = 0x80;
      high_ = 0xBF;
      continue;
    }
    if (byte < 0x80) continue;
    // The first continuation byte's range rules out overlong forms,
    // surrogates and code points beyond U+10FFFF (RFC 3629's table).
    if (byte >= 0xC2 && byte <= 0xDF) {
      pending_ = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      pending_ = 2;
      if (byte == 0xE0) low_ = 0xA0;
      if (byte == 0xED) high_ = 0x9F;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      pending_ = 3;
      if (byte == 0xF0) low_ = 0x90;
      if (byte == 0xF4) high_ = 0x8F;
    } else {
      valid_ = false;
    }
  }
}
