// How the file layer opens and reads a file on Windows. Include after
// <windef.h> and <winbase.h>.
#pragma once

#include <cstddef>
#include <optional>

// No writer may share: a file being written is not read half-way. Sharing
// delete lets a new version take its name meanwhile.
constexpr DWORD kReadSharing = FILE_SHARE_READ | FILE_SHARE_DELETE;
// A reader that checks the file's stamp afterwards admits writers too, so
// that the tool's own appends and replaces are never refused because of it.
constexpr DWORD kSharedReadSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// One read of an open file from where it stands, at most 1 GiB (ReadFile
// takes a 32-bit count); none when it failed, with GetLastError() why.
inline std::optional<std::size_t> ReadFromHandle(HANDLE file, void* buffer, std::size_t capacity) {
  DWORD count = 0;
  const DWORD chunk = capacity > 0x40000000u ? 0x40000000u : static_cast<DWORD>(capacity);
  if (!ReadFile(file, buffer, chunk, &count, nullptr)) return std::nullopt;
  return count;
}
