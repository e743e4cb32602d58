// The journal of one save between the key and the seed files. Before the key
// is written, the token and the serial number of the key it is for are
// written durably beside the seed files; the record goes once both files
// hold the token or the key refused it. A record that a killed or crashed
// save left behind is settled later against the key (save_settling.h). It
// holds a seed, so it lives where the seed files live and nothing else
// keeps it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "files/file_io.h"
#include "provisioning/seed_files/save_record_format.h"
#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_file_access.h"
#include "text/message_text.h"

// Why a save's record could not be written, or did not go when it was to.
struct JournalFailure {
  enum class Step {
    LockFile,    // the record's lock file could not be created (`path` is the lock file)
    Security,    // the record could not be given the rules of `rulesFrom` (the strictest); nothing was written
    Write,       // the record could not be written
    NoFreeName,  // every name drawn was taken
    NotRemoved,  // the token is in both seed files but the record stayed (see `removed`)
  } step = Step::Write;
  std::filesystem::path path;  // the record, or its lock file
  std::vector<std::filesystem::path> rulesFrom;
  FileError error;
  RemoveOutcome removed;
};

// The reason for the operator: why the key was not written (Begin), or what
// became of the record (Complete).
MessageText JournalFailureText(const JournalFailure& failure);

// The record of the save this process is running. It is held under its own
// lock while it lives, so that no other instance settles it meanwhile.
class SaveJournal {
 public:
  SaveJournal() = default;
  SaveJournal(const SaveJournal&) = delete;
  SaveJournal& operator=(const SaveJournal&) = delete;
  // Lets the lock go; the record itself stays unless the save completed or
  // was abandoned.
  ~SaveJournal() = default;

  // Writes the record into `folder` through `files`; why not when it could
  // not be written, in which case the key must not be written either.
  std::optional<JournalFailure> Begin(const std::filesystem::path& folder, const PendingSave& save,
                                      SeedFileAccess& files);
  // `written`: the seed files that took the token. Once both did, the record
  // goes; why it stayed though, if it did (a later settling removes it).
  // Otherwise it stays, and the next start or save completes the files.
  std::optional<JournalFailure> Complete(SeedFileSet written);
  // The key refused the token and does not list it: the record goes. One
  // that stays is settled later.
  void Abandon();

 private:
  // Nothing when no record was written.
  std::optional<RemoveOutcome> Remove();

  FileLock lock_;
  std::filesystem::path path_;
  std::string written_;  // the record's bytes: only a record holding them is removed
};

// Approves the bytes `expected` exactly, for RemoveIfHolds.
ContentCheck HoldsExactly(std::string expected);

// What became of a record that was to go, as the end of its line: only a
// record that is gone is said to be removed.
MessageText RecordRemoval(const RemoveOutcome& removed, const MessageText& recordName);
