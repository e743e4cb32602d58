#include "provisioning/seed_files/xml_seed_file.h"

#include "provisioning/seed_files/seed_export_messages.h"
#include "provisioning/seed_files/seed_file_cache.h"
#include "provisioning/seed_files/seed_file_recovery.h"
#include "provisioning/seed_files/xml_seed_stream.h"
#include "text/format_text.h"

namespace {

// Why a publish did not happen, or nothing when it happened or the writer
// gave up (its own outcome then says why).
std::optional<MessageText> PublishFailure(const PublishOutcome& published) {
  switch (published.step) {
    case PublishOutcome::Step::Published:
    case PublishOutcome::Step::Cancelled: return std::nullopt;
    case PublishOutcome::Step::CreateTemporary:
      return FileErrorReason(u"a temporary file could not be created beside it", published.error);
    case PublishOutcome::Step::Write: return FileErrorReason(u"the file could not be written", published.error);
    case PublishOutcome::Step::ReadOnly: return MessageText(u"the file is read-only");
    case PublishOutcome::Step::Security:
      return FileErrorReason(u"its security could not be given to the new version", published.error);
    case PublishOutcome::Step::Replace:
      if (!published.keptTemporary.empty()) {
        // Not "left unchanged": the old file left its name meanwhile.
        return FileErrorReason(u"the file could not be replaced", published.error) +
               Format(u"; everything it held and the new token are kept in %s",
                      published.keptTemporary.filename().u16string());
      }
      return FileErrorReason(u"the file could not be replaced", published.error);
  }
  return MessageText(u"the file could not be written");
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

std::optional<MessageText> AppendTokenToXmlFile(SeedFileAccess& files, const std::filesystem::path& file, bool totp,
                                                const XmlSeedToken& token, std::vector<MessageText>* notes) {
  const MessageText fileName = file.filename().u16string();
  // Held from the read to the replace, so that no other save's token is lost.
  FileLock lock;
  if (auto failure = LockSeedFile(lock, file, files.lockPatience)) return failure;

  // What an interrupted save left is dealt with first: a missing file whose
  // complete new version lies beside it is never started afresh.
  SeedFileRecovery recovery = RecoverSeedFile(files, file);
  if (notes) notes->insert(notes->end(), recovery.lines.begin(), recovery.lines.end());
  if (recovery.blocked) return CouldNotAddToken(fileName, *recovery.blocked);
  const FileStamp before = files.cache ? StampOf(file) : FileStamp{};

  // Read now rather than when the form opened, so that tokens another program
  // added in between are kept.
  OpenForReadingOutcome opened = files.OpenForReading(file);
  const auto unreadable = [&](const FileError& error) {
    return CouldNotAddToken(fileName, LeftUnchanged(FileErrorReason(u"the file could not be read", error)));
  };
  if (opened.state == OpenForReadingOutcome::State::Failed) return unreadable(opened.error);
  const bool existed = opened.state == OpenForReadingOutcome::State::Opened;
  auto failure = [&](MessageText reason) {
    return CouldNotAddToken(fileName, existed ? LeftUnchanged(std::move(reason)) : reason);
  };
  // The old file left its name meanwhile: not "left unchanged".
  auto publishFailure = [&](const PublishOutcome& published, MessageText reason) {
    return published.keptTemporary.empty() ? failure(std::move(reason)) : CouldNotAddToken(fileName, std::move(reason));
  };

  // Saved; a second name the new file kept is said, not hidden.
  const auto saved = [&](const PublishOutcome& published) -> std::optional<MessageText> {
    if (files.cache) files.cache->Appended(file, before, StampOf(file), AppendedTokenOf(token));
    if (!published.strayTemporary.empty() && notes) {
      notes->push_back(
          Format(u"%s was saved, but its temporary name %s could not be removed; a later save "
                 u"removes it.\r\n",
                 fileName, published.strayTemporary.filename().u16string()));
    }
    return std::nullopt;
  };

  // A file in the tool's own layout streams through a block at a time, in
  // the same memory whatever its size; any other file is read whole and
  // rewritten, which gives the same bytes for a file in the layout.
  if (existed) {
    XmlStreamOutcome streamed;
    FileError readError;
    const PublishOutcome published = files.Publish(file, [&](ByteSink& out) {
      streamed = StreamTokenIntoXml(*opened.source, totp, token, out);
      readError = opened.source->error;
      opened.source.reset();  // closed before the new version takes its place
      return streamed.status == XmlStreamOutcome::Status::Written;
    });
    opened.source.reset();
    if (published.Published()) return saved(published);
    if (auto reason = PublishFailure(published)) return publishFailure(published, std::move(*reason));
    if (streamed.status == XmlStreamOutcome::Status::SourceFailed) return unreadable(readError);
    if (streamed.status == XmlStreamOutcome::Status::Refused) return failure(streamed.reason);
  }

  ReadOutcome existing;
  if (existed) {
    existing = files.Read(file);
    if (existing.state == ReadOutcome::State::Failed) return unreadable(existing.error);
  }
  const bool read = existing.state == ReadOutcome::State::Read;
  XmlAppendOutcome appended;
  const PublishOutcome published = files.Publish(file, [&](ByteSink& out) {
    appended = AppendTokenToXml(read ? &existing.bytes : nullptr, totp, token, out);
    return appended.status == XmlAppendOutcome::Status::Written;
  });
  if (published.Published()) return saved(published);
  if (auto reason = PublishFailure(published)) return publishFailure(published, std::move(*reason));
  if (appended.status == XmlAppendOutcome::Status::Refused) return failure(appended.reason);
  return failure(u"the file could not be written");
}
