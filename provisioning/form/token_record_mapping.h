// Turning the form's choices into the record the key stores and into the
// entry of the seed export files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "provisioning/form/new_token_form_state.h"
#include "provisioning/seed_files/seed_export.h"
#include "vendor/cv_manager.h"

// Each maps a choice of 0 or 1; any other choice gives the starting value
// (HOTP, SHA-1, 6 digits, 60 seconds).
std::uint32_t TokenTypeFor(std::int32_t algorithmChoice);
std::uint32_t HashAlgorithmFor(std::int32_t hashChoice);
std::uint32_t DigitsFor(std::int32_t digitsChoice);
std::uint32_t TimeStepFor(std::int32_t intervalChoice);

// 20 bytes for SHA-1, 32 for SHA-256.
std::size_t SeedLengthFor(std::uint32_t hashAlgorithm);

// The record sent to CV_OTP_Personalize: every field from the state, the
// serial without its terminator and the seed's bytes, the rest zero.
TokenRecord BuildTokenRecord(const NewTokenFormState& state);

// The same token as the seed export files describe it.
ExportedToken BuildExportedToken(const TokenRecord& record, const MessageText& userName);
