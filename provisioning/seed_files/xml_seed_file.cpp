#include "provisioning/seed_files/xml_seed_file.h"

#include "provisioning/seed_files/seed_file_lock.h"
#include "provisioning/seed_files/seed_file_names.h"
#include "provisioning/seed_files/seed_file_cache.h"
#include "provisioning/seed_files/seed_file_recovery.h"
#include "provisioning/seed_files/xml_seed_stream.h"

namespace {

using Step = SeedFileFailure::Step;

// Why a publish did not happen, or nothing when it happened or the writer
// gave up (its own outcome then says why).
std::optional<SeedFileFailure> PublishFailure(const PublishOutcome& published, SeedFileFailure failure) {
  failure.error = published.error;
  switch (published.step) {
    case PublishOutcome::Step::Published:
    case PublishOutcome::Step::Cancelled: return std::nullopt;
    case PublishOutcome::Step::CreateTemporary: failure.step = Step::CreateTemporary; break;
    case PublishOutcome::Step::Write: failure.step = Step::Write; break;
    case PublishOutcome::Step::ReadOnly:
      failure.step = Step::ReadOnly;
      failure.error.kind = FileErrorKind::ReadOnly;
      break;
    case PublishOutcome::Step::Security: failure.step = Step::Security; break;
    case PublishOutcome::Step::Replace:
      failure.step = Step::Replace;
      // Not "left unchanged": the old file left its name meanwhile.
      failure.other = published.keptTemporary;
      if (!failure.other.empty()) failure.leftUnchanged = false;
      break;
  }
  return failure;
}

// The file holds the serial in UTF-8 or, in a file an older tool began, in
// the ANSI code page: both count, as a serial may look taken but never free.
AppendedToken AppendedTokenOf(const XmlSeedToken& token) {
  AppendedToken added;
  added.serials.push_back(token.serial);
  if (token.ansiSerial) added.serials.push_back(*token.ansiSerial);
  for (const std::string& serial : added.serials) added.tokens.push_back(SeedFileTokenKey(serial, token.seedHex));
  return added;
}

}  // namespace

std::optional<SeedFileFailure> AddTokenToXmlFile(SeedFileAccess& files, const std::filesystem::path& file, bool totp,
                                                 const XmlSeedToken& token, std::vector<SeedFileNote>* notes) {
  // Held from the read to the replace, so that no other save's token is lost.
  FileLock lock;
  if (auto locked = TakeSeedFileLock(lock, file, files)) return locked;

  // What an interrupted save left is dealt with first: a missing file whose
  // complete new version lies beside it is never started afresh.
  LeftoverRecovery recovery = RecoverLeftovers(files, file);
  if (notes) notes->insert(notes->end(), recovery.notes.begin(), recovery.notes.end());
  if (recovery.blocked) return recovery.blocked;
  const FileFingerprint before = files.cache ? FingerprintOf(file) : FileFingerprint{};

  // Read now rather than when the form opened, so that tokens another program
  // added in between are kept.
  OpenForReadingOutcome opened = files.OpenForReadingPatiently(file);
  SeedFileFailure failure;
  failure.file = file;
  const auto unreadable = [&](const FileError& error) {
    failure.step = Step::Read;
    failure.error = error;
    failure.leftUnchanged = true;
    return failure;
  };
  if (opened.state == OpenForReadingOutcome::State::Failed) return unreadable(opened.error);
  const bool existed = opened.state == OpenForReadingOutcome::State::Opened;
  failure.leftUnchanged = existed;
  const auto refused = [&](MessageText reason) {
    failure.step = Step::Refused;
    failure.error = FileError{0, FileErrorKind::Damaged};
    failure.detail = std::move(reason);
    return failure;
  };

  // Saved; a second name the new file kept is said, not hidden.
  const auto saved = [&](const PublishOutcome& published) -> std::optional<SeedFileFailure> {
    if (files.cache) files.cache->Appended(file, before, FingerprintOf(file), AppendedTokenOf(token));
    if (!published.strayTemporary.empty() && notes) {
      notes->push_back(
          SeedFileNote{SeedFileNote::What::StrayTemporary, file, published.strayTemporary, {}, published.error, {}});
    }
    return std::nullopt;
  };

  // A file in the tool's own layout streams through a block at a time, in
  // the same memory whatever its size; any other file is read whole and
  // rewritten, which gives the same bytes for a file in the layout.
  if (existed) {
    XmlStreamOutcome streamed;
    FileError readError;
    const PublishOutcome published = files.Publish(
        file,
        [&](ByteSink& out) {
          streamed = StreamTokenIntoXml(*opened.source, totp, token, out);
          readError = opened.source->error;
          opened.source.reset();  // closed before the new version takes its place
          return streamed.status == XmlStreamOutcome::Status::Written;
        },
        SeedFilesOfKind(file));
    opened.source.reset();
    if (published.Published()) return saved(published);
    if (auto why = PublishFailure(published, failure)) return why;
    if (streamed.status == XmlStreamOutcome::Status::SourceFailed) return unreadable(readError);
    if (streamed.status == XmlStreamOutcome::Status::Refused) return refused(streamed.reason);
  }

  ReadOutcome existing;
  if (existed) {
    existing = files.ReadPatiently(file);
    if (existing.state == ReadOutcome::State::Failed) return unreadable(existing.error);
  }
  const bool read = existing.state == ReadOutcome::State::Read;
  XmlAppendOutcome appended;
  // A new file gets the rules of the CSV file beside it, when there is one.
  const PublishOutcome published = files.Publish(
      file,
      [&](ByteSink& out) {
        appended = AppendTokenToXml(read ? &existing.bytes : nullptr, totp, token, out);
        return appended.status == XmlAppendOutcome::Status::Written;
      },
      SeedFilesOfKind(file));
  if (published.Published()) return saved(published);
  if (auto why = PublishFailure(published, failure)) return why;
  if (appended.status == XmlAppendOutcome::Status::Refused) return refused(appended.reason);
  if (appended.status == XmlAppendOutcome::Status::ForeignEncoding) {
    const SeedTextEncoding text = appended.encoding.text;
    const bool utf16 = text == SeedTextEncoding::Utf16Le || text == SeedTextEncoding::Utf16Be;
    failure.step = Step::Encoding;
    failure.encoding = utf16 ? SeedFileFailure::EncodingProblem::Utf16 : SeedFileFailure::EncodingProblem::Declared;
    failure.declaredEncoding = appended.encoding.declared;
    return failure;
  }
  failure.step = Step::NotWritten;
  return failure;
}
