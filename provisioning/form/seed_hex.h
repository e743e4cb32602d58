// The seed as the Seed/Secret field and the XML seed file show it.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes two upper-case hexadecimal digits per byte and a terminator into
// `output`, which holds `capacity` characters. Returns false, writing nothing,
// when the text would not fit.
bool FormatSeedHex(const std::uint8_t* seed, std::size_t count, char* output,
                   std::size_t capacity);
