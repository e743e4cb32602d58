// Appending saved tokens to the seed export files that an authentication
// server imports: hseeds.xml/hseeds.csv (HOTP) and tseeds.xml/tseeds.csv (TOTP).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "provisioning/seed_files/seed_file_failure.h"
#include "text/message_text.h"

class SeedFileAccess;

struct ExportedToken {
  bool totp = false;               // false: HOTP
  bool sha256 = false;             // false: SHA-1
  std::uint32_t digits = 6;        // 6 or 8
  std::uint32_t interval = 60;     // 30 or 60
  std::string serial;              // 8-bit, thread ANSI code page
  std::vector<std::uint8_t> seed;  // exactly the bytes sent to the key (20 or 32)
  MessageText userName;            // may be empty
};

// Which of a token's two seed files a step is about.
struct SeedFileSet {
  bool csv = false;
  bool xml = false;
};

// What a save's export says: its lines, which files took the token, and
// why the others did not, as values (their lines are among `lines`).
struct SeedExportReport {
  std::vector<MessageText> lines;
  SeedFileSet written;
  std::vector<SeedFileFailure> failures = {};
};

// Appends `token` to the files of `which` (of its algorithm in `folder`),
// through `files`. Its lines: one message line ("...\r\n", naming the file)
// per failure or recovery of what an interrupted save left, in the order
// they happened; none when every file of `which` was written. ("Save"
// refuses a serial that the XML file holds already, before the key is
// written.)
SeedExportReport ExportToSeedFiles(const std::filesystem::path& folder, const ExportedToken& token,
                                   SeedFileAccess& files, SeedFileSet which);

// Which of its seed files already hold `token` (its serial with its seed),
// read as the serial check reads them, in constant memory.
// A file that cannot be read is in `unreadable`, with its line in `lines`.
struct SeedFilePresence {
  SeedFileSet holding;
  SeedFileSet unreadable;
  std::vector<MessageText> lines;
};
SeedFilePresence FindTokenInSeedFiles(const std::filesystem::path& folder, const ExportedToken& token,
                                      SeedFileAccess& files);

// "hseeds" or "tseeds": the files of the token's algorithm.
std::filesystem::path SeedFile(const std::filesystem::path& folder, const ExportedToken& token, const char* extension);

// The names of the files of `which` for messages: "tseeds.xml and tseeds.csv",
// "tseeds.xml" or "tseeds.csv".
MessageText SeedFileNames(const std::filesystem::path& folder, const ExportedToken& token, SeedFileSet which);
