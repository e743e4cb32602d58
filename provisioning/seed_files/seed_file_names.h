// The names of the seed export files beside the program and of the save
// records beside them, in one place.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "files/temporary_name.h"

// The start of every name of a kind's files: its seed files and records.
inline constexpr char kHotpFileStem[] = "hseeds";
inline constexpr char kTotpFileStem[] = "tseeds";
inline const char* SeedFileStem(bool totp) { return totp ? kTotpFileStem : kHotpFileStem; }

inline constexpr char kHotpXmlFile[] = "hseeds.xml";
inline constexpr char kHotpCsvFile[] = "hseeds.csv";
inline constexpr char kTotpXmlFile[] = "tseeds.xml";
inline constexpr char kTotpCsvFile[] = "tseeds.csv";

struct SeedFileName {
  const char* name;
  bool totp;
  bool csv;
};

// All four: a server that imports them all sees every serial in any of them.
inline constexpr SeedFileName kSeedFileNames[] = {
    {kHotpXmlFile, false, false},
    {kHotpCsvFile, false, true},
    {kTotpXmlFile, true, false},
    {kTotpCsvFile, true, true},
};

// The folder's lock: every instance holds it while it checks that a serial
// is free and writes the record that reserves it, so that the check and the
// reservation are one step for all of them.
inline constexpr char kSeedFolderLockFile[] = "seedfiles.lock";

// The XML and the CSV seed file of `seedFile`'s kind: a new file holding
// seeds of that kind, a seed file or a record, takes their rules.
inline std::vector<std::filesystem::path> SeedFilesOfKind(std::filesystem::path seedFile) {
  std::filesystem::path csv = seedFile;
  return {seedFile.replace_extension(".xml"), csv.replace_extension(".csv")};
}

// Save records: "hseeds.pending-<16 hexadecimal digits>.record", "tseeds..."
// likewise. Not ".xml" or ".csv": an import job or a copy script that takes
// "*.xml" from the folder must not take a record, which is no seed file.
inline constexpr char kRecordMarker[] = ".pending-";
inline constexpr char kRecordSuffix[] = ".record";
// What 2.0.1 wrote; such records are still settled.
inline constexpr char kOldRecordSuffix[] = ".xml";

inline bool IsRecordName(const std::string& name) {
  for (const bool totp : {false, true}) {
    for (const char* suffix : {kRecordSuffix, kOldRecordSuffix}) {
      if (temporary_name::IsDrawnName(std::string(SeedFileStem(totp)) + kRecordMarker, suffix, name)) return true;
    }
  }
  return false;
}

// A new record's name, drawn afresh in every call.
inline std::string NewRecordName(bool totp) {
  return std::string(SeedFileStem(totp)) + kRecordMarker + temporary_name::RandomDigits(temporary_name::Entropy()) +
         kRecordSuffix;
}
