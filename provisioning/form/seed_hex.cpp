#include "provisioning/form/seed_hex.h"

bool FormatSeedHex(const std::uint8_t* seed, std::size_t count, char* output,
                   std::size_t capacity) {
  static const char kDigits[] = "0123456789ABCDEF";
  if (capacity == 0 || count > (capacity - 1) / 2) return false;
  for (std::size_t i = 0; i < count; ++i) {
    output[2 * i] = kDigits[seed[i] >> 4];
    output[2 * i + 1] = kDigits[seed[i] & 0x0F];
  }
  output[2 * count] = '\0';
  return true;
}
