// What an interrupted save leaves beside an XML seed file: its temporary
// files. One that holds the only copy of tokens is recovered or kept, never
// deleted. Runs under the seed file's lock, before anything is written.
#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <vector>

#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/seed_file_cache.h"
#include "provisioning/seed_files/seed_file_failure.h"
#include "text/message_text.h"

// What dealing with the leftovers did, as values.
struct LeftoverRecovery {
  std::vector<SeedFileNote> notes;  // one per file restored or kept, for the log
  // Set when the seed file is missing and a complete temporary file of it
  // could not take its name: nothing may start the file afresh.
  std::optional<SeedFileFailure> blocked;
};

// When `file` is missing and complete temporary files of it lie beside it,
// puts the one with the most tokens back under its name. Then removes each
// leftover temporary that the file holds every token of, and keeps any
// other, with a note the first time this run sees it (files.reportedLeftovers).
LeftoverRecovery RecoverLeftovers(SeedFileAccess& files, const std::filesystem::path& file);

// The verdicts on the leftovers of `file` as RecoverLeftovers would reach
// them, reading the files only (for the cache's read-ahead, which runs
// without the file's lock): each told at stamps that did not change while
// it was read. Gives up once `stop` is set.
ToldLeftovers TellLeftovers(const std::filesystem::path& file, const std::atomic<bool>& stop);

// The same, as lines: the notes' lines, and why the file is blocked.
struct SeedFileRecovery {
  std::vector<MessageText> lines;
  std::optional<MessageText> blocked;
};
SeedFileRecovery RecoverSeedFile(SeedFileAccess& files, const std::filesystem::path& file);
