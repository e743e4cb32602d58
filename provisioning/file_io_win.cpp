// Seed-file operations on Windows. Only the kernel's file API: no window-system
// headers here.
#include <windef.h>
#include <winbase.h>

#include <string>

#include "provisioning/seed_file_system.h"

namespace {

FileError ErrorFrom(DWORD code) {
  return FileError{static_cast<std::uint32_t>(code),
                   code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION};
}

FileError LastError() { return ErrorFrom(GetLastError()); }

class Win32OutputFile final : public OutputFile {
 public:
  Win32OutputFile(HANDLE handle, bool durable) : handle_(handle), durable_(durable) {}
  ~Win32OutputFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }

  bool Write(const void* data, std::size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteFile(handle_, bytes, chunk, &written, nullptr)) {
        error = LastError();
        return false;
      }
      if (written == 0) {
        error = ErrorFrom(ERROR_WRITE_FAULT);
        return false;
      }
      bytes += written;
      size -= written;
    }
    return true;
  }

  bool Finish() override {
    bool ok = true;
    if (durable_ && !FlushFileBuffers(handle_)) {
      error = LastError();
      ok = false;
    }
    if (!CloseHandle(handle_) && ok) {
      error = LastError();
      ok = false;
    }
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_;
  bool durable_;
};

class Win32SeedFileSystem final : public SeedFileSystem {
 public:
  ReadOutcome ReadWholeFile(const std::filesystem::path& path) override {
    ReadOutcome outcome;
    // Sharing reads only: a file that someone is writing right now is not read half-way.
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return outcome;
      outcome.state = ReadOutcome::State::Failed;
      outcome.error = ErrorFrom(code);
      return outcome;
    }
    // Read straight into the result; one byte of room beyond the size seen
    // notices a file that grows meanwhile.
    LARGE_INTEGER size{};
    const std::size_t expected =
        GetFileSizeEx(handle, &size) && size.QuadPart > 0 ? static_cast<std::size_t>(size.QuadPart) : 0;
    std::string& bytes = outcome.bytes;
    bytes.resize(expected + 1 > 4096 ? expected + 1 : 4096);
    std::size_t used = 0;
    for (;;) {
      if (used == bytes.size()) bytes.resize(bytes.size() * 2);
      const std::size_t room = bytes.size() - used;
      DWORD count = 0;
      if (!ReadFile(handle, &bytes[used], room > 0x40000000u ? 0x40000000u : static_cast<DWORD>(room),
                    &count, nullptr)) {
        outcome.state = ReadOutcome::State::Failed;
        outcome.error = LastError();
        outcome.bytes.clear();
        CloseHandle(handle);
        return outcome;
      }
      if (count == 0) break;
      used += count;
    }
    bytes.resize(used);
    CloseHandle(handle);
    outcome.state = ReadOutcome::State::Read;
    return outcome;
  }

  std::unique_ptr<OutputFile> CreateTemporaryBeside(const std::filesystem::path& target,
                                                    std::filesystem::path& temporaryPath,
                                                    FileError& error) override {
    const std::wstring stem =
        target.filename().wstring() + L"." + std::to_wstring(GetCurrentProcessId()) + L".";
    DWORD code = ERROR_FILE_EXISTS;
    for (unsigned attempt = 0; attempt < 100 && code == ERROR_FILE_EXISTS; ++attempt) {
      temporaryPath = target.parent_path() / (stem + std::to_wstring(attempt) + L".tmp");
      const HANDLE handle = CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) return std::make_unique<Win32OutputFile>(handle, true);
      code = GetLastError();
    }
    error = ErrorFrom(code);
    return nullptr;
  }

  bool Replace(const std::filesystem::path& from, const std::filesystem::path& to,
               FileError& error) override {
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      error = LastError();
      return false;
    }
    return true;
  }

  void Remove(const std::filesystem::path& path) override { DeleteFileW(path.c_str()); }

  std::unique_ptr<OutputFile> OpenForAppend(const std::filesystem::path& path, bool& created,
                                            FileError& error) override {
    // No sharing: while the row is written nobody else can write in between.
    const HANDLE handle = CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      error = LastError();
      return nullptr;
    }
    // OPEN_ALWAYS says in the same call whether the file was already there.
    created = GetLastError() != ERROR_ALREADY_EXISTS;
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(handle, zero, nullptr, FILE_END)) {
      error = LastError();
      CloseHandle(handle);
      return nullptr;
    }
    return std::make_unique<Win32OutputFile>(handle, false);
  }
};

}  // namespace

SeedFileSystem& SystemSeedFileSystem() {
  static Win32SeedFileSystem fileSystem;
  return fileSystem;
}
