#include "vendor/module_path_win.h"

namespace {

// The longest path Windows handles (with the \\?\ prefix), in characters.
constexpr DWORD kLongestPath = 32768;

}  // namespace

std::wstring ModuleFilePath(HMODULE module) {
  // GetModuleFileNameW truncates silently on older systems, so grow the
  // buffer until the path fits with room to spare.
  for (DWORD size = MAX_PATH;; size *= 2) {
    if (size > kLongestPath) size = kLongestPath;
    std::wstring path(size, L'\0');
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameW(module, path.data(), size);
    if (length == 0) return {};
    if (length < size && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      path.resize(length);
      return path;
    }
    if (size == kLongestPath) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return {};
    }
  }
}

std::wstring FolderOfPath(const std::wstring& filePath) {
  const std::size_t separator = filePath.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return {};
  return filePath.substr(0, separator + 1);
}

HMODULE ModuleContaining(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}
