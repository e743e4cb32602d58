#include <windows.h>

#include <atomic>

#include "virtualkey/file_io.h"

namespace {

std::string WindowsProblem(const char* action, const std::filesystem::path& path,
                           DWORD error = GetLastError()) {
  return std::string(action) + " " + path.u8string() + " (Windows error " +
         std::to_string(error) + ")";
}

// Closes the handle unless it was handed back.
struct FileHandle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~FileHandle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

ReadOutcome ReadWholeFile(const std::filesystem::path& path, std::string& bytes,
                          std::string& problem) {
  FileHandle file;
  file.handle = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file.handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return ReadOutcome::Missing;
    problem = WindowsProblem("cannot open", path, error);
    return ReadOutcome::Failed;
  }
  std::string content;
  char buffer[8192];
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(file.handle, buffer, sizeof buffer, &count, nullptr)) {
      problem = WindowsProblem("cannot read", path);
      return ReadOutcome::Failed;
    }
    if (count == 0) break;
    content.append(buffer, count);
  }
  bytes = std::move(content);
  return ReadOutcome::Read;
}

bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string& problem) {
  static std::atomic<unsigned> sequence{0};
  std::filesystem::path temporary = path;
  temporary += std::string(kTemporaryFileMarker) + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(sequence++);

  FileHandle file;
  file.handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file.handle == INVALID_HANDLE_VALUE) {
    problem = WindowsProblem("cannot create", temporary);
    return false;
  }
  bool ok = WriteAll(file.handle, bytes);
  if (!ok) problem = WindowsProblem("cannot write", temporary);
  if (ok && !FlushFileBuffers(file.handle)) {
    problem = WindowsProblem("cannot flush", temporary);
    ok = false;
  }
  const HANDLE handle = file.handle;
  file.handle = INVALID_HANDLE_VALUE;
  if (!CloseHandle(handle) && ok) {
    problem = WindowsProblem("cannot close", temporary);
    ok = false;
  }
  if (ok && !MoveFileExW(temporary.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    problem = WindowsProblem("cannot replace", path);
    ok = false;
  }
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}
