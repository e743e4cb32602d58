#include "tests/e2e/x_input.h"

#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"
#include "tests/support/win/win_test_support.h"

namespace {

// Wine's own export: the Unix name of a Windows path.
std::string UnixPathOf(const std::filesystem::path& path) {
  using Convert = char*(CDECL*)(const wchar_t*);
  const auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return {};
  char* unixPath = convert(path.c_str());
  if (unixPath == nullptr) return {};
  std::string result(unixPath);
  HeapFree(GetProcessHeap(), 0, unixPath);
  return result;
}

POINT CentreOf(HWND window) {
  RECT box{};
  GetWindowRect(window, &box);
  return POINT{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
}

std::string MoveTo(HWND window) {
  const POINT centre = CentreOf(window);
  return "mousemove " + std::to_string(centre.x) + " " + std::to_string(centre.y);
}

}  // namespace

bool RunXdotool(const std::string& arguments) {
  // Wine starts Unix programs but cannot wait for them or read their exit
  // code: the shell leaves a file behind once xdotool has succeeded.
  TempFolder folder;
  const std::filesystem::path done = folder / "done";
  const std::string doneUnix = UnixPathOf(done);
  if (doneUnix.empty()) return false;
  const std::string script = "xdotool " + arguments + " && : > '" + doneUnix + "'";
  std::wstring command = L"/bin/sh -c \"" + std::wstring(script.begin(), script.end()) + L"\"";

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    return false;
  }
  StartedProcess{started};  // nothing to wait for: only its handles to close
  for (int i = 0; i < 200; ++i) {
    if (std::filesystem::exists(done)) return true;
    Sleep(25);
  }
  return false;
}

bool ClickCentreOf(HWND window) { return RunXdotool(MoveTo(window) + " click 1"); }

bool PressKeyOver(HWND window, const std::string& keyName) { return RunXdotool(MoveTo(window) + " key " + keyName); }
