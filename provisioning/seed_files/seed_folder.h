// The seed files' folder for one run, and the only code that touches it: the
// folder's lock, what the run read of the files (the cache and its
// read-ahead), the saves' records, the leftovers of interrupted saves and
// their settling. The window and the New Token form ask it questions and
// get values back.
//
// Threads: the window's thread calls every member. The read-ahead's threads
// (started by ReadAhead) touch only the cache's read-ahead jobs, under the
// cache's own lock, and call `leftoversTold` once; nothing else here is
// shared with them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "files/system_error.h"
#include "provisioning/seed_files/reported_leftovers.h"
#include "provisioning/seed_files/save_journal.h"
#include "provisioning/seed_files/save_record_format.h"
#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/seed_file_cache.h"
#include "provisioning/seed_files/settle_report.h"
#include "text/message_text.h"
#include "vendor/token_library.h"

// Where a serial is taken already, as a server that imports all four seed
// files would see it: the key lists a token with it (saving would replace
// that token), a seed file holds it (the server would get two seeds for one
// serial), or a save's record that is not settled yet will put it there.
struct SerialUse {
  enum class Place { Free, OnKey, InSeedFile, InRecord } place = Place::Free;
  std::string where;  // the seed file's or the record's name, UTF-8
  // The key listed its tokens and this serial is not among them: a seed file
  // or record holds it for a token of another key, or of this one before a
  // "Reset".
  bool keyListsNot = false;
};

// What asking to reserve a serial for a save gave: the save's record, held
// until the save ends, or why the key must not be written.
struct Reservation {
  enum class Outcome {
    Reserved,     // `journal` holds the record (none when the folder is unknown)
    InUse,        // `use` says where the serial is taken
    Unreadable,   // `file` could not be read to tell (`error`); nothing is known of it
    FolderBusy,   // another instance checked and reserved all the time allowed (`file` is the folder's lock)
    NotRecorded,  // the record could not be written (`failure`)
  } outcome = Outcome::Reserved;
  SerialUse use;
  std::filesystem::path file;
  FileError error;
  JournalFailure failure;
  std::unique_ptr<SaveJournal> journal;
};

class SeedFolder {
 public:
  // `folder` empty: unknown; nothing is read, settled or written there.
  explicit SeedFolder(std::filesystem::path folder);
  virtual ~SeedFolder() = default;
  SeedFolder(const SeedFolder&) = delete;
  SeedFolder& operator=(const SeedFolder&) = delete;

  const std::filesystem::path& Path() const { return folder_; }

  // Starts reading the seed files' serials, then the verdicts on the XML
  // files' leftovers, on threads of their own; `leftoversTold` is called on
  // one of them when those are told, for the window to settle them.
  void ReadAhead(std::uint32_t codePage, std::function<void()> leftoversTold);

  // Puts back what interrupted saves left of the XML files and settles
  // every record no running save holds against the key `library` reaches.
  // Leftovers the read-ahead is still telling are left until it has: the
  // window does not wait for it, and a save waits for the verdict itself.
  SettleReport Settle(ITokenLibrary& library);

  // For each candidate, whether the key, a seed file or a record holds it
  // already; what cannot be read takes nothing away (a hint for "Generate":
  // Reserve decides).
  virtual std::vector<bool> SerialsInUse(ITokenLibrary& library, const std::vector<std::string>& candidates);

  // Where `serial` is taken, from the key and what the run read of the files,
  // without waiting for a lock or for the read-ahead: a hint as the form
  // opens (Reserve decides). A file that cannot be read, or that the
  // read-ahead still reads, takes nothing away.
  SerialUse WhereInUse(ITokenLibrary& library, const std::string& serial);

  // Checks that no one holds the serial of `save` (the key, the four seed
  // files, the records) and writes the record that reserves it, in one step
  // under the folder's lock that every instance takes, so that no two saves
  // get one serial. `serialText` is the serial as typed: a file may hold it
  // in UTF-8 or in the key's code page.
  virtual Reservation Reserve(const PendingSave& save, const MessageText& serialText, ITokenLibrary& library);

  // Appends a token that the key took to the two seed files of its kind.
  virtual SeedExportReport Export(const ExportedToken& token);

 private:
  SerialUse FindSerialUse(bool totp, const std::string& bytes, const MessageText& text, Reservation& unknown);

  std::filesystem::path folder_;
  SeedFileCache cache_;
  SeedFileAccess files_;
};
