// Everything the virtual key remembers between calls: its tokens and the
// behaviour that the control program sets (plugged, device count, touch,
// forced statuses). Pure data and rules; the state file stores it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vendor/cv_manager.h"

constexpr char kDefaultKeySerialNumber[] = "CVK0000000001";
constexpr std::uint32_t kVirtualKeyVendorId = 0x096E;
constexpr std::uint32_t kVirtualKeyProductId = 0x0858;
constexpr std::uint32_t kMaxDeviceCount = 99;
constexpr std::uint32_t kMaxTouchDelayMs = 600000;

enum class TouchMode { Ok, Delay, Timeout };

struct StoredToken {
  TokenRecord record{};
  std::uint64_t counter = 0;  // next HOTP moving factor
};

struct KeyState {
  std::vector<StoredToken> tokens;  // [0] is the active token
  bool appendEnter = false;
  bool plugged = true;
  std::uint32_t deviceCount = 1;
  TouchMode touchMode = TouchMode::Ok;
  std::uint32_t touchDelayMs = 0;
  std::map<std::string, CvStatus> forcedStatuses;  // by function name
  // By function name: the call does its work, then answers with the status,
  // as a key whose answer was lost after it stored a token.
  std::map<std::string, CvStatus> failuresAfterWrite;
  std::string serialNumber = kDefaultKeySerialNumber;
};

// The serial up to its terminator; no result when the 64 bytes hold none.
std::optional<std::string> TerminatedSerial(const TokenRecord& record);

// The stored token with this serial, or null.
StoredToken* FindToken(KeyState& state, std::string_view serial);

// Stores `token` as the active one: a token with the same serial is replaced,
// the others keep their order behind it. False (state unchanged) when the key
// already holds kMaxTokens other tokens.
bool StoreAsActiveToken(KeyState& state, const StoredToken& token);

// True for the names of the seven library functions.
bool IsLibraryFunctionName(std::string_view name);

// The names, in the order of the library's declarations.
const std::vector<std::string>& LibraryFunctionNames();
