// The XML seed files hseeds.xml and tseeds.xml: read again, extended by one
// token and replaced in one step, so a failure never leaves half a file.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/seed_file_failure.h"
#include "provisioning/seed_files/xml_seed_append.h"

// Appends `token` to the file (created from the HOTP or TOTP header when
// missing). A file that cannot be read or parsed, or has no data/tokens, is
// left as it is. Returns why the file was not saved, or nothing when it was.
// What an interrupted save left beside the file is recovered first; what
// that noticed goes to `notes` (when given).
std::optional<SeedFileFailure> AddTokenToXmlFile(SeedFileAccess& files, const std::filesystem::path& file, bool totp,
                                                 const XmlSeedToken& token, std::vector<SeedFileNote>* notes = nullptr);
