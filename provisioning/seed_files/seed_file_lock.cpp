#include "provisioning/seed_files/seed_file_lock.h"

#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/seed_file_cache.h"

std::optional<SeedFileFailure> TakeSeedFileLock(FileLock& lock, const std::filesystem::path& file,
                                                std::chrono::milliseconds patience) {
  SeedFileFailure failure;
  failure.file = file;
  failure.lockFile = LockFileFor(file);
  switch (lock.Acquire(failure.lockFile, patience, failure.error)) {
    case FileLock::Outcome::Held: return std::nullopt;
    case FileLock::Outcome::Busy:
      failure.step = SeedFileFailure::Step::LockHeld;
      failure.error.kind = FileErrorKind::Busy;  // whatever the last refusal was
      failure.waited = patience;
      break;
    case FileLock::Outcome::Failed: failure.step = SeedFileFailure::Step::LockFile; break;
  }
  return failure;
}

std::optional<SeedFileFailure> TakeSeedFileLock(FileLock& lock, const std::filesystem::path& file,
                                                SeedFileAccess& files) {
  std::optional<SeedFileFailure> failure = TakeSeedFileLock(lock, file, files.lockPatience);
  if (!failure && files.cache) files.cache->YieldFile(file);
  return failure;
}
