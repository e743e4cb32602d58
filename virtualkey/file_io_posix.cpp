#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "virtualkey/file_io.h"

namespace {

std::string ErrnoProblem(const char* action, const std::filesystem::path& path) {
  return std::string(action) + " " + path.string() + ": " + std::strerror(errno);
}

// Closes the descriptor unless it was handed back.
struct FileDescriptor {
  int fd = -1;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

ReadOutcome ReadWholeFile(const std::filesystem::path& path, std::string& bytes,
                          std::string& problem) {
  FileDescriptor file;
  file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.fd < 0) {
    if (errno == ENOENT) return ReadOutcome::Missing;
    problem = ErrnoProblem("cannot open", path);
    return ReadOutcome::Failed;
  }
  std::string content;
  char buffer[8192];
  for (;;) {
    const ssize_t count = ::read(file.fd, buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      problem = ErrnoProblem("cannot read", path);
      return ReadOutcome::Failed;
    }
    if (count == 0) break;
    content.append(buffer, static_cast<std::size_t>(count));
  }
  bytes = std::move(content);
  return ReadOutcome::Read;
}

bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string& problem) {
  static std::atomic<unsigned> sequence{0};
  std::filesystem::path temporary = path;
  temporary += std::string(kTemporaryFileMarker) + std::to_string(::getpid()) + "-" +
               std::to_string(sequence++);

  FileDescriptor file;
  file.fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (file.fd < 0) {
    problem = ErrnoProblem("cannot create", temporary);
    return false;
  }
  bool ok = WriteAll(file.fd, bytes);
  if (!ok) problem = ErrnoProblem("cannot write", temporary);
  if (ok && ::fsync(file.fd) != 0) {
    problem = ErrnoProblem("cannot flush", temporary);
    ok = false;
  }
  const int fd = file.fd;
  file.fd = -1;
  if (::close(fd) != 0 && ok) {
    problem = ErrnoProblem("cannot close", temporary);
    ok = false;
  }
  if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
    problem = ErrnoProblem("cannot replace", path);
    ok = false;
  }
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}
