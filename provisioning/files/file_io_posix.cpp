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
#include <thread>

#include "provisioning/files/buffered_sink.h"
#include "provisioning/files/file_io.h"
#include "provisioning/files/temporary_name.h"

namespace {

FileError LastError() { return FileError{static_cast<std::uint32_t>(errno), false}; }

// Closes the descriptor unless it was handed back.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
  // Closes now; false (and `error`) when closing reported a failure.
  bool Close(FileError& error) {
    const int closing = fd;
    fd = -1;
    if (close(closing) == 0) return true;
    error = LastError();
    return false;
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
        error = LastError();
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

AppendOutcome Failed(AppendOutcome::Step step, FileError error, bool created = false) {
  AppendOutcome outcome;
  outcome.step = step;
  outcome.error = error;
  outcome.created = created;
  return outcome;
}

std::uint64_t Entropy() {
  static std::atomic<std::uint64_t> counter{0};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const std::uint64_t local = 0;
  return (static_cast<std::uint64_t>(getpid()) << 40) ^ static_cast<std::uint64_t>(now.tv_nsec) ^
         (static_cast<std::uint64_t>(now.tv_sec) << 20) ^ (counter++ << 52) ^
         reinterpret_cast<std::uintptr_t>(&local);
}

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

// Removes what earlier saves of `targetName` left behind: temporaries of ours
// that no running save holds locked and that were last written a while ago
// (a save takes its lock just after creating the file).
void RemoveStaleTemporaries(const std::filesystem::path& folder, const std::string& targetName) {
  DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
  if (!listing) return;
  const time_t now = time(nullptr);
  while (const dirent* entry = readdir(listing)) {
    if (!temporary_name::IsOneOf(targetName, entry->d_name)) continue;
    const std::filesystem::path path = folder / entry->d_name;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat status {};
    if (fstat(fd, &status) == 0 && now - status.st_mtime >= temporary_name::kStaleAfterSeconds &&
        flock(fd, LOCK_EX | LOCK_NB) == 0) {
      unlink(path.c_str());
    }
    close(fd);
  }
  closedir(listing);
}

}  // namespace

std::string FileErrorText(const FileError& error) {
  return "error " + std::to_string(error.code) + ": " + std::strerror(static_cast<int>(error.code));
}

ReadOutcome ReadWholeFile(const std::filesystem::path& path) {
  ReadOutcome outcome;
  Descriptor file;
  file.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return outcome;  // Missing
    outcome.state = ReadOutcome::State::Failed;
    outcome.error = LastError();
    return outcome;
  }
  // Read straight into the result; one byte of room beyond the size seen
  // notices a file that grows meanwhile.
  struct stat status {};
  if (fstat(file.fd, &status) != 0) status.st_size = 0;
  std::string& bytes = outcome.bytes;
  if (static_cast<unsigned long long>(status.st_size) >= bytes.max_size()) {
    outcome.state = ReadOutcome::State::Failed;
    outcome.error = FileError{EFBIG, false, true};
    return outcome;
  }
  const std::size_t expected = status.st_size > 0 ? static_cast<std::size_t>(status.st_size) : 0;
  bytes.resize(expected + 1 > 4096 ? expected + 1 : 4096);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t count = read(file.fd, &bytes[used], bytes.size() - used);
    if (count < 0) {
      if (errno == EINTR) continue;
      outcome.state = ReadOutcome::State::Failed;
      outcome.error = LastError();
      outcome.bytes.clear();
      return outcome;
    }
    if (count == 0) break;
    used += static_cast<std::size_t>(count);
  }
  bytes.resize(used);
  outcome.state = ReadOutcome::State::Read;
  return outcome;
}

