#include "provisioning/form/token_record_mapping.h"

#include <cstring>

#include "vendor/bounded_text.h"

namespace {

std::uint32_t Choose(std::int32_t choice, std::uint32_t starting, std::uint32_t first, std::uint32_t second) {
  if (choice == 0) return first;
  if (choice == 1) return second;
  return starting;
}

}  // namespace

std::uint32_t TokenTypeFor(std::int32_t algorithmChoice) { return Choose(algorithmChoice, HOTP, HOTP, TOTP); }

std::uint32_t HashAlgorithmFor(std::int32_t hashChoice) {
  return Choose(hashChoice, HASH_SHA1, HASH_SHA1, HASH_SHA256);
}

std::uint32_t DigitsFor(std::int32_t digitsChoice) { return Choose(digitsChoice, 6, 6, 8); }

std::uint32_t TimeStepFor(std::int32_t intervalChoice) { return Choose(intervalChoice, 60, 30, 60); }

std::size_t SeedLengthFor(std::uint32_t hashAlgorithm) { return hashAlgorithm == HASH_SHA256 ? 32 : 20; }

TokenRecord BuildTokenRecord(const NewTokenFormState& state) {
  TokenRecord record;
  std::memset(&record, 0, sizeof record);
  record.type = TokenTypeFor(state.algorithmChoice);
  record.hashAlgorithm = HashAlgorithmFor(state.hashChoice);
  record.digits = DigitsFor(state.digitsChoice);
  record.timeStep = TimeStepFor(state.intervalChoice);

  // The record keeps a terminator after at most 63 bytes of serial.
  const std::size_t serialLength = BoundedLength(state.serialAnsi, sizeof record.serial - 1);
  std::memcpy(record.serial, state.serialAnsi, serialLength);

  std::memcpy(record.seed, state.seedBytes, SeedLengthFor(record.hashAlgorithm));
  return record;
}

ExportedToken BuildExportedToken(const TokenRecord& record, const MessageText& userName) {
  ExportedToken token;
  token.totp = record.type == TOTP;
  token.sha256 = record.hashAlgorithm == HASH_SHA256;
  token.digits = record.digits;
  token.interval = record.timeStep;
  token.serial.assign(record.serial, BoundedLength(record.serial, sizeof record.serial));
  const std::size_t seedLength = SeedLengthFor(record.hashAlgorithm);
  token.seed.assign(record.seed, record.seed + seedLength);
  token.userName = userName;
  return token;
}
