// Bytes as hexadecimal text: two digits per byte, most significant first, no
// separators (the seed in the form, the XML and the HOTP CSV file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

std::string HexText(const std::uint8_t* bytes, std::size_t count, bool upperCase);

// The value of one hexadecimal digit of either case, or -1.
int HexDigitValue(char c);

// Either case; an odd number of digits or any other character gives no result.
std::optional<std::vector<std::uint8_t>> BytesFromHex(std::string_view text);
