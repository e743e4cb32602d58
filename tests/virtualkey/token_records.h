// Token records that carry a seed, for the key's own tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "tests/support/scripted_token_library.h"

// The RFC 4226 / RFC 6238 SHA-1 secret and the RFC 6238 SHA-256 secret.
constexpr char kRfcSha1Seed[] = "12345678901234567890";
constexpr char kRfcSha256Seed[] = "12345678901234567890123456789012";

inline TokenRecord Seeded(TokenRecord record, const std::string& seed = kRfcSha1Seed) {
  std::memcpy(record.seed, seed.data(), std::min(seed.size(), sizeof record.seed));
  return record;
}
