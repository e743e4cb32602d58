#include "provisioning/seed_files/save_settling.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <system_error>

#include "files/temporary_name.h"
#include "provisioning/seed_files/save_journal.h"
#include "provisioning/seed_files/save_record_format.h"
#include "provisioning/seed_files/seed_export_messages.h"
#include "provisioning/seed_files/seed_file_lock.h"
#include "provisioning/seed_files/seed_file_names.h"
#include "provisioning/seed_files/seed_file_recovery.h"
#include "provisioning/seed_files/serial_seed_conflict.h"
#include "text/code_page.h"
#include "text/format_text.h"
#include "text/hex_text.h"
#include "vendor/bounded_text.h"
#include "vendor/key_queries.h"

namespace {

std::string HexOf(const std::string& bytes) {
  return HexText(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), true);
}

// Text for lines: the 8-bit serial as the system shows it.
MessageText Shown(const std::string& bytes) {
  if (std::optional<MessageText> text = WidenText(bytes.c_str(), kThreadAnsiCodePage)) return *text;
  return Widen(HexOf(bytes));
}

// What the key answers, asked once for all records.
struct KeyView {
  bool asked = false;
  bool present = false;
  std::string serial;
  KeyTokens listed;
};

void Ask(ITokenLibrary& library, KeyView& key) {
  if (key.asked) return;
  key.asked = true;
  const std::optional<std::string> serial = KeySerialNumber(library);
  key.present = serial.has_value();
  if (!key.present) return;
  key.serial = *serial;
  key.listed = ListKeyTokens(library);
}

}  // namespace

bool KeyListsToken(const KeyTokens& listed, const ExportedToken& token) {
  for (const TokenRecord& record : listed.tokens) {
    if (TextWithin(record.serial) == token.serial && record.type == (token.totp ? TOTP : HOTP) &&
        record.hashAlgorithm == (token.sha256 ? HASH_SHA256 : HASH_SHA1) && record.digits == token.digits &&
        record.timeStep == token.interval) {
      return true;
    }
  }
  return false;
}

