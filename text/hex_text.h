// Bytes as hexadecimal text: two digits per byte, most significant first, no
// separators (the seed in the form, the XML and the HOTP CSV file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

std::string HexText(const std::uint8_t* bytes, std::size_t count, bool upperCase);
