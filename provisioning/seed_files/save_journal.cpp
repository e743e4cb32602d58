#include "provisioning/seed_files/save_journal.h"

#include <chrono>
#include <system_error>

#include "provisioning/seed_files/seed_export_messages.h"
#include "provisioning/seed_files/seed_file_names.h"
#include "text/format_text.h"

namespace {

// "hseeds.xml and hseeds.csv".
MessageText NamesOf(const std::vector<std::filesystem::path>& files) {
  std::vector<MessageText> names;
  for (const std::filesystem::path& file : files) names.push_back(file.filename().u16string());
  return NameList(names);
}

}  // namespace

ContentCheck HoldsExactly(std::string expected) {
  return [expected = std::move(expected)](ByteSource& content) {
    std::string held;
    char block[4096];
    for (;;) {
      const std::optional<std::size_t> got = content.Read(block, sizeof block);
      if (!got) return false;
      if (*got == 0) return held == expected;
      held.append(block, *got);
      if (held.size() > expected.size()) return false;
    }
  };
}

MessageText RecordRemoval(const RemoveOutcome& removed, const MessageText& recordName) {
  switch (removed.state) {
    case RemoveOutcome::State::Removed:
    case RemoveOutcome::State::Missing: return Format(u"its record %s was removed", recordName);
    case RemoveOutcome::State::InUse:
      return Format(u"its record %s is open in another program and was kept; a later start removes it", recordName);
    case RemoveOutcome::State::Link: return Format(u"its record %s is a link and was left alone", recordName);
    case RemoveOutcome::State::Differs:
      return Format(u"its record %s changed meanwhile and was kept; a later start settles it", recordName);
    case RemoveOutcome::State::Failed: break;
  }
  return FileErrorReason(Format(u"its record %s could not be removed", recordName), removed.error) +
         u"; a later start tries again";
}

MessageText JournalFailureText(const JournalFailure& failure) {
  const MessageText name = failure.path.filename().u16string();
  switch (failure.step) {
    case JournalFailure::Step::LockFile:
      return FileErrorReason(Format(u"%s could not be created", name), failure.error);
    case JournalFailure::Step::Security:
      return FileErrorReason(Format(u"%s could not be given the access rules of %s, so nothing was written", name,
                                    NamesOf(failure.rulesFrom)),
                             failure.error);
    case JournalFailure::Step::Write: return FileErrorReason(Format(u"%s could not be written", name), failure.error);
    case JournalFailure::Step::NoFreeName: return u"no free name for the record of the save was found";
    case JournalFailure::Step::NotRemoved:
      return Format(u"The token is in both seed files, but %s.\r\n", RecordRemoval(failure.removed, name));
  }
  return {};
}

std::optional<JournalFailure> SaveJournal::Begin(const std::filesystem::path& folder, const PendingSave& save,
                                                 SeedFileAccess& files) {
  const std::string text = PendingSaveXml(save);
  for (int attempt = 0; attempt < 10; ++attempt) {
    const std::filesystem::path path = folder / NewRecordName(save.token.totp);
    const std::filesystem::path lockFile = LockFileFor(path);
    FileError error;
    const FileLock::Outcome locked = lock_.Acquire(lockFile, std::chrono::milliseconds(0), error);
    if (locked == FileLock::Outcome::Busy) continue;
    if (locked == FileLock::Outcome::Failed)
      return JournalFailure{JournalFailure::Step::LockFile, lockFile, {}, error, {}};
    std::error_code taken;
    if (std::filesystem::exists(path, taken)) continue;
    // It holds a seed: under the strictest rules of the seed files of its kind.
    const std::vector<std::filesystem::path> seedFiles = SeedFilesOfKind(SeedFile(folder, save.token, ".xml"));
    const PublishOutcome published = files.Publish(
        path, [&](ByteSink& out) { return out.Write(text.data(), text.size()); }, seedFiles);
    if (!published.Published()) {
      lock_.Release();
      const bool security = published.step == PublishOutcome::Step::Security;
      return JournalFailure{security ? JournalFailure::Step::Security : JournalFailure::Step::Write,
                            path,
                            seedFiles,
                            published.error,
                            {}};
    }
    // The temporary's name, left as a second name of the record, would keep
    // the seed once the record is gone; one that stays now goes with the
    // record's settling.
    if (!published.strayTemporary.empty()) files.RemoveLeftover(published.strayTemporary, HoldsExactly(text));
    path_ = path;
    written_ = text;
    return std::nullopt;
  }
  lock_.Release();
  return JournalFailure{JournalFailure::Step::NoFreeName, {}, {}, {}, {}};
}

std::optional<JournalFailure> SaveJournal::Complete(SeedFileSet written) {
  if (!written.csv || !written.xml) return std::nullopt;
  const std::filesystem::path record = path_;
  const std::optional<RemoveOutcome> removed = Remove();
  if (!removed || removed->Gone()) return std::nullopt;
  return JournalFailure{JournalFailure::Step::NotRemoved, record, {}, removed->error, *removed};
}

void SaveJournal::Abandon() { Remove(); }

std::optional<RemoveOutcome> SaveJournal::Remove() {
  if (path_.empty()) return std::nullopt;
  // That name only, never through a link, and only holding what this save wrote.
  const RemoveOutcome removed = RemoveIfHolds(path_, HoldsExactly(std::move(written_)));
  path_.clear();
  written_.clear();
  lock_.Release();
  return removed;
}
