#include "virtualkey/state_location_win.h"

#include <string>

#include "vendor/module_path_win.h"

namespace {

// The variable's value as it is now: read from the process environment,
// not from a runtime's copy made at start-up, so a test that sets it later
// is seen.
std::wstring EnvironmentValue(const wchar_t* name) {
  std::wstring value(256, L'\0');
  for (;;) {
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return {};
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // the size needed, terminator included
  }
}

}  // namespace

std::optional<std::filesystem::path> VirtualKeyStatePath(HMODULE module) {
  const std::wstring configured = EnvironmentValue(kStatePathVariable);
  if (!configured.empty()) return std::filesystem::path(configured);
  const std::wstring modulePath = ModuleFilePath(module);
  const std::wstring folder = FolderOfPath(modulePath);
  if (folder.empty()) return std::nullopt;
  return std::filesystem::path(folder + kStateFileName);
}
