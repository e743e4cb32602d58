// Only the kernel's file API: no window-system headers here.
#include <windef.h>
#include <winbase.h>

#include "files/file_source.h"
#include "files/file_steps.h"
#include "files/read_sharing_win.h"
#include "files/scoped_handle_win.h"

namespace {

class HandleSource final : public FileSource {
 public:
  explicit HandleSource(HANDLE handle) : handle_(handle) {}

  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override {
    const std::optional<std::size_t> got = ReadFromHandle(handle_.Get(), buffer, capacity);
    if (!got) error = LastSystemError();
    return got;
  }

 private:
  ScopedHandle handle_;
};

OpenForReadingOutcome OpenSharing(const std::filesystem::path& path, DWORD sharing) {
  OpenForReadingOutcome outcome;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file_steps::NotOpened<OpenForReadingOutcome>(LastSystemError());
  outcome.state = OpenForReadingOutcome::State::Opened;
  outcome.source = std::make_unique<HandleSource>(file);
  return outcome;
}

}  // namespace

OpenForReadingOutcome OpenForReading(const std::filesystem::path& path) { return OpenSharing(path, kReadSharing); }

OpenForReadingOutcome OpenSharedForReading(const std::filesystem::path& path) {
  return OpenSharing(path, kSharedReadSharing);
}
