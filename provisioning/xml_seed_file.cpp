#include "provisioning/xml_seed_file.h"

#include "provisioning/seed_export_messages.h"

std::optional<MessageText> AppendTokenToXmlFile(SeedFileAccess& files, const std::filesystem::path& file,
                                                bool totp, const XmlSeedToken& token) {
  const MessageText fileName = file.filename().u16string();
  // Held from the read to the replace, so that no other save's token is lost.
  FileLock lock;
  if (auto failure = LockSeedFile(lock, file, files.lockPatience)) return failure;

  // Read now rather than when the form opened, so that tokens another program
  // added in between are kept.
  ReadOutcome existing = files.Read(file);
  if (existing.state == ReadOutcome::State::Failed) {
    return CouldNotAddToken(
        fileName, LeftUnchanged(FileErrorReason(u"the file could not be read", existing.error)));
  }
  const bool existed = existing.state == ReadOutcome::State::Read;
  auto failure = [&](MessageText reason) {
    return CouldNotAddToken(fileName, existed ? LeftUnchanged(std::move(reason)) : reason);
  };

  XmlAppendOutcome appended;
  const PublishOutcome published = files.Publish(file, [&](ByteSink& out) {
    appended = AppendTokenToXml(existed ? &existing.bytes : nullptr, totp, token, out);
    return appended.status == XmlAppendOutcome::Status::Written;
  });
  switch (published.step) {
    case PublishOutcome::Step::Published:
      return std::nullopt;
    case PublishOutcome::Step::CreateTemporary:
      return failure(FileErrorReason(u"a temporary file could not be created beside it", published.error));
    case PublishOutcome::Step::Write:
      return failure(FileErrorReason(u"the file could not be written", published.error));
    case PublishOutcome::Step::Cancelled:
      if (appended.status == XmlAppendOutcome::Status::Refused) return failure(appended.reason);
      break;
    case PublishOutcome::Step::ReadOnly:
      return failure(u"the file is read-only");
    case PublishOutcome::Step::Replace:
      return failure(FileErrorReason(u"the file could not be replaced", published.error));
  }
  return failure(u"the file could not be written");
}
