#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "files/file_source.h"
#include "files/file_steps.h"

namespace {

class DescriptorSource final : public FileSource {
 public:
  explicit DescriptorSource(int fd) : fd_(fd) {}
  ~DescriptorSource() override { close(fd_); }
  DescriptorSource(const DescriptorSource&) = delete;
  DescriptorSource& operator=(const DescriptorSource&) = delete;

  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override {
    for (;;) {
      const ssize_t count = read(fd_, buffer, capacity);
      if (count >= 0) return static_cast<std::size_t>(count);
      if (errno == EINTR) continue;
      error = LastSystemError();
      return std::nullopt;
    }
  }

 private:
  int fd_;
};

}  // namespace

OpenForReadingOutcome OpenForReading(const std::filesystem::path& path) {
  OpenForReadingOutcome outcome;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return file_steps::NotOpened<OpenForReadingOutcome>(LastSystemError());
  outcome.state = OpenForReadingOutcome::State::Opened;
  outcome.source = std::make_unique<DescriptorSource>(fd);
  return outcome;
}

// Nobody is kept from writing a file here in any case.
OpenForReadingOutcome OpenSharedForReading(const std::filesystem::path& path) { return OpenForReading(path); }
