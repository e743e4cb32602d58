// Random serial numbers and seed bytes for new tokens.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kSerialNumberLength = 13;

// Fills `buffer` from the operating system's secure generator. False when the
// generator failed; the buffer is then unspecified.
bool FillSecureRandom(std::uint8_t* buffer, std::size_t count);

// Writes 13 characters, "0000" and nine digits '1'..'9', into buffer[0..12].
// No terminator is written. False when the secure generator failed (nothing
// is written then).
bool GenerateSerialNumber(char* buffer);

// The same from a fixed generator seed, for tests: MT19937 seeded with
// `generatorSeed`, nine draws with rejection.
void GenerateSerialNumberFromSeed(char* buffer, std::uint32_t generatorSeed);

// Writes `count` secret bytes from the secure generator; a count of 0 or less
// writes nothing. False when the generator failed.
bool GenerateSeedBytes(std::uint8_t* buffer, std::int32_t count);
