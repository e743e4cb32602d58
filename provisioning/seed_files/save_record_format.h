// The record of a save on disk: its file format and reading it back. It
// holds the token (all that both seed files need) and the serial number of
// the key it is for, in a few hundred bytes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "files/file_io.h"
#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_file_access.h"

struct PendingSave {
  ExportedToken token;
  std::string keySerial;  // the key's own serial number, 8-bit as the key gives it
};

// The record's file format.
std::string PendingSaveXml(const PendingSave& save);
std::optional<PendingSave> PendingSaveFromXml(const std::string& bytes);

// A record's bytes as read; one far larger than any record is not read whole.
struct RecordRead {
  ReadOutcome::State state = ReadOutcome::State::Missing;
  std::string bytes;
  FileError error;
  bool tooLarge = false;
};
RecordRead ReadRecord(SeedFileAccess& files, const std::filesystem::path& path);

// The records in `folder`, sorted by name.
std::vector<std::filesystem::path> RecordsIn(const std::filesystem::path& folder);

// Each record in `folder` that can be read (not through a link), with its
// name (UTF-8), sorted by name.
struct NamedPendingSave {
  std::string record;
  PendingSave save;
};
std::vector<NamedPendingSave> ReadablePendingSaves(const std::filesystem::path& folder, SeedFileAccess& files);

// The serial number of each record in `folder` that can be read, with the
// record's name (UTF-8): a serial that a save has not settled yet is in use.
struct PendingSerial {
  std::string serial;  // 8-bit, as the key gets it
  std::string record;
};
std::vector<PendingSerial> PendingSaveSerials(const std::filesystem::path& folder, SeedFileAccess& files);
