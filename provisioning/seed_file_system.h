// The few file operations the seed export needs, behind one interface so that
// tests can make any step fail and the platform code stays small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

// An operating-system error: GetLastError() on Windows, errno elsewhere.
struct FileError {
  std::uint32_t code = 0;
  bool inUse = false;  // another program holds the file open without sharing
};

// A file being written. Write either writes every byte or fails; Finish makes
// the contents durable and closes the file. After a failure `error` says why.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool Write(const void* data, std::size_t size) = 0;
  virtual bool Finish() = 0;
  FileError error;
};

struct ReadOutcome {
  enum class State { Missing, Read, Failed } state = State::Missing;
  std::string bytes;  // the whole file when Read
  FileError error;    // when Failed
};

class SeedFileSystem {
 public:
  virtual ~SeedFileSystem() = default;

  // Missing when the file (or its folder) does not exist.
  virtual ReadOutcome ReadWholeFile(const std::filesystem::path& path) = 0;

  // Creates a new, uniquely named file in the folder of `target`, for writing
  // its next contents. Sets `temporaryPath`; null and `error` on failure.
  virtual std::unique_ptr<OutputFile> CreateTemporaryBeside(const std::filesystem::path& target,
                                                            std::filesystem::path& temporaryPath,
                                                            FileError& error) = 0;

  // Puts `from` in the place of `to` in one step, replacing an existing file.
  virtual bool Replace(const std::filesystem::path& from, const std::filesystem::path& to,
                       FileError& error) = 0;

  virtual void Remove(const std::filesystem::path& path) = 0;

  // Opens for appending, creating the file when missing; while it is open no
  // other writer can interleave. `created` tells whether the file was new.
  virtual std::unique_ptr<OutputFile> OpenForAppend(const std::filesystem::path& path,
                                                    bool& created, FileError& error) = 0;
};

// The real file system of the platform the program runs on.
SeedFileSystem& SystemSeedFileSystem();
