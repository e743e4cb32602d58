// Settling the records that unfinished saves left beside the seed files (see
// save_journal.h), against the key: the seed files are completed when that
// key lists the token, the record is dropped when it does not, and kept while
// that key is absent.
#pragma once

#include <cstdint>
#include <filesystem>

#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/settle_report.h"
#include "vendor/key_queries.h"
#include "vendor/token_library.h"

// Settles every record in `folder` that no running save holds, against the
// key that `library` reaches. Its lines per record; none when there is none.
SettleReport SettlePendingSaves(const std::filesystem::path& folder, ITokenLibrary& library, SeedFileAccess& files);

// Whether the key's listing holds `token`: its serial with its type, hash,
// digits and interval (the listing gives no seeds).
bool KeyListsToken(const KeyTokens& listed, const ExportedToken& token);
