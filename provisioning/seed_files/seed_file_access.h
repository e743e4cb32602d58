// The file layer as the seed export uses it: reading a seed file, publishing
// its next version, appending a row, dealing with what an interrupted save
// left behind. Tests override a step to make it fail.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "files/busy_retry.h"
#include "files/file_io.h"
#include "files/file_source.h"
#include "provisioning/seed_files/reported_leftovers.h"
#include "provisioning/seed_files/seed_file_lock.h"

class SeedFileCache;

class SeedFileAccess {
 public:
  virtual ~SeedFileAccess() = default;

  virtual ReadOutcome Read(const std::filesystem::path& file) { return ReadWholeFile(file); }
  virtual OpenForReadingOutcome OpenForReading(const std::filesystem::path& file) { return ::OpenForReading(file); }

  // The same, a file another program holds (a virus scanner, another
  // instance's write) tried again for as long as a save waits for a lock:
  // what a save or a settling must read is not given up for a moment's hold.
  OpenForReadingOutcome OpenForReadingPatiently(const std::filesystem::path& file) {
    return Patiently([&] { return OpenForReading(file); });
  }
  ReadOutcome ReadPatiently(const std::filesystem::path& file) {
    return Patiently([&] { return Read(file); });
  }
  // `securityFrom`: for a new file, the existing files whose access rules
  // it gets instead of the folder's, the strictest (see PublishOptions).
  virtual PublishOutcome Publish(const std::filesystem::path& file, const FileWriter& write,
                                 const std::vector<std::filesystem::path>& securityFrom = {}) {
    PublishOptions options = publishOptions;
    options.securityFrom = securityFrom;
    return PublishFile(file, write, options);
  }
  virtual AppendOutcome Append(const std::filesystem::path& file, const AppendWriter& write,
                               const std::vector<std::filesystem::path>& securityFrom = {}) {
    return AppendToFile(file, write, securityFrom, lockPatience);
  }

  virtual std::vector<TemporaryFile> Temporaries(const std::filesystem::path& file) { return FindTemporaries(file); }
  // Removes a leftover or a save record only when `holds` approves the
  // bytes it holds as it goes (RemoveIfHolds).
  virtual RemoveOutcome RemoveLeftover(const std::filesystem::path& temporary, const ContentCheck& holds) {
    return RemoveIfHolds(temporary, holds);
  }
  virtual bool Restore(const std::filesystem::path& temporary, const std::filesystem::path& file, FileError& error) {
    return RestoreTemporary(temporary, file, error);
  }

  // The swap of every publish and its retries; tests inject the system's outcomes here.
  PublishOptions publishOptions;
  // How long a save waits for the lock of a seed file.
  std::chrono::milliseconds lockPatience = kSeedFileLockPatience;
  // The kept leftovers reported already: this object's own, or the run's
  // that the program shares among its saves and settling.
  std::shared_ptr<ReportedLeftovers> reportedLeftovers = std::make_shared<ReportedLeftovers>();
  // What this process knows of the files already, kept up to date by the
  // steps that change them; none: everything is read.
  SeedFileCache* cache = nullptr;

 private:
  template <typename Attempt>
  auto Patiently(const Attempt& attempt) -> decltype(attempt()) {
    decltype(attempt()) outcome;
    RetryWhileRefused(lockPatience, [&] {
      outcome = attempt();
      return outcome.state == decltype(outcome.state)::Failed && outcome.error.InUse();
    });
    return outcome;
  }
};
