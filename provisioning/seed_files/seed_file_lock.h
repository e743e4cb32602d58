// One save at a time per seed file, across instances of the tool and machines
// sharing the program's folder: each file's step runs under the lock of
// "<file>.lock" beside it.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

#include "files/file_io.h"
#include "provisioning/seed_files/seed_file_failure.h"

class SeedFileAccess;

// How long a save waits for another instance's step to end: as long as any
// open for writing waits for a reader to let go.
constexpr std::chrono::milliseconds kSeedFileLockPatience = kBusyFilePatience;

// Takes the lock of `file` into `lock`; why not when it cannot (kind Busy:
// another save held it all the time).
std::optional<SeedFileFailure> TakeSeedFileLock(FileLock& lock, const std::filesystem::path& file,
                                                std::chrono::milliseconds patience);

// The same with the patience of `files`, for a save that writes `file`: once
// it holds the lock, this process's read ahead of the file yields to it.
std::optional<SeedFileFailure> TakeSeedFileLock(FileLock& lock, const std::filesystem::path& file,
                                                SeedFileAccess& files);
