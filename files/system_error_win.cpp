// The Windows codes as the file layer reports them. Only the kernel's API: no
// window-system headers here.
#include <windef.h>
#include <winbase.h>

#include "files/system_error.h"

namespace {

// ERROR_DISK_QUOTA_EXCEEDED, which MinGW's headers lack.
constexpr DWORD kDiskQuotaExceeded = 1295;

}  // namespace

FileErrorKind KindOfSystemError(std::uint32_t code) {
  switch (code) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return FileErrorKind::Busy;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return FileErrorKind::Denied;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return FileErrorKind::Missing;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kDiskQuotaExceeded: return FileErrorKind::NoSpace;
    case ERROR_FILE_CORRUPT:
    case ERROR_DISK_CORRUPT: return FileErrorKind::Damaged;
    case ERROR_FILE_TOO_LARGE: return FileErrorKind::TooLarge;
    case ERROR_WRITE_PROTECT: return FileErrorKind::ReadOnly;
    case ERROR_CANT_RESOLVE_FILENAME: return FileErrorKind::Link;
    default: return FileErrorKind::Other;
  }
}

FileError LastSystemError() { return SystemError(GetLastError()); }

std::string FileErrorText(const FileError& error) {
  std::string text = "error " + std::to_string(error.code);
  char words[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error.code,
                                      0, words, sizeof words, nullptr);
  std::string said(words, length);
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ' || said.back() == '.')) {
    said.pop_back();
  }
  if (!said.empty()) text += ": " + said;
  return text;
}
