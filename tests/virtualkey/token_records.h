// Building TokenRecords for tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "vendor/cv_manager.h"

// The RFC 4226 / RFC 6238 SHA-1 secret and the RFC 6238 SHA-256 secret.
constexpr char kRfcSha1Seed[] = "12345678901234567890";
constexpr char kRfcSha256Seed[] = "12345678901234567890123456789012";

inline TokenRecord MakeRecord(const std::string& serial, std::uint32_t type = HOTP,
                              std::uint32_t hash = HASH_SHA1, std::uint32_t digits = 6,
                              std::uint32_t timeStep = 30, const std::string& seed = kRfcSha1Seed) {
  TokenRecord record{};
  record.type = type;
  record.hashAlgorithm = hash;
  record.digits = digits;
  record.timeStep = timeStep;
  std::memcpy(record.serial, serial.data(), std::min(serial.size(), sizeof record.serial));
  std::memcpy(record.seed, seed.data(), std::min(seed.size(), sizeof record.seed));
  return record;
}
