#include "virtualkey/number_text.h"

#include <cstdio>

#include "text/hex_text.h"

namespace {

std::optional<std::uint64_t> ParseDigits(std::string_view digits, unsigned base, std::uint64_t maximum) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) return std::nullopt;
    if (value > (maximum - static_cast<unsigned>(digit)) / base) return std::nullopt;
    value = value * base + static_cast<unsigned>(digit);
  }
  return value;
}

bool HasHexPrefix(std::string_view text) {
  return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

}  // namespace

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t maximum) {
  if (HasHexPrefix(text)) return ParseDigits(text.substr(2), 16, maximum);
  return ParseDigits(text, 10, maximum);
}

std::optional<std::uint32_t> ParseFailureStatus(std::string_view text) {
  if (HasHexPrefix(text)) text.remove_prefix(2);
  if (text.size() > 8) return std::nullopt;
  const auto value = ParseDigits(text, 16, 0xFFFFFFFFu);
  if (!value || *value == 0) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

std::string StatusText(std::uint32_t status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}
