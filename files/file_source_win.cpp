// Only the kernel's file API: no window-system headers here.
#include <windef.h>
#include <winbase.h>

#include "files/file_source.h"
#include "files/scoped_handle_win.h"

namespace {

FileError ErrorFrom(DWORD code) {
  return FileError{static_cast<std::uint32_t>(code), code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION};
}

class HandleSource final : public FileSource {
 public:
  explicit HandleSource(HANDLE handle) : handle_(handle) {}

  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override {
    DWORD count = 0;
    const DWORD chunk = capacity > 0x40000000u ? 0x40000000u : static_cast<DWORD>(capacity);
    if (!ReadFile(handle_.Get(), buffer, chunk, &count, nullptr)) {
      error = ErrorFrom(GetLastError());
      return std::nullopt;
    }
    return count;
  }

 private:
  ScopedHandle handle_;
};

}  // namespace

OpenForReadingOutcome OpenForReading(const std::filesystem::path& path) {
  OpenForReadingOutcome outcome;
  // No writer may share: a file being written is not read half-way. Sharing
  // delete lets the new version replace it.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return outcome;  // Missing
    outcome.state = OpenForReadingOutcome::State::Failed;
    outcome.error = ErrorFrom(code);
    return outcome;
  }
  outcome.state = OpenForReadingOutcome::State::Opened;
  outcome.source = std::make_unique<HandleSource>(file);
  return outcome;
}
