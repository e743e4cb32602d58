#include "virtualkey/key_state.h"

#include <algorithm>
#include <cstring>

std::optional<std::string> TerminatedSerial(const TokenRecord& record) {
  const void* end = std::memchr(record.serial, '\0', sizeof record.serial);
  if (end == nullptr) return std::nullopt;
  return std::string(record.serial, static_cast<const char*>(end));
}

StoredToken* FindToken(KeyState& state, std::string_view serial) {
  for (StoredToken& token : state.tokens) {
    if (TerminatedSerial(token.record) == serial) return &token;
  }
  return nullptr;
}

bool StoreAsActiveToken(KeyState& state, const StoredToken& token) {
  const auto serial = TerminatedSerial(token.record);
  auto same = std::find_if(state.tokens.begin(), state.tokens.end(),
                           [&](const StoredToken& t) { return TerminatedSerial(t.record) == serial; });
  if (same != state.tokens.end()) {
    state.tokens.erase(same);
  } else if (state.tokens.size() >= kMaxTokens) {
    return false;
  }
  state.tokens.insert(state.tokens.begin(), token);
  return true;
}

const std::vector<std::string>& LibraryFunctionNames() {
  static const std::vector<std::string> names = {
#define CV_FUNCTION_NAME(name, params) #name,
      CV_MANAGER_FUNCTIONS(CV_FUNCTION_NAME)
#undef CV_FUNCTION_NAME
  };
  return names;
}

bool IsLibraryFunctionName(std::string_view name) {
  const auto& names = LibraryFunctionNames();
  return std::find(names.begin(), names.end(), name) != names.end();
}
