// Seed-file operations on POSIX systems, where the core is built and tested
// natively.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "provisioning/seed_file_system.h"

namespace {

FileError LastError() { return FileError{static_cast<std::uint32_t>(errno), false}; }

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(int descriptor, bool durable) : descriptor_(descriptor), durable_(durable) {}
  ~PosixOutputFile() override {
    if (descriptor_ >= 0) close(descriptor_);
  }

  bool Write(const void* data, std::size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t written = write(descriptor_, bytes, size);
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

  bool Finish() override {
    bool ok = true;
    if (durable_ && fsync(descriptor_) != 0) {
      error = LastError();
      ok = false;
    }
    if (close(descriptor_) != 0 && ok) {
      error = LastError();
      ok = false;
    }
    descriptor_ = -1;
    return ok;
  }

 private:
  int descriptor_;
  bool durable_;
};

class PosixSeedFileSystem final : public SeedFileSystem {
 public:
  ReadOutcome ReadWholeFile(const std::filesystem::path& path) override {
    ReadOutcome outcome;
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
      if (errno == ENOENT || errno == ENOTDIR) return outcome;  // Missing
      outcome.state = ReadOutcome::State::Failed;
      outcome.error = LastError();
      return outcome;
    }
    // Read straight into the result; one byte of room beyond the size seen
    // notices a file that grows meanwhile.
    struct stat status {};
    const std::size_t expected =
        fstat(descriptor, &status) == 0 && status.st_size > 0 ? static_cast<std::size_t>(status.st_size) : 0;
    std::string& bytes = outcome.bytes;
    bytes.resize(expected + 1 > 4096 ? expected + 1 : 4096);
    std::size_t used = 0;
    for (;;) {
      if (used == bytes.size()) bytes.resize(bytes.size() * 2);
      const ssize_t count = read(descriptor, &bytes[used], bytes.size() - used);
      if (count < 0) {
        if (errno == EINTR) continue;
        outcome.state = ReadOutcome::State::Failed;
        outcome.error = LastError();
        outcome.bytes.clear();
        close(descriptor);
        return outcome;
      }
      if (count == 0) break;
      used += static_cast<std::size_t>(count);
    }
    bytes.resize(used);
    close(descriptor);
    outcome.state = ReadOutcome::State::Read;
    return outcome;
  }

  std::unique_ptr<OutputFile> CreateTemporaryBeside(const std::filesystem::path& target,
                                                    std::filesystem::path& temporaryPath,
                                                    FileError& error) override {
    const std::string stem = target.filename().string() + "." + std::to_string(getpid()) + ".";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      temporaryPath = target.parent_path() / (stem + std::to_string(attempt) + ".tmp");
      const int descriptor =
          open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (descriptor >= 0) return std::make_unique<PosixOutputFile>(descriptor, true);
      if (errno != EEXIST) break;
    }
    error = LastError();
    return nullptr;
  }

  bool Replace(const std::filesystem::path& from, const std::filesystem::path& to,
               FileError& error) override {
    if (rename(from.c_str(), to.c_str()) != 0) {
      error = LastError();
      return false;
    }
    // Make the new directory entry durable too.
    const int folder = open(to.parent_path().empty() ? "." : to.parent_path().c_str(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      fsync(folder);
      close(folder);
    }
    return true;
  }

  void Remove(const std::filesystem::path& path) override { unlink(path.c_str()); }

  std::unique_ptr<OutputFile> OpenForAppend(const std::filesystem::path& path, bool& created,
                                            FileError& error) override {
    // Creating exclusively first tells reliably whether this call made the file.
    int descriptor = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    created = descriptor >= 0;
    if (!created && errno == EEXIST) {
      descriptor = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    }
    if (descriptor < 0) {
      error = LastError();
      return nullptr;
    }
    return std::make_unique<PosixOutputFile>(descriptor, false);
  }
};

}  // namespace

SeedFileSystem& SystemSeedFileSystem() {
  static PosixSeedFileSystem fileSystem;
  return fileSystem;
}
