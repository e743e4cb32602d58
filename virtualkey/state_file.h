// The file in which the virtual key keeps its state between calls. It is
// read afresh for every call because the control program changes it.
#pragma once

#include <filesystem>
#include <string>

#include "virtualkey/key_state.h"

enum class StateLoadOutcome { Loaded, Corrupt, Unreadable };

class StateFile {
 public:
  explicit StateFile(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& Path() const { return path_; }

  // A missing file is a new key without tokens. A corrupt or unreadable one
  // leaves `state` untouched and says why in `problem`; nothing ever
  // overwrites a corrupt file, so the damage can be inspected.
  StateLoadOutcome Load(KeyState& state, std::string& problem) const;

  bool Save(const KeyState& state, std::string& problem) const;

 private:
  void RemoveLeftovers() const;

  std::filesystem::path path_;
};
