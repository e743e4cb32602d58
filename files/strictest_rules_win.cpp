#include "files/strictest_rules_win.h"

#include <windef.h>
#include <winbase.h>

#include <cstdint>

namespace {

// The rights the DACL of `descriptor` grants to anyone at large.
ACCESS_MASK BroadRights(PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
    return FILE_ALL_ACCESS;
  }
  std::uint8_t sids[3][SECURITY_MAX_SID_SIZE];
  const WELL_KNOWN_SID_TYPE broad[3] = {WinWorldSid, WinAuthenticatedUserSid, WinBuiltinUsersSid};
  for (int i = 0; i < 3; ++i) {
    DWORD size = sizeof sids[i];
    if (!CreateWellKnownSid(broad[i], nullptr, sids[i], &size)) return FILE_ALL_ACCESS;
  }
  GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  ACCESS_MASK allowed = 0;
  ACCESS_MASK denied = 0;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    const ACE_HEADER& header = *static_cast<const ACE_HEADER*>(ace);
    if ((header.AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    if (header.AceType != ACCESS_ALLOWED_ACE_TYPE && header.AceType != ACCESS_DENIED_ACE_TYPE) continue;
    // An allowing and a denying entry are laid out alike.
    ACCESS_ALLOWED_ACE* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    const PSID sid = &entry->SidStart;
    bool atLarge = false;
    for (auto& known : sids) atLarge = atLarge || EqualSid(sid, known);
    if (!atLarge) continue;
    ACCESS_MASK mask = entry->Mask;
    MapGenericMask(&mask, &mapping);
    (header.AceType == ACCESS_ALLOWED_ACE_TYPE ? allowed : denied) |= mask;
  }
  return allowed & ~denied;
}

int RightsCount(ACCESS_MASK mask) {
  int count = 0;
  for (; mask != 0; mask &= mask - 1) ++count;
  return count;
}

}  // namespace

bool StrictestRulesSource(const std::vector<std::filesystem::path>& from, std::filesystem::path& source,
                          FileError& error) {
  source.clear();
  int fewest = 0;
  for (const std::filesystem::path& file : from) {
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES &&
        KindOfSystemError(GetLastError()) == FileErrorKind::Missing) {
      continue;
    }
    DWORD needed = 0;
    GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<std::uint8_t> descriptor(needed);
    if (needed == 0 || !GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed)) {
      error = LastSystemError();
      return false;
    }
    const int granted = RightsCount(BroadRights(descriptor.data()));
    if (source.empty() || granted < fewest) {
      source = file;
      fewest = granted;
    }
  }
  return true;
}
