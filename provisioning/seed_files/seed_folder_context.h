// Where the seed files live and what this process keeps about them while it
// runs. Made once where the program starts and handed down by reference to
// the main window (its settling) and the New Token form.
#pragma once

#include <filesystem>
#include <memory>

#include "provisioning/seed_files/reported_leftovers.h"
#include "provisioning/seed_files/seed_file_cache.h"

struct SeedFolderContext {
  // Empty when the program's folder is unknown: nothing is settled there.
  std::filesystem::path folder;
  // Shared by every save and settling of the run, which each report a kept
  // leftover once between them.
  std::shared_ptr<ReportedLeftovers> reportedLeftovers = std::make_shared<ReportedLeftovers>();
  // What the run read of the seed files, so that an unchanged one is read once.
  std::shared_ptr<SeedFileCache> cache = std::make_shared<SeedFileCache>();
};
