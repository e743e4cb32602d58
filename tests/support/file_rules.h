// A file's access rules, read and set the platform's way, for the tests that
// check that a seed never lies under weaker rules than its seed file.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windef.h>
#include <winbase.h>
#include <aclapi.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#endif

// A file's access rules as text: its DACL and owner, or its mode and owner.
inline std::string RulesOf(const std::filesystem::path& path) {
#ifdef _WIN32
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &descriptor) !=
      ERROR_SUCCESS) {
    return "unreadable";
  }
  wchar_t* text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, what, &text, nullptr);
  const std::string result = text ? std::filesystem::path(text).u8string() : "";
  LocalFree(text);
  LocalFree(descriptor);
  return result;
#else
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return "unreadable";
  return std::to_string(status.st_mode & 07777) + " " + std::to_string(status.st_uid) + ":" +
         std::to_string(status.st_gid);
#endif
}

// Access for the administrators alone, not inherited from the folder.
inline void KeepOthersOut(const std::filesystem::path& path) {
#ifdef _WIN32
  PSECURITY_DESCRIPTOR wanted = nullptr;
  ASSERT_TRUE(
      ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;BA)", SDDL_REVISION_1, &wanted, nullptr));
  ASSERT_TRUE(SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, wanted));
  LocalFree(wanted);
  // Set as asked (Wine keeps them as the host file's mode): nobody else may read.
  ASSERT_EQ(RulesOf(path).find(";;;WD)"), std::string::npos) << RulesOf(path);
#else
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
}