PublishOutcome PublishFile(const std::filesystem::path& link, const FileWriter& write) {
  using Step = PublishOutcome::Step;
  PublishOutcome outcome;
  const std::filesystem::path target = ThroughLinks(link);
  struct stat existing {};
  const bool exists = stat(target.c_str(), &existing) == 0;
  if (exists && (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return {Step::ReadOnly, {EACCES}};
  const std::filesystem::path folder = target.parent_path();
  RemoveStaleTemporaries(folder, target.filename().u8string());

  // Private at first when it replaces a file: that file's mode may be stricter.
  std::filesystem::path temporary;
  Descriptor file;
  for (unsigned attempt = 0; attempt < 100 && file.fd < 0; ++attempt) {
    temporary = folder / std::filesystem::u8path(temporary_name::For(target.filename().u8string(), Entropy()));
    file.fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0644);
    if (file.fd < 0 && errno != EEXIST) break;
  }
  if (file.fd < 0) return {Step::CreateTemporary, LastError()};
  // Held until the file is in place: a temporary nobody holds is a leftover.
  flock(file.fd, LOCK_EX | LOCK_NB);
  if (exists) {
    // The owner can be kept only by a privileged process; the mode always.
    if (fchown(file.fd, existing.st_uid, existing.st_gid) != 0) {
      // Files we may replace but not own end up ours, as any new file would.
    }
    if (fchmod(file.fd, existing.st_mode & 07777) != 0) {
      outcome = {Step::CreateTemporary, LastError()};
      unlink(temporary.c_str());
      return outcome;
    }
  }

  DescriptorSink sink(file.fd);
  bool complete = false;
  try {
    complete = write(sink);
  } catch (...) {
    unlink(temporary.c_str());
    throw;
  }
  if (!sink.Flush()) {
    outcome = {Step::Write, sink.error};
  } else if (!complete) {
    outcome.step = Step::Cancelled;
  } else if (fsync(file.fd) != 0) {
    outcome = {Step::Write, LastError()};
  }
  if (outcome.Published() && rename(temporary.c_str(), target.c_str()) != 0) {
    outcome = {Step::Replace, LastError()};
  }
  if (!outcome.Published()) {
    unlink(temporary.c_str());
    return outcome;
  }
  // Closing after the rename keeps the lock to the end; the data is durable already.
  FileError ignored;
  file.Close(ignored);
  SyncFolder(folder);
  return outcome;
}

AppendOutcome AppendToFile(const std::filesystem::path& path, const AppendWriter& write) {
  using Step = AppendOutcome::Step;
  AppendOutcome outcome;
  // Creating exclusively first tells reliably whether this call made the file.
  Descriptor file;
  file.fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  outcome.created = file.fd >= 0;
  if (!outcome.created && errno == EEXIST) file.fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (file.fd < 0) return Failed(Step::Open, LastError());
  // No other writer in between, or cutting back could cut its part off.
  struct stat before {};
  if (flock(file.fd, LOCK_EX | LOCK_NB) != 0) {
    outcome = Failed(Step::Open, FileError{static_cast<std::uint32_t>(errno), errno == EWOULDBLOCK}, outcome.created);
  } else if (fstat(file.fd, &before) != 0) {
    outcome = Failed(Step::Open, LastError(), outcome.created);
  }
  if (outcome.step == Step::Open) {
    if (outcome.created) unlink(path.c_str());
    return outcome;
  }

  DescriptorSink sink(file.fd);
  bool complete = false;
  try {
    complete = write(sink, outcome.created);
  } catch (...) {
    // Nothing of a writer that failed this way stays either.
    if (outcome.created) {
      unlink(path.c_str());
    } else {
      static_cast<void>(ftruncate(file.fd, before.st_size));
    }
    throw;
  }
  if (!sink.Flush()) {
    outcome.step = Step::Write;
    outcome.error = sink.error;
  } else if (!complete) {
    outcome.step = Step::Cancelled;
  }
  if (!outcome.Appended()) {
    // A file this call created would otherwise start without its header next time.
    if (outcome.created) {
      unlink(path.c_str());
    } else if (ftruncate(file.fd, before.st_size) != 0) {
      outcome.restored = false;
      outcome.restoreError = LastError();
    }
  }
  FileError closeError;
  if (!file.Close(closeError) && outcome.Appended()) {
    outcome.step = Step::Write;
    outcome.error = closeError;
  }
  return outcome;
}

FileLock::Outcome FileLock::Acquire(const std::filesystem::path& lockFile,
                                    std::chrono::milliseconds patience, FileError& error) {
  Release();
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    const int fd = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      error = LastError();
      return Outcome::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // The holder before us removes the file as it lets go: a lock on a file
      // that no longer has this name guards nothing.
      struct stat held {}, named {};
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
      error = FileError{static_cast<std::uint32_t>(code), false};
      return Outcome::Failed;
    }
    if (std::chrono::steady_clock::now() >= deadline) return Outcome::Busy;
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