namespace {

const char16_t kNotSettled[] = u"The save record %s could not be settled: %s. It was kept.\r\n";

// The records of each serial number, read before any is settled: records of
// one serial settle none of them, so no record's name decides which seed the
// files get. Running saves' records count too.
struct RecordsBySerial {
  std::map<std::string, std::vector<NamedPendingSave>> bySerial;
  std::set<std::string> told;  // serials whose line a record of this settling carries
};

RecordsBySerial ReadRecordsBySerial(const std::filesystem::path& folder, SeedFileAccess& files) {
  RecordsBySerial records;
  for (NamedPendingSave& named : ReadablePendingSaves(folder, files)) {
    records.bySerial[named.save.token.serial].push_back(std::move(named));
  }
  return records;
}

// The one line about records that share a serial: which of their seeds the
// key holds, the key does not tell (it lists no seeds), so the operator decides.
MessageText SharedSerialLine(const std::filesystem::path& folder, const std::vector<NamedPendingSave>& group,
                             SeedFileAccess& files) {
  std::vector<MessageText> records;
  std::set<std::string> holding;
  for (const NamedPendingSave& named : group) {
    records.push_back(Widen(named.record));
    for (std::string& file : SeedFilesWithOtherSeed(folder, named.save.token, files)) holding.insert(std::move(file));
  }
  std::sort(records.begin(), records.end());
  std::vector<MessageText> inFiles;
  for (const SeedFileName& file : kSeedFileNames) {
    if (holding.count(file.name) != 0) inFiles.push_back(Widen(file.name));
  }
  const MessageText alsoIn = inFiles.empty() ? MessageText() : Format(u", also in %s", NameList(inFiles));
  return Format(
      u"The save records %s are all for the token %s%s: none was completed, as a server must get one seed "
      u"per serial number. Find out which seed the key holds (it shows none: compare its OTP with each "
      u"record's), retire the token on the server if it got another, and remove the wrong records by hand. "
      u"They were kept.\r\n",
      NameList(records), Shown(group.front().save.token.serial), alsoIn);
}

// One record: settled, dropped or kept, with its line(s). Nothing when a
// running save holds it or it went meanwhile.
std::optional<SettledRecord> Settle(const std::filesystem::path& folder, const std::filesystem::path& path,
                                    ITokenLibrary& library, SeedFileAccess& files, KeyView& key,
                                    RecordsBySerial& records) {
  const MessageText recordName = path.filename().u16string();
  SettledRecord settled{path.filename().u8string(), false, {}, {}};
  std::vector<MessageText>& lines = settled.lines;
  const auto kept = [&](MessageText warning) {
    settled.kept = true;
    settled.warning = std::move(warning);
    return settled;
  };
  FileLock lock;
  FileError error;
  // Held by the save that the record is of, for as long as it runs.
  switch (lock.Acquire(LockFileFor(path), std::chrono::milliseconds(0), error)) {
    case FileLock::Outcome::Held: break;
    case FileLock::Outcome::Busy: return std::nullopt;  // a save running now holds it
    case FileLock::Outcome::Failed:
      lines.push_back(Format(kNotSettled, recordName, FileErrorReason(u"its lock file could not be created", error)));
      return kept(kSaveUnfinishedWarning);
  }
  // What a link leads to is not read, and removing the link could remove that.
  if (IsLink(path)) {
    lines.push_back(Format(kNotSettled, recordName, MessageText(u"it is a link, which is left alone")));
    return kept(kSaveUnfinishedWarning);
  }
  const RecordRead read = ReadRecord(files, path);
  if (read.state == ReadOutcome::State::Missing) return std::nullopt;  // its save finished meanwhile
  const std::optional<PendingSave> save =
      read.state == ReadOutcome::State::Read && !read.tooLarge ? PendingSaveFromXml(read.bytes) : std::nullopt;
  if (!save) {
    const MessageText why = read.state == ReadOutcome::State::Failed
                                ? FileErrorReason(u"it could not be read", read.error)
                            : read.tooLarge ? MessageText(u"it is far larger than any record the tool writes")
                                            : MessageText(u"it is damaged");
    lines.push_back(Format(kNotSettled, recordName, why));
    return kept(kSaveUnfinishedWarning);
  }
  // Before the key is asked: a record of a shared serial waits for the
  // operator whatever the key says. The group's line goes with its first
  // record settled here, and is logged as that record's.
  std::vector<NamedPendingSave>& group = records.bySerial[save->token.serial];
  if (std::none_of(group.begin(), group.end(), [&](const NamedPendingSave& n) { return n.record == settled.record; })) {
    group.push_back({settled.record, *save});  // written since they were read
  }
  if (group.size() > 1) {
    if (records.told.insert(save->token.serial).second) lines.push_back(SharedSerialLine(folder, group, files));
    return kept(kSaveUnfinishedWarning);
  }
  const MessageText serial = Shown(save->token.serial);
  const MessageText keySerial = Shown(save->keySerial);
  Ask(library, key);
  // A record written without the key's serial belongs to whichever key lists the token.
  if (!key.present || (!save->keySerial.empty() && key.serial != save->keySerial)) {
    lines.push_back(
        Format(u"The save of the token %s for the key %s is not finished: plug in that key "
               u"to complete it. Its record %s was kept.\r\n",
               serial, keySerial, recordName));
    return kept(kSaveUnfinishedWarning);
  }
  if (key.listed.status != CV_OK) {
    lines.push_back(
        Format(u"The save of the token %s for the key %s is not finished: the key's tokens "
               u"could not be listed (error = 0x%08X). Its record %s was kept.\r\n",
               serial, keySerial, key.listed.status, recordName));
    return kept(kSaveUnfinishedWarning);
  }
  if (!KeyListsToken(key.listed, save->token)) {
    const RemoveOutcome removed = files.RemoveLeftover(path, HoldsExactly(read.bytes));
    lines.push_back(
        Format(u"The save of the token %s did not reach the key %s, which does not list "
               u"it; %s.\r\n",
               serial, Shown(key.serial), RecordRemoval(removed, recordName)));
    return settled;
  }
  // A serial never gets a second seed: not from a hand-made or damaged
  // record, nor over one a seed file holds already. The operator decides.
  if (const std::optional<std::string> other = SeedFileWithOtherSeed(folder, save->token, files)) {
    lines.push_back(
        Format(u"The save of the token %s on the key %s was not completed: %s already holds that "
               u"serial number with another seed, and a server would get two seeds for it. Its record %s "
               u"was kept; compare the two and remove the wrong one.\r\n",
               serial, Shown(key.serial), Widen(*other), recordName));
    return kept(kSaveUnfinishedWarning);
  }
  // Never twice: only a file that was read and lacks the token gets it.
  const SeedFilePresence presence = FindTokenInSeedFiles(folder, save->token, files);
  const SeedFileSet missing{!presence.holding.csv && !presence.unreadable.csv,
                            !presence.holding.xml && !presence.unreadable.xml};
  SeedFileSet written;
  std::vector<MessageText> failures = presence.lines;
  if (missing.csv || missing.xml) {
    const SeedExportReport appended = ExportToSeedFiles(folder, save->token, files, missing);
    written = appended.written;
    failures.insert(failures.end(), appended.lines.begin(), appended.lines.end());
  }
  SeedFileSet lacking{!presence.holding.csv && !written.csv, !presence.holding.xml && !written.xml};
  if (!lacking.csv && !lacking.xml) lacking = SeedFileSet{true, true};  // not read: not known to hold it
  if ((missing.csv && !written.csv) || (missing.xml && !written.xml) || !presence.lines.empty()) {
    lines.insert(lines.end(), failures.begin(), failures.end());
    // Said as the record shows it: the key has the token, a file has not.
    lines.push_back(Format(u"The token %s is on the key %s but not yet in %s; its record %s was kept.\r\n", serial,
                           Shown(key.serial), SeedFileNames(folder, save->token, lacking), recordName));
    return kept(TokenNotInFilesWarning(SeedFileNames(folder, save->token, lacking)));
  }
  lines.insert(lines.end(), failures.begin(), failures.end());  // recoveries of leftovers
  const RemoveOutcome removed = files.RemoveLeftover(path, HoldsExactly(read.bytes));
  if (missing.csv || missing.xml) {
    const MessageText notRemoved = removed.Gone() ? MessageText() : u"; " + RecordRemoval(removed, recordName);
    lines.push_back(
        Format(u"The save of the token %s on the key %s was completed: the token was "
               u"added to %s%s.\r\n",
               serial, Shown(key.serial), SeedFileNames(folder, save->token, missing), notRemoved));
  } else {
    lines.push_back(Format(u"The save of the token %s on the key %s had reached %s already; %s.\r\n", serial,
                           Shown(key.serial), SeedFileNames(folder, save->token, SeedFileSet{true, true}),
                           RecordRemoval(removed, recordName)));
  }
  return settled;
}

// A record's temporary name that its publish left as a second name of the
// record holds the record's very bytes: it goes while it holds them, and the
// record stays to be settled. Nothing when `temporary` is no such name; an
// empty line when it went.
std::optional<MessageText> RemoveSecondName(const std::filesystem::path& temporary, const std::filesystem::path& record,
                                            SeedFileAccess& files) {
  if (IsLink(record)) return std::nullopt;
  const RecordRead read = ReadRecord(files, record);
  if (read.state != ReadOutcome::State::Read || read.tooLarge) return std::nullopt;
  const RemoveOutcome removed = files.RemoveLeftover(temporary, HoldsExactly(read.bytes));
  if (removed.state == RemoveOutcome::State::Differs) return std::nullopt;
  if (removed.Gone() || removed.state == RemoveOutcome::State::Link) return MessageText();
  return Format(u"%s, a second name of the save record %s, was kept: %s; a later start tries again.\r\n",
                temporary.filename().u16string(), record.filename().u16string(),
                FileErrorReason(u"it could not be removed", removed.error));
}

}  // namespace

