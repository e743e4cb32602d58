// The file in which the virtual key keeps its state between calls. It is
// read afresh for every call because the control program changes it.
//
// Reading needs no lock: a save replaces the whole file in one step. Every
// change, by the library or by virtualkey, reads, changes and saves under
// the lock of "<state file>.lock" beside it, so that no process writes back
// a state that another changed meanwhile. Nobody holds it through a touch.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "files/file_io.h"
#include "virtualkey/key_state.h"

// How long a change waits for another process's change to end.
constexpr std::chrono::milliseconds kStateLockPatience{5000};

enum class StateLoadOutcome { Loaded, Corrupt, Unreadable };

class StateFile {
 public:
  explicit StateFile(std::filesystem::path path) : path_(std::move(path)) {}

  // A missing file is a new key without tokens. A corrupt or unreadable one
  // leaves `state` untouched and says why in `problem`; nothing ever
  // overwrites a corrupt file, so the damage can be inspected.
  StateLoadOutcome Load(KeyState& state, std::string& problem) const;

  bool Save(const KeyState& state, std::string& problem) const;

  // Takes the lock for one read-change-save; false with `problem` when it
  // cannot be had within kStateLockPatience.
  bool Lock(FileLock& lock, std::string& problem) const;

 private:
  void RemoveLeftovers() const;

  std::filesystem::path path_;
};
