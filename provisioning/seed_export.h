// Appending saved tokens to the seed export files that an authentication
// server imports: hseeds.xml/hseeds.csv (HOTP) and tseeds.xml/tseeds.csv (TOTP).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "text/message_text.h"

class SeedFileAccess;

struct ExportedToken {
  bool totp = false;            // false: HOTP
  bool sha256 = false;          // false: SHA-1
  std::uint32_t digits = 6;     // 6 or 8
  std::uint32_t interval = 60;  // 30 or 60
  std::string serial;           // 8-bit, thread ANSI code page
  std::vector<std::uint8_t> seed;  // exactly the bytes sent to the key (20 or 32)
  MessageText userName;         // may be empty
};

// Appends `token` to the XML and CSV seed files of its algorithm in `folder`.
// Returns one message line ("...\r\n", naming the file) per failure, in the
// order they happened, and a line when the XML file already held a token with
// this serial (the token is saved all the same); empty when both files were
// written and the serial is new.
std::vector<MessageText> AppendSeedFiles(const std::filesystem::path& folder,
                                         const ExportedToken& token);

// The same, through `files` instead of the file layer itself.
std::vector<MessageText> AppendSeedFiles(const std::filesystem::path& folder,
                                         const ExportedToken& token, SeedFileAccess& files);
