// Settling the records that unfinished saves left beside the seed files (see
// save_journal.h), against the key: the seed files are completed when that
// key lists the token, the record is dropped when it does not, and kept while
// that key is absent.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/seed_folder_context.h"
#include "provisioning/seed_files/settle_report.h"
#include "vendor/key_queries.h"
#include "vendor/token_library.h"

// Settles every record in `folder` that no running save holds, against the
// key that `library` reaches. Its lines per record; none when there is none.
SettleReport SettlePendingSaves(const std::filesystem::path& folder, ITokenLibrary& library, SeedFileAccess& files);

// The same, first putting back what interrupted saves left of the XML seed
// files: what the tool runs at start-up, on a key's arrival and before a new
// token is made. A kept leftover is reported once per run of `seeds`; with
// the folder unknown nothing is looked at (the report says it is not
// settled). Leftovers that the run's read-ahead is still telling are left
// until it has: the window does not wait for it.
SettleReport SettleInterruptedSaves(const SeedFolderContext& seeds, ITokenLibrary& library);

// Starts the run's read-ahead (SeedFileCache::Prefetch): the seed files'
// serials, then the verdicts on the XML files' leftovers, after which
// `leftoversTold` is called on its thread, for the window to settle them.
void ReadSeedFilesAhead(const SeedFolderContext& seeds, std::uint32_t codePage, std::function<void()> leftoversTold);
// In `folder`, with a memory of reported leftovers of its own.
SettleReport SettleInterruptedSaves(const std::filesystem::path& folder, ITokenLibrary& library);

// Whether the key's listing holds `token`: its serial with its type, hash,
// digits and interval (the listing gives no seeds).
bool KeyListsToken(const KeyTokens& listed, const ExportedToken& token);
