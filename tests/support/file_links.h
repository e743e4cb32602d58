// Symbolic links for the tests of what the file layer does with them.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windef.h>
#include <winbase.h>

#include "tests/support/win/win_test_support.h"
#endif

#include "tests/support/temp_folder.h"

// Makes `link` a symbolic link to the existing file `to`: on Windows a reparse point, under Wine
// (whose CreateSymbolicLinkW makes nothing) a host link, made by the host's
// own ln, which Wine starts like any program.
inline bool MakeLink(const std::filesystem::path& link, const std::filesystem::path& to) {
#ifdef _WIN32
  using UnixName = char*(CDECL*)(const wchar_t*);
  const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (!unixName) {
    return CreateSymbolicLinkW(link.c_str(), to.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
           (GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
  }
  char* folder = unixName(link.parent_path().c_str());
  if (!folder) return false;
  const std::string target = to.is_absolute() ? std::string(unixName(to.c_str())) : to.generic_string();
  std::wstring command = L"ln -s \"" + std::filesystem::u8path(target).wstring() + L"\" \"" +
                         std::filesystem::u8path(folder).wstring() + L"/" + link.filename().wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(L"Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started)) {
    return false;
  }
  StartedProcess{started};  // only its handles to close
  // The host's program is no Windows process to wait for: wait for the link.
  for (int wait = 0; wait < 500; ++wait) {
    if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(10);
  }
  return false;
#else
  std::error_code error;
  std::filesystem::create_symlink(to, link, error);
  return !error;
#endif
}

// Removes a link when the test ends, first making the file it leads to exist
// again if need be: removing a folder with a host link in it does not end
// under Wine.
class LinkRemover {
 public:
  LinkRemover(std::filesystem::path link, std::filesystem::path leadsTo)
      : link_(std::move(link)), leadsTo_(std::move(leadsTo)) {}
  ~LinkRemover() {
    if (!std::filesystem::exists(leadsTo_)) WriteBytes(leadsTo_, "");
    std::error_code ignored;
    std::filesystem::remove(link_, ignored);
  }
  LinkRemover(const LinkRemover&) = delete;
  LinkRemover& operator=(const LinkRemover&) = delete;

 private:
  std::filesystem::path link_;
  std::filesystem::path leadsTo_;
};
