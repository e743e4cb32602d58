#include "provisioning/seed_files/seed_folder.h"

#include <algorithm>
#include <utility>

#include "provisioning/seed_files/save_settling.h"
#include "provisioning/seed_files/seed_file_lock.h"
#include "provisioning/seed_files/seed_file_names.h"
#include "provisioning/seed_files/seed_file_recovery.h"
#include "text/code_page.h"
#include "text/format_text.h"
#include "text/unicode_text.h"
#include "vendor/bounded_text.h"
#include "vendor/key_queries.h"

namespace {

// The serials the key lists; none when it cannot list them.
std::vector<std::string> ListedSerials(ITokenLibrary& library) {
  std::vector<std::string> serials;
  for (const TokenRecord& record : ListKeyTokens(library).tokens) serials.push_back(TextWithin(record.serial));
  return serials;
}

// Whether the key's listing holds `serial`: saving it would replace that token.
bool Lists(const KeyTokens& listed, const std::string& serial) {
  return std::any_of(listed.tokens.begin(), listed.tokens.end(),
                     [&](const TokenRecord& record) { return TextWithin(record.serial) == serial; });
}

}  // namespace

SeedFolder::SeedFolder(std::filesystem::path folder) : folder_(std::move(folder)) { files_.cache = &cache_; }

void SeedFolder::ReadAhead(std::uint32_t codePage, std::function<void()> leftoversTold) {
  cache_.Prefetch(folder_, codePage, TellLeftovers, std::move(leftoversTold));
}

SettleReport SeedFolder::Settle(ITokenLibrary& library) {
  if (folder_.empty()) return SettleReport{{}, {}, false};
  std::vector<MessageText> lines;
  for (const char* name : {kHotpXmlFile, kTotpXmlFile}) {
    const std::filesystem::path file = folder_ / name;
    if (files_.Temporaries(file).empty()) continue;
    // Its verdicts come with the read-ahead's message; a save waits for them.
    if (StampOf(file).exists && cache_.TellingLeftovers(file)) continue;
    FileLock lock;
    if (TakeSeedFileLock(lock, file, files_)) continue;  // a save holds it: settled later
    SeedFileRecovery recovery = RecoverSeedFile(files_, file);
    lines.insert(lines.end(), recovery.lines.begin(), recovery.lines.end());
    if (recovery.blocked) lines.push_back(Format(u"%s: %s.\r\n", Widen(name), *recovery.blocked));
  }
  SettleReport report = SettlePendingSaves(folder_, library, files_);
  report.lines.insert(report.lines.begin(), lines.begin(), lines.end());
  return report;
}

std::vector<bool> SeedFolder::SerialsInUse(ITokenLibrary& library, const std::vector<std::string>& candidates) {
  std::vector<bool> taken(candidates.size(), false);
  const auto mark = [&](const std::string& serial) {
    for (std::size_t i = 0; i < candidates.size(); ++i) taken[i] = taken[i] || candidates[i] == serial;
  };
  for (const std::string& listed : ListedSerials(library)) mark(listed);
  if (folder_.empty()) return taken;
  // Each file is looked at once for the whole batch.
  for (const SeedFileName& file : kSeedFileNames) {
    const SerialSet& serials = cache_.Serials(folder_, file, files_);
    for (std::size_t i = 0; i < candidates.size(); ++i) taken[i] = taken[i] || serials.Contains(candidates[i]);
  }
  for (const PendingSerial& recorded : PendingSaveSerials(folder_, files_)) mark(recorded.serial);
  return taken;
}

SerialUse SeedFolder::WhereInUse(ITokenLibrary& library, const std::string& serial) {
  const KeyTokens listed = ListKeyTokens(library);
  if (Lists(listed, serial)) return {SerialUse::Place::OnKey, serial};
  SerialUse use;
  use.keyListsNot = listed.status == CV_OK;
  if (folder_.empty()) return use;
  for (const SeedFileName& file : kSeedFileNames) {
    // A hint as the form opens must not keep it from opening: a file the
    // read-ahead still reads is left to "Save", which waits for it.
    if (cache_.ReadingSerials(folder_ / file.name)) continue;
    if (!cache_.Serials(folder_, file, files_).Contains(serial)) continue;
    use.place = SerialUse::Place::InSeedFile;
    use.where = file.name;
    return use;
  }
  for (const PendingSerial& recorded : PendingSaveSerials(folder_, files_)) {
    if (recorded.serial != serial) continue;
    use.place = SerialUse::Place::InRecord;
    use.where = recorded.record;
    return use;
  }
  return use;
}

