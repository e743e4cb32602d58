#include "provisioning/seed_files/seed_text.h"

#include "text/unicode_text.h"

MessageText CsvField(std::u16string_view field) {
  if (field.find_first_of(u",\"\r\n") == std::u16string_view::npos) return MessageText(field);
  MessageText quoted;
  quoted.reserve(field.size() + 2);
  quoted.push_back(u'"');
  for (const char16_t unit : field) {
    if (unit == u'"') quoted.push_back(u'"');
    quoted.push_back(unit);
  }
  quoted.push_back(u'"');
  return quoted;
}

std::u16string_view TrimWhiteSpaceAtEnds(std::u16string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

namespace {

// The length of the UTF-8 white space character that `text` starts with, or 0.
std::size_t WhiteSpaceAtStart(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  if (byte(0) < 0x80) return IsWhiteSpace(byte(0)) ? 1 : 0;
  std::size_t length = byte(0) >= 0xE0 && byte(0) < 0xF0 ? 3 : byte(0) >= 0xC2 && byte(0) < 0xE0 ? 2 : 0;
  if (length == 0 || text.size() < length) return 0;
  char32_t code = byte(0) & (length == 2 ? 0x1F : 0x0F);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3F);
  }
  return IsWhiteSpace(code) ? length : 0;
}

// The same at the end: the white space characters there are all under U+10000.
std::size_t WhiteSpaceAtEnd(std::string_view text) {
  if (text.empty()) return 0;
  const auto last = static_cast<unsigned char>(text.back());
  if (last < 0x80) return IsWhiteSpace(last) ? 1 : 0;
  for (std::size_t length = 1; length <= 3 && length <= text.size(); ++length) {
    if (WhiteSpaceAtStart(text.substr(text.size() - length)) == length) return length;
  }
  return 0;
}

}  // namespace

std::string_view TrimWhiteSpaceAtEndsUtf8(std::string_view text) {
  while (const std::size_t length = WhiteSpaceAtStart(text)) text.remove_prefix(length);
  while (const std::size_t length = WhiteSpaceAtEnd(text)) text.remove_suffix(length);
  return text;
}
