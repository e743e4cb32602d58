// The file operations on POSIX systems, where the core is built and tested
// natively.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

#include "files/buffered_sink.h"
#include "files/file_io.h"
#include "files/file_steps.h"
#include "files/strictest_rules_posix.h"
#include "files/temporary_name.h"

namespace {

// A file opened for reading, closed with the scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

class DescriptorSink final : public BufferedSink {
 public:
  explicit DescriptorSink(int fd) : fd_(fd) {}
  FileError error;

 protected:
  bool WriteOut(const void* data, std::size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t written = write(fd_, bytes, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        error = LastSystemError();
        return false;
      }
      bytes += written;
      size -= static_cast<std::size_t>(written);
    }
    return true;
  }

 private:
  int fd_;
};

// Makes the folder's entries durable after a rename.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// A file being published or appended to, for the steps in file_steps.h.
class WritingFile {
 public:
  WritingFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)), sink_(fd) {}
  ~WritingFile() {
    if (fd_ >= 0) close(fd_);
  }
  WritingFile(const WritingFile&) = delete;
  WritingFile& operator=(const WritingFile&) = delete;

  int Fd() const { return fd_; }
  BufferedSink& Sink() { return sink_; }
  FileError SinkError() const { return sink_.error; }
  bool Sync(FileError& error) { return Check(fsync(fd_) == 0, error); }
  bool Close(FileError& error) {
    if (fd_ < 0) return true;
    const int closing = fd_;
    fd_ = -1;
    return Check(close(closing) == 0, error);
  }

  // Publishing: this is the temporary file for `target`, given its mode and
  // owner before its first byte when `replaces`.
  void PublishAs(std::filesystem::path target, bool replaces) {
    target_ = std::move(target);
    replaces_ = replaces;
  }
  const std::filesystem::path& Temporary() const { return path_; }
  const std::filesystem::path& Target() const { return target_; }
  bool ReplacesTarget() const { return replaces_; }
  bool TargetExists() const {
    struct stat status {};
    return lstat(target_.c_str(), &status) == 0;
  }
  static bool Transient(const FileError&) { return false; }
  void RemoveTemporary() { unlink(path_.c_str()); }

  // Appending: the file was `length` bytes long before.
  void AppendAfter(off_t length) { before_ = length; }
  bool TakeBack(FileError& error) { return Check(ftruncate(fd_, before_) == 0, error); }
  bool HoldsOldLength() const {
    struct stat status {};
    return fstat(fd_, &status) == 0 && status.st_size == before_;
  }
  void RemoveCreated() {
    unlink(path_.c_str());
    FileError ignored;
    Close(ignored);
  }

 private:
  static bool Check(bool ok, FileError& error) {
    if (!ok) error = LastSystemError();
    return ok;
  }

  int fd_;
  std::filesystem::path path_;
  std::filesystem::path target_;
  bool replaces_ = false;
  off_t before_ = 0;
  DescriptorSink sink_;
};

// The file that `path` leads to through any symbolic links.
std::filesystem::path ThroughLinks(std::filesystem::path path) {
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) return path;
    const std::filesystem::path next = std::filesystem::read_symlink(path, error);
    if (error) return path;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
}

bool HoldWhileWriting(int fd, FileError& error) {
  for (;;) {
    if (flock(fd, LOCK_EX) == 0) return true;
    if (errno != EINTR) break;
  }
  error = LastSystemError();
  return false;
}

// Gives a new file the mode and owner of `from` before its first byte. Only
// a privileged process may give a file away, so the owner is kept where
// allowed, and the group likewise; a group that cannot be kept while the
// mode gives it more than everyone else means other people would get that:
// then the rules cannot be given. The file is never read-only, though `from`
// may be: the tool could not then replace or append to what it made.
bool GiveRules(int fd, const struct stat& from, FileError& error) {
  // EINVAL: an owner this user namespace cannot name, not ours to give either.
  const auto refused = [] { return errno == EPERM || errno == EINVAL; };
  const bool groupMatters = (((from.st_mode >> 3) & ~from.st_mode) & 07) != 0;
  const bool owned =
      fchown(fd, from.st_uid, from.st_gid) == 0 ||
      (refused() && (fchown(fd, static_cast<uid_t>(-1), from.st_gid) == 0 || (refused() && !groupMatters)));
  mode_t mode = from.st_mode & 07777;
  if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) mode |= S_IWUSR;
  if (!owned || fchmod(fd, mode) != 0) {
    error = LastSystemError();
    return false;
  }
  return true;
}

}  // namespace

