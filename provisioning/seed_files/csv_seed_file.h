// The CSV seed files hseeds.csv and tseeds.csv: created in UTF-16LE without
// byte-order mark, with CRLF line ends and a header line; an existing file
// takes its rows in its own encoding (seed_file_encoding.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/seed_file_failure.h"
#include "provisioning/seed_files/seed_file_cache.h"
#include "text/message_text.h"

extern const char16_t kHotpCsvHeader[];
extern const char16_t kTotpCsvHeader[];

// The row of a token; texts are quoted as RFC 4180 asks when they need it.
// Empty when memory ran out.
MessageText HotpCsvRow(const MessageText& serial, const std::string& seedLowerHex);
MessageText TotpCsvRow(const MessageText& userName, const MessageText& serial, const std::string& seedBase32,
                       std::int32_t interval);

// Appends `row`, preceded by `header` when this call creates the file, with
// one write, in the file's encoding. Returns why not (a file that cannot take
// the row in its own encoding is left as it is), or nothing when the row was
// written. `added`
// tells the run's cache (files.cache) which serials the row holds.
std::optional<SeedFileFailure> AppendRowToCsvFile(SeedFileAccess& files, const std::filesystem::path& file,
                                                  std::u16string_view header, const MessageText& row,
                                                  const AppendedToken* added = nullptr);