SettleReport SettlePendingSaves(const std::filesystem::path& folder, ITokenLibrary& library, SeedFileAccess& files) {
  SettleReport report;
  std::vector<std::pair<std::filesystem::path, std::string>> partial;  // cut-short records: temporary, record
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    const std::string name = entry->path().filename().u8string();
    const std::size_t marker = name.find(temporary_name::kMarker);
    if (marker != std::string::npos && IsRecordName(name.substr(0, marker)) &&
        temporary_name::IsOneOf(name.substr(0, marker), name)) {
      partial.emplace_back(entry->path(), name.substr(0, marker));
    }
  }
  // A record whose writing was cut short went to no key: its save stopped
  // before the key was asked. Its seed is removed, unless the save still runs.
  for (const auto& [temporary, record] : partial) {
    FileLock lock;
    FileError ignored;
    const std::filesystem::path recordPath = folder / std::filesystem::u8path(record);
    if (lock.Acquire(LockFileFor(recordPath), std::chrono::milliseconds(0), ignored) != FileLock::Outcome::Held) {
      continue;
    }
    if (std::optional<MessageText> line = RemoveSecondName(temporary, recordPath, files)) {
      if (!line->empty()) report.lines.push_back(std::move(*line));
      continue;
    }
    RemoveTemporary(temporary);
  }
  KeyView key;
  RecordsBySerial bySerial = ReadRecordsBySerial(folder, files);
  for (const std::filesystem::path& record : RecordsIn(folder)) {
    if (std::optional<SettledRecord> settled = Settle(folder, record, library, files, key, bySerial)) {
      report.records.push_back(std::move(*settled));
    }
  }
  return report;
}