std::uint64_t temporary_name::Entropy() {
  static std::atomic<std::uint64_t> counter{0};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const std::uint64_t local = 0;
  return (static_cast<std::uint64_t>(getpid()) << 40) ^ static_cast<std::uint64_t>(now.tv_nsec) ^
         (static_cast<std::uint64_t>(now.tv_sec) << 20) ^ (counter++ << 52) ^ reinterpret_cast<std::uintptr_t>(&local);
}

ReadOutcome ReadWholeFile(const std::filesystem::path& path) {
  ReadOutcome outcome;
  Descriptor file;
  file.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.fd < 0) return file_steps::NotOpened<ReadOutcome>(LastSystemError());
  struct stat status {};
  if (fstat(file.fd, &status) != 0 || status.st_size < 0) status.st_size = 0;
  file_steps::ReadAll(outcome, static_cast<unsigned long long>(status.st_size), SystemError(EFBIG),
                      [&](char* at, std::size_t room, FileError& error) -> long long {
                        for (;;) {
                          const ssize_t count = read(file.fd, at, room);
                          if (count >= 0) return count;
                          if (errno != EINTR) {
                            error = LastSystemError();
                            return -1;
                          }
                        }
                      });
  return outcome;
}

PublishOutcome PublishFile(const std::filesystem::path& link, const FileWriter& write, const PublishOptions& options) {
  using Step = PublishOutcome::Step;
  const std::filesystem::path target = ThroughLinks(link);
  struct stat rules {};
  const bool replaces = stat(target.c_str(), &rules) == 0;
  if (replaces && (rules.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    return {Step::ReadOnly, FileError{EACCES, FileErrorKind::ReadOnly}};
  bool takes = replaces;
  FileError rulesError;
  if (!replaces && !StrictestRulesOf(options.securityFrom, rules, takes, rulesError))
    return {Step::Security, rulesError};
  const std::filesystem::path folder = target.parent_path();

  // Private at first when it takes rules: they may be stricter than the
  // folder's default.
  std::unique_ptr<WritingFile> file;
  for (unsigned attempt = 0; attempt < 100 && !file; ++attempt) {
    const std::filesystem::path temporary =
        folder / std::filesystem::u8path(temporary_name::For(target.filename().u8string(), temporary_name::Entropy()));
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, takes ? 0600 : 0644);
    if (fd >= 0) {
      file = std::make_unique<WritingFile>(fd, temporary);
    } else if (errno != EEXIST) {
      break;
    }
  }
  if (!file) return {Step::CreateTemporary, LastSystemError()};
  file->PublishAs(target, replaces);
  // Held while it is written: a temporary nobody holds is a leftover. Another
  // save looking at it holds it for a moment only.
  FileError error;
  if (!HoldWhileWriting(file->Fd(), error)) {
    file->RemoveTemporary();
    return {Step::CreateTemporary, error};
  }
  if (takes && !GiveRules(file->Fd(), rules, error)) {
    file->RemoveTemporary();
    return {Step::Security, error};
  }
  return file_steps::WriteAndPublish(*file, write, options);
}

bool SwapByRename(const std::filesystem::path& temporary, const std::filesystem::path& target, bool targetExists,
                  FileError& error) {
  // A file that appeared meanwhile is not replaced unseen.
  if (!targetExists) return RestoreTemporary(temporary, target, error);
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    error = LastSystemError();
    return false;
  }
  SyncFolder(target.parent_path());
  return true;
}

std::vector<TemporaryFile> FindTemporaries(const std::filesystem::path& link) {
  const std::filesystem::path target = ThroughLinks(link);
  const std::filesystem::path folder = target.parent_path();
  const std::string targetName = target.filename().u8string();
  std::vector<TemporaryFile> found;
  DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
  if (!listing) return found;
  const time_t now = time(nullptr);
  while (const dirent* entry = readdir(listing)) {
    if (!temporary_name::IsOneOf(targetName, entry->d_name)) continue;
    TemporaryFile temporary;
    temporary.path = folder / entry->d_name;
    const int fd = open(temporary.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      temporary.link = errno == ELOOP;
      if (temporary.link) found.push_back(std::move(temporary));
      continue;
    }
    struct stat status {};
    if (fstat(fd, &status) == 0) temporary.ageSeconds = now > status.st_mtime ? now - status.st_mtime : 0;
    // A publish holds the lock from just after making the file.
    temporary.inUse = flock(fd, LOCK_SH | LOCK_NB) != 0;
    close(fd);
    found.push_back(std::move(temporary));
  }
  closedir(listing);
  return found;
}

