// RFC 4648 Base32 with "=" padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::size_t Base32EncodedLength(std::size_t count) { return 8 * ((count + 4) / 5); }

// Writes the Base32 form of `data` into `output` without a terminator;
// `output` must hold Base32EncodedLength(count) characters.
void Base32Encode(const std::uint8_t* data, std::size_t count, char* output);

std::string Base32Encode(const std::uint8_t* data, std::size_t count);
