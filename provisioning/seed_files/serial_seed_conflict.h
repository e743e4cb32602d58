// Whether a seed file already holds a token's serial number with another
// seed: completing a save then would give a server two seeds for one serial.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_file_access.h"

// The first of the four seed files in `folder` (a server with one token table
// sees HOTP and TOTP serials alike) that holds `token.serial` with a seed
// other than `token.seed`, by its name. A file that cannot be read is passed
// over: it holds nothing a reader could see.
std::optional<std::string> SeedFileWithOtherSeed(const std::filesystem::path& folder, const ExportedToken& token,
                                                 SeedFileAccess& files);

// Every such file, in the order of kSeedFileNames.
std::vector<std::string> SeedFilesWithOtherSeed(const std::filesystem::path& folder, const ExportedToken& token,
                                                SeedFileAccess& files);
