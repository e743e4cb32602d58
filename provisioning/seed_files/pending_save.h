// A save between the key and the seed files. Before the key is written, the
// token (all that both seed files need) and the serial number of the key it
// is for are written durably beside the seed files; the record goes once both
// files hold the token or the key refused it. A record that a killed or
// crashed save left behind is settled later against the key. It holds a
// seed, so it lives where the seed files live and nothing else keeps it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "files/file_io.h"
#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/settle_report.h"
#include "text/message_text.h"
#include "vendor/key_queries.h"
#include "vendor/token_library.h"

struct PendingSave {
  ExportedToken token;
  std::string keySerial;  // the key's own serial number, 8-bit as the key gives it
};

// The record of the save this process is running. It is held under its own
// lock while it lives, so that no other instance settles it meanwhile.
class PendingSaveRecord {
 public:
  PendingSaveRecord() = default;
  PendingSaveRecord(const PendingSaveRecord&) = delete;
  PendingSaveRecord& operator=(const PendingSaveRecord&) = delete;
  // Lets the lock go; the record itself stays unless Remove() was called.
  ~PendingSaveRecord() = default;

  // Writes the record into `folder`; the reason (for the operator) when it
  // could not be written, in which case the key must not be written either.
  std::optional<MessageText> Begin(const std::filesystem::path& folder, const PendingSave& save, SeedFileAccess& files);
  // The seed files hold the token, or the key refused it: the record goes.
  // The line that says why it stayed, if it did (a later settling removes it).
  std::optional<MessageText> Remove();

 private:
  FileLock lock_;
  std::filesystem::path path_;
};

// Settles every record in `folder` that no running save holds, against the
// key that `library` reaches: completes the seed files when that key lists
// the token, drops the record when it does not, keeps it while that key is
// absent. Its lines per record; none when there is none.
SettleReport SettlePendingSaves(const std::filesystem::path& folder, ITokenLibrary& library, SeedFileAccess& files);

// The same, first putting back what interrupted saves left of the XML seed
// files: what the tool runs at start-up and before a new token is made.
// `cache`: what the process knows of the files already.
SettleReport SettleInterruptedSaves(const std::filesystem::path& folder, ITokenLibrary& library,
                                    SeedFileCache* cache = nullptr);

// The serial number of each record in `folder` that can be read, with the
// record's name (UTF-8): a serial that a save has not settled yet is in use.
struct PendingSerial {
  std::string serial;  // 8-bit, as the key gets it
  std::string record;
};
std::vector<PendingSerial> PendingSaveSerials(const std::filesystem::path& folder, SeedFileAccess& files);

// Whether the key's listing holds `token`: its serial with its type, hash,
// digits and interval (the listing gives no seeds).
bool KeyListsToken(const KeyTokens& listed, const ExportedToken& token);

// The record's file format, for tests and the settling.
std::string PendingSaveXml(const PendingSave& save);
std::optional<PendingSave> PendingSaveFromXml(const std::string& bytes);
