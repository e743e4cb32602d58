// What the New Token form knows: its choices, its texts, the generated seed
// and the results it leaves for the main window. The controls only show it.
//
// The results are part of the state itself (its NewTokenResult): the form
// fills resultStatus, resultMessage and appendEnter in place and the main
// window reads that same object, so there is nothing to copy and nothing to drift.
#pragma once

#include <cstddef>
#include <cstdint>

#include "provisioning/form/new_token_result.h"
#include "text/message_text.h"

// Room for the serial in the key's record: 63 bytes and a terminator.
constexpr std::size_t kSerialCapacity = 64;
constexpr std::size_t kMaxSeedLength = 32;
constexpr std::size_t kSeedHexCapacity = 2 * kMaxSeedLength + 1;

// Index of a radio group's checked button; none of them checked.
constexpr std::int32_t kNoChoice = -1;

struct NewTokenFormState : NewTokenResult {
  std::int32_t hashChoice = kNoChoice;       // 0 SHA-1, 1 SHA-256
  std::int32_t digitsChoice = kNoChoice;     // 0 six, 1 eight
  std::int32_t algorithmChoice = kNoChoice;  // 0 HOTP, 1 TOTP
  std::int32_t intervalChoice = kNoChoice;   // 0 30 seconds, 1 60 seconds
  // appendEnter ("Append ENTER to OTP") is the result's own field.

  char serialAnsi[kSerialCapacity] = {};  // thread ANSI code page, NUL-terminated
  std::uint8_t seedBytes[kMaxSeedLength] = {};
  char seedHex[kSeedHexCapacity] = {};  // upper-case hex of the seed

  MessageText serialText;  // the Serial Number field
  MessageText seedText;    // the Seed/Secret field
  MessageText userName;    // the Username field

  // What the current seed was generated for, so that a save never sends a
  // seed of another length than the one shown.
  std::int32_t seedHashChoice = kNoChoice;
  std::size_t seedLength = 0;  // 0: no seed yet
};