namespace {

FileStamp StampOfStatus(const struct stat& status) {
  FileStamp stamp;
  stamp.exists = true;
  stamp.size = static_cast<std::uint64_t>(status.st_size);
  stamp.modified = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
  stamp.identity = static_cast<std::uint64_t>(status.st_ino) ^ (static_cast<std::uint64_t>(status.st_dev) << 40);
  return stamp;
}

}  // namespace

FileStamp StampOf(const std::filesystem::path& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return FileStamp{};
  return StampOfStatus(status);
}

FileFingerprint FingerprintOf(const std::filesystem::path& path) {
  FileFingerprint print;
  Descriptor file;
  file.fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat status {};
  if (file.fd < 0 || fstat(file.fd, &status) != 0) {
    print.read = file.fd < 0 && (errno == ENOENT || errno == ENOTDIR);
    return print;
  }
  print.stamp = StampOfStatus(status);
  print.read = file_steps::DigestEnds(
      print.stamp.size,
      [&](std::uint64_t offset, char* at, std::size_t count) {
        while (count > 0) {
          const ssize_t got = pread(file.fd, at, count, static_cast<off_t>(offset));
          if (got < 0 && errno == EINTR) continue;
          if (got <= 0) return false;
          offset += static_cast<std::uint64_t>(got);
          at += got;
          count -= static_cast<std::size_t>(got);
        }
        return true;
      },
      print.ends);
  return print;
}