SerialUse SeedFolder::FindSerialUse(bool totp, const std::string& bytes, const MessageText& text,
                                    Reservation& unknown) {
  using Place = SerialUse::Place;
  const auto unreadable = [&unknown](std::filesystem::path file, FileError error) {
    unknown.outcome = Reservation::Outcome::Unreadable;
    unknown.file = std::move(file);
    unknown.error = error;
    return SerialUse{};
  };
  // The files of the token's own kind first: the likeliest, and named first.
  const std::string utf8 = Utf8FromUtf16(text);
  for (const bool ownKind : {true, false}) {
    for (const SeedFileName& file : kSeedFileNames) {
      if ((file.totp == totp) != ownKind) continue;
      const SerialsLookup found = cache_.Lookup(folder_, file, files_, files_.lockPatience);
      if (!found.serials) return unreadable(folder_ / file.name, found.error);
      if (found.serials->Contains(bytes) || found.serials->Contains(utf8)) return {Place::InSeedFile, file.name};
    }
  }
  // Every record counts, a link's too: its seed may reach the files yet.
  for (const std::filesystem::path& path : RecordsIn(folder_)) {
    const RecordRead read = ReadRecord(files_, path);
    if (read.state == ReadOutcome::State::Missing) continue;  // settled meanwhile
    if (read.state == ReadOutcome::State::Failed) return unreadable(path, read.error);
    const std::optional<PendingSave> save = read.tooLarge ? std::nullopt : PendingSaveFromXml(read.bytes);
    if (!save) return unreadable(path, FileError{0, FileErrorKind::Damaged});
    if (save->token.serial == bytes) return {Place::InRecord, path.filename().u8string()};
  }
  return {};
}

Reservation SeedFolder::Reserve(const PendingSave& save, const MessageText& serialText, ITokenLibrary& library) {
  Reservation reservation;
  const std::string& bytes = save.token.serial;
  const KeyTokens listed = ListKeyTokens(library);
  if (Lists(listed, bytes)) {
    reservation.outcome = Reservation::Outcome::InUse;
    reservation.use = {SerialUse::Place::OnKey, bytes};
    return reservation;
  }
  if (folder_.empty()) return reservation;  // nothing to check or record: the form says so after the save

  FileLock folderLock;
  const std::filesystem::path lockFile = folder_ / kSeedFolderLockFile;
  FileError error;
  const FileLock::Outcome locked = folderLock.Acquire(lockFile, files_.lockPatience, error);
  if (locked != FileLock::Outcome::Held) {
    const bool busy = locked == FileLock::Outcome::Busy;
    reservation.outcome = busy ? Reservation::Outcome::FolderBusy : Reservation::Outcome::NotRecorded;
    reservation.file = lockFile;
    reservation.error = error;
    if (!busy) reservation.failure = JournalFailure{JournalFailure::Step::LockFile, lockFile, {}, error, {}};
    return reservation;
  }
  reservation.use = FindSerialUse(save.token.totp, bytes, serialText, reservation);
  reservation.use.keyListsNot = listed.status == CV_OK;
  if (reservation.outcome != Reservation::Outcome::Reserved) return reservation;
  if (reservation.use.place != SerialUse::Place::Free) {
    reservation.outcome = Reservation::Outcome::InUse;
    return reservation;
  }
  auto journal = std::make_unique<SaveJournal>();
  if (std::optional<JournalFailure> failure = journal->Begin(folder_, save, files_)) {
    reservation.outcome = Reservation::Outcome::NotRecorded;
    reservation.failure = std::move(*failure);
    return reservation;
  }
  reservation.journal = std::move(journal);
  return reservation;
}

SeedExportReport SeedFolder::Export(const ExportedToken& token) {
  return ExportToSeedFiles(folder_, token, files_, SeedFileSet{true, true});
}
