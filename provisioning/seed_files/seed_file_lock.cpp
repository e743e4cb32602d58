#include "provisioning/seed_files/seed_file_lock.h"

#include "provisioning/seed_files/seed_export_messages.h"
#include "text/format_text.h"

std::optional<MessageText> LockSeedFile(FileLock& lock, const std::filesystem::path& file,
                                        std::chrono::milliseconds patience) {
  const std::filesystem::path lockFile = LockFileFor(file);
  const MessageText lockName = lockFile.filename().u16string();
  FileError error;
  switch (lock.Acquire(lockFile, patience, error)) {
    case FileLock::Outcome::Held: return std::nullopt;
    case FileLock::Outcome::Busy: {
      const auto milliseconds = static_cast<std::int64_t>(patience.count());
      const MessageText waited = milliseconds % 1000 == 0 ? Format(u"%d seconds", milliseconds / 1000)
                                                          : Format(u"%d milliseconds", milliseconds);
      return CouldNotAddToken(file.filename().u16string(),
                              Format(u"another save kept %s locked for more than %s", lockName, waited));
    }
    case FileLock::Outcome::Failed: break;
  }
  return CouldNotAddToken(file.filename().u16string(),
                          FileErrorReason(Format(u"its lock file %s could not be created", lockName), error));
}