bool IsLink(const std::filesystem::path& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

namespace {

// Opens `path` to remove it, not through a link, and holds it: false with
// `outcome` saying why not. Whoever writes it (a publish, its temporary)
// holds the same lock.
bool OpenToRemove(const std::filesystem::path& path, Descriptor& file, RemoveOutcome& outcome) {
  using State = RemoveOutcome::State;
  // A link is not opened (and never read: it may lead anywhere).
  file.fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (file.fd < 0) {
    outcome.state = errno == ELOOP ? State::Link : errno == ENOENT ? State::Missing : State::Failed;
    outcome.error = LastSystemError();
    return false;
  }
  if (flock(file.fd, LOCK_EX | LOCK_NB) != 0) {
    outcome.state = errno == EWOULDBLOCK ? State::InUse : State::Failed;
    outcome.error = LastSystemError();
    return false;
  }
  return true;
}

// unlink removes the name alone, never what a link leads to.
void Unlink(const std::filesystem::path& path, RemoveOutcome& outcome) {
  if (unlink(path.c_str()) != 0) {
    outcome.state = errno == ENOENT ? RemoveOutcome::State::Missing : RemoveOutcome::State::Failed;
    outcome.error = LastSystemError();
  }
}

// An open file read from where it stands, for a ContentCheck.
class DescriptorReader final : public ByteSource {
 public:
  explicit DescriptorReader(int fd) : fd_(fd) {}
  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override {
    for (;;) {
      const ssize_t count = read(fd_, buffer, capacity);
      if (count >= 0) return static_cast<std::size_t>(count);
      if (errno != EINTR) return std::nullopt;
    }
  }

 private:
  int fd_;
};

}  // namespace

RemoveOutcome RemoveTemporary(const std::filesystem::path& temporary) {
  RemoveOutcome outcome;
  // A publish holds its temporary locked while it writes it.
  Descriptor file;
  if (OpenToRemove(temporary, file, outcome)) Unlink(temporary, outcome);
  return outcome;
}

RemoveOutcome RemoveIfHolds(const std::filesystem::path& path, const ContentCheck& check) {
  RemoveOutcome outcome;
  Descriptor file;
  if (!OpenToRemove(path, file, outcome)) return outcome;
  DescriptorReader content(file.fd);
  struct stat judged {};
  if (!check(content) || fstat(file.fd, &judged) != 0) {
    outcome.state = RemoveOutcome::State::Differs;
    return outcome;
  }
  // POSIX cannot remove an open file, only a name: the best it allows is to
  // remove the name only while it still leads to the file judged. A file put
  // under the name between this look and the unlink is the gap left.
  struct stat named {};
  if (lstat(path.c_str(), &named) != 0 || named.st_dev != judged.st_dev || named.st_ino != judged.st_ino) {
    outcome.state = RemoveOutcome::State::Differs;
    return outcome;
  }
  Unlink(path, outcome);
  return outcome;
}

bool RestoreTemporary(const std::filesystem::path& temporary, const std::filesystem::path& target, FileError& error) {
  // A hard link fails on an existing name, where a rename would replace it.
  if (link(temporary.c_str(), target.c_str()) != 0) {
    error = LastSystemError();
    struct stat status {};
    // Where the file system has no hard links, the name is checked first.
    if (errno == EEXIST || lstat(target.c_str(), &status) == 0) return false;
    if (rename(temporary.c_str(), target.c_str()) != 0) {
      error = LastSystemError();
      return false;
    }
    SyncFolder(target.parent_path());
    error = {};
    return true;
  }
  error = unlink(temporary.c_str()) == 0 ? FileError{} : LastSystemError();
  SyncFolder(target.parent_path());
  return true;
}

AppendOutcome AppendToFile(const std::filesystem::path& path, const AppendWriter& write,
                           const std::vector<std::filesystem::path>& securityFrom, std::chrono::milliseconds patience) {
  AppendOutcome outcome;
  // The rules a file made here takes; private until it has them.
  struct stat rules {};
  bool takes = false;
  FileError rulesError;
  const bool rulesKnown = StrictestRulesOf(securityFrom, rules, takes, rulesError);
  // Creating exclusively first tells reliably whether this call made the file.
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, takes || !rulesKnown ? 0600 : 0644);
  outcome.created = fd >= 0;
  if (!outcome.created && errno == EEXIST) fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return file_steps::OpenFailed(LastSystemError());
  WritingFile file(fd, path);
  // No other writer in between, or cutting back could cut its part off.
  struct stat before {};
  bool locked = false;
  RetryWhileRefused(patience, [&] {
    locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
    return !locked && errno == EWOULDBLOCK;
  });
  if (!locked || fstat(fd, &before) != 0) {
    AppendOutcome failed = file_steps::OpenFailed(LastSystemError());
    failed.created = outcome.created;
    if (outcome.created) file.RemoveCreated();
    return failed;
  }
  if (outcome.created && (!rulesKnown || (takes && !GiveRules(fd, rules, rulesError)))) {
    file.RemoveCreated();
    AppendOutcome failed;
    failed.step = AppendOutcome::Step::Security;
    failed.error = rulesError;
    failed.created = true;
    return failed;
  }
  file.AppendAfter(before.st_size);
  return file_steps::WriteAndKeepOrTakeBack(file, write, outcome);
}

std::intptr_t OpenLockFile(const std::filesystem::path& lockFile, bool, FileError& error) {
  // Removed by its holder as it lets go (Release), not by the system.
  const int fd = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) error = LastSystemError();
  return fd;
}

FileLock::Outcome FileLock::Acquire(const std::filesystem::path& lockFile, std::chrono::milliseconds patience,
                                    FileError& error) {
  Release();
  const OpenLockStep& openLock = open_ ? open_ : OpenLockStep(OpenLockFile);
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    const int fd = static_cast<int>(openLock(lockFile, true, error));
    if (fd < 0) {
      error = SystemError(error.code);  // the step may give the code alone
      return Outcome::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // The holder before us removes the file as it lets go: a lock on a file
      // that no longer has this name guards nothing.
      struct stat held {
      }, named{};
      if (fstat(fd, &held) == 0 && stat(lockFile.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
          held.st_dev == named.st_dev) {
        path_ = lockFile;
        native_ = fd;
        return Outcome::Held;
      }
      close(fd);
      continue;
    }
    const int code = errno;
    close(fd);
    if (code != EWOULDBLOCK && code != EINTR) {
      error = SystemError(static_cast<std::uint32_t>(code));
      return Outcome::Failed;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      error = SystemError(EWOULDBLOCK);
      return Outcome::Busy;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void FileLock::Release() {
  if (native_ < 0) return;
  // Removed while still held, so that nobody locks a file about to vanish.
  unlink(path_.c_str());
  close(static_cast<int>(native_));
  native_ = -1;
}
