#include "provisioning/form/win32/module_folder.h"

#include <windows.h>

#include <string>

std::filesystem::path ProgramFolder() {
  // The longest path Windows hands out is 32767 units; start at MAX_PATH.
  constexpr DWORD kLongestPath = 32768;
  std::wstring path;
  for (DWORD size = MAX_PATH; size <= kLongestPath; size *= 2) {
    path.assign(size, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
    if (length == 0) return {};
    if (length < size) {
      path.resize(length);
      const std::size_t lastBackslash = path.rfind(L'\\');
      if (lastBackslash == std::wstring::npos) return {};
      path.resize(lastBackslash);
      // "C:" alone would name the drive's current folder, not its root.
      if (!path.empty() && path.back() == L':') path += L'\\';
      return std::filesystem::path(path);
    }
  }
  return {};
}
