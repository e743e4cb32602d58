// The file operations on Windows. Only the kernel's file API: no window-system
// headers here.
#include <windef.h>
#include <winbase.h>

#include <atomic>

#include "provisioning/files/buffered_sink.h"
#include "provisioning/files/file_io.h"

namespace {

FileError ErrorFrom(DWORD code) {
  return FileError{static_cast<std::uint32_t>(code),
                   code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION};
}

FileError LastError() { return ErrorFrom(GetLastError()); }

// Closes the handle unless it was handed back.
struct Handle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~Handle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  bool Valid() const { return handle != INVALID_HANDLE_VALUE; }
  // Closes now; false (and `error`) when closing reported a failure.
  bool Close(FileError& error) {
    const HANDLE closing = handle;
    handle = INVALID_HANDLE_VALUE;
    if (CloseHandle(closing)) return true;
    error = LastError();
    return false;
  }
};

class HandleSink final : public BufferedSink {
 public:
  explicit HandleSink(HANDLE handle) : handle_(handle) {}
  FileError error;

 protected:
  bool WriteOut(const void* data, std::size_t size) override {
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

 private:
  HANDLE handle_;
};

AppendOutcome Failed(AppendOutcome::Step step, FileError error, bool created = false) {
  AppendOutcome outcome;
  outcome.step = step;
  outcome.error = error;
  outcome.created = created;
  return outcome;
}

}  // namespace

std::string FileErrorText(const FileError& error) {
  std::string text = "error " + std::to_string(error.code);
  char words[256] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error.code,
                     0, words, sizeof words, nullptr);
  std::string said(words, length);
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ' ||
                           said.back() == '.')) {
    said.pop_back();
  }
  if (!said.empty()) text += ": " + said;
  return text;
}

ReadOutcome ReadWholeFile(const std::filesystem::path& path) {
  ReadOutcome outcome;
  // No writer may share: a file that someone is writing right now is not read
  // half-way. Sharing delete lets a new version replace it meanwhile.
  Handle file;
  file.handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!file.Valid()) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return outcome;
    outcome.state = ReadOutcome::State::Failed;
    outcome.error = ErrorFrom(code);
    return outcome;
  }
  // Read straight into the result; one byte of room beyond the size seen
  // notices a file that grows meanwhile.
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.handle, &size)) size.QuadPart = 0;
  std::string& bytes = outcome.bytes;
  if (static_cast<unsigned long long>(size.QuadPart) >= bytes.max_size()) {
    outcome.state = ReadOutcome::State::Failed;
    outcome.error = FileError{ERROR_FILE_TOO_LARGE, false, true};
    return outcome;
  }
  const std::size_t expected = size.QuadPart > 0 ? static_cast<std::size_t>(size.QuadPart) : 0;
  bytes.resize(expected + 1 > 4096 ? expected + 1 : 4096);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const std::size_t room = bytes.size() - used;
    DWORD count = 0;
    if (!ReadFile(file.handle, &bytes[used], room > 0x40000000u ? 0x40000000u : static_cast<DWORD>(room),
                  &count, nullptr)) {
      outcome.state = ReadOutcome::State::Failed;
      outcome.error = LastError();
      outcome.bytes.clear();
      return outcome;
    }
    if (count == 0) break;
    used += count;
  }
  bytes.resize(used);
  outcome.state = ReadOutcome::State::Read;
  return outcome;
}

PublishOutcome PublishFile(const std::filesystem::path& target, const FileWriter& write) {
  using Step = PublishOutcome::Step;
  PublishOutcome outcome;
  static std::atomic<unsigned> sequence{0};
  const std::wstring stem =
      target.filename().wstring() + L"." + std::to_wstring(GetCurrentProcessId()) + L".";
  std::filesystem::path temporary;
  Handle file;
  DWORD code = ERROR_FILE_EXISTS;
  for (unsigned attempt = 0; attempt < 100 && code == ERROR_FILE_EXISTS; ++attempt) {
    temporary = target.parent_path() / (stem + std::to_wstring(sequence++) + L".tmp");
    file.handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.Valid()) break;
    code = GetLastError();
  }
  if (!file.Valid()) return {Step::CreateTemporary, ErrorFrom(code)};

  HandleSink sink(file.handle);
  bool complete = false;
  try {
    complete = write(sink);
  } catch (...) {
    file.Close(outcome.error);
    DeleteFileW(temporary.c_str());
    throw;
  }
  if (!sink.Flush()) {
    outcome = {Step::Write, sink.error};
  } else if (!complete) {
    outcome.step = Step::Cancelled;
  } else if (!FlushFileBuffers(file.handle)) {
    outcome = {Step::Write, LastError()};
  }
  FileError closeError;
  if (!file.Close(closeError) && outcome.Published()) outcome = {Step::Write, closeError};
  if (outcome.Published() &&
      !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    outcome = {Step::Replace, LastError()};
  }
  if (!outcome.Published()) DeleteFileW(temporary.c_str());
  return outcome;
}

AppendOutcome AppendToFile(const std::filesystem::path& path, const AppendWriter& write) {
  using Step = AppendOutcome::Step;
  AppendOutcome outcome;
  // No sharing: while the row is written nobody else can write in between.
  // Write access beyond appending is what cutting back needs.
  Handle file;
  file.handle = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_WRITE_DATA, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!file.Valid()) return Failed(Step::Open, LastError());
  // OPEN_ALWAYS says in the same call whether the file was already there.
  outcome.created = GetLastError() != ERROR_ALREADY_EXISTS;
  LARGE_INTEGER zero{};
  LARGE_INTEGER before{};
  const auto takeBack = [&] {
    return SetFilePointerEx(file.handle, before, nullptr, FILE_BEGIN) && SetEndOfFile(file.handle);
  };
  const auto removeCreated = [&] {
    FileError ignored;
    file.Close(ignored);
    DeleteFileW(path.c_str());
  };
  if (!SetFilePointerEx(file.handle, zero, &before, FILE_END)) {
    outcome.step = Step::Open;
    outcome.error = LastError();
    if (outcome.created) removeCreated();
    return outcome;
  }

  HandleSink sink(file.handle);
  bool complete = false;
  try {
    complete = write(sink, outcome.created);
  } catch (...) {
    // Nothing of a writer that failed this way stays either.
    if (outcome.created) {
      removeCreated();
    } else {
      takeBack();
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
      removeCreated();
      return outcome;
    }
    if (!takeBack()) {
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
  // Opened without sharing, so nobody else, here or on another machine using
  // the same share, can open it meanwhile. It goes when the last handle
  // closes, also when the process dies. Where one may create files but not
  // delete them (some shares allow only that) it stays, harmless: the lock is
  // the open handle.
  DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE;
  for (;;) {
    const HANDLE handle = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_ALWAYS, flags, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      native_ = reinterpret_cast<std::intptr_t>(handle);
      path_ = lockFile;
      return Outcome::Held;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED && (flags & FILE_FLAG_DELETE_ON_CLOSE)) {
      flags &= ~FILE_FLAG_DELETE_ON_CLOSE;
      continue;
    }
    if (code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION) {
      error = ErrorFrom(code);
      return Outcome::Failed;
    }
    if (std::chrono::steady_clock::now() >= deadline) return Outcome::Busy;
    Sleep(10);
  }
}

void FileLock::Release() {
  if (native_ == -1) return;
  CloseHandle(reinterpret_cast<HANDLE>(native_));
  native_ = -1;
}
