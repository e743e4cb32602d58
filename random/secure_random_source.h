// The generation operations with their source of secure random bytes passed
// in, so that tests can substitute a failing or fixed source.
#pragma once

#include <cstddef>
#include <cstdint>

using SecureRandomSource = bool (*)(std::uint8_t* buffer, std::size_t count);

bool GenerateSerialNumberFrom(char* buffer, SecureRandomSource source);
bool GenerateSeedBytesFrom(std::uint8_t* buffer, std::int32_t count, SecureRandomSource source);
