// The file layer as the seed export uses it: reading a seed file, publishing
// its next version, appending a row. Tests override a step to make it fail.
#pragma once

#include <chrono>
#include <filesystem>

#include "provisioning/files/file_io.h"
#include "provisioning/files/file_source.h"
#include "provisioning/seed_file_lock.h"

class SeedFileAccess {
 public:
  virtual ~SeedFileAccess() = default;

  virtual ReadOutcome Read(const std::filesystem::path& file) { return ReadWholeFile(file); }
  virtual OpenForReadingOutcome OpenForReading(const std::filesystem::path& file) {
    return ::OpenForReading(file);
  }
  virtual PublishOutcome Publish(const std::filesystem::path& file, const FileWriter& write) {
    return PublishFile(file, write);
  }
  virtual AppendOutcome Append(const std::filesystem::path& file, const AppendWriter& write) {
    return AppendToFile(file, write);
  }

  // How long a save waits for the lock of a seed file.
  std::chrono::milliseconds lockPatience = kSeedFileLockPatience;
};
