// What the tool asks the key on its own account: its serial number, and its
// tokens as far as its list goes.
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "vendor/bounded_text.h"
#include "vendor/token_library.h"

// The key's serial number; nothing when the key does not answer. The key
// need not end it within its 32 bytes.
inline std::optional<std::string> KeySerialNumber(ITokenLibrary& library) {
  DeviceInfo info;
  std::memset(&info, 0, sizeof info);
  if (library.GetDeviceInfo(&info) != CV_OK) return std::nullopt;
  return TextWithin(info.sn);
}

struct KeyTokens {
  CvStatus status = CV_OK;          // CV_OTP_List's; no tokens unless CV_OK
  std::vector<TokenRecord> tokens;  // in the key's order
};

// The key's tokens up to the first empty serial, which ends its list.
inline KeyTokens ListKeyTokens(ITokenLibrary& library) {
  std::vector<TokenRecord> listing(kMaxTokens);
  std::memset(listing.data(), 0, listing.size() * sizeof(TokenRecord));
  KeyTokens listed;
  listed.status = library.OtpList(0, listing.data());
  if (listed.status != CV_OK) return listed;
  for (const TokenRecord& record : listing) {
    if (TextWithin(record.serial).empty()) break;
    listed.tokens.push_back(record);
  }
  return listed;
}
