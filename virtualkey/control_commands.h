// The commands of the control program virtualkey.exe, which changes the
// virtual key's state between the tool's calls. Parsing and applying them
// needs no window system; only the device-change notice of plug and unplug
// is Windows-specific and lives with the program.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "virtualkey/key_state.h"
#include "virtualkey/state_file.h"

enum class ControlAction {
  Help,
  Show,
  Reset,
  Plug,
  Unplug,
  Devices,
  Touch,
  Fail,
  FailAfterWrite,
  ClearFaults,
  AddToken,
};

struct ControlCommand {
  ControlAction action = ControlAction::Help;
  std::uint32_t number = 0;  // devices N
  TouchMode touchMode = TouchMode::Ok;
  std::uint32_t touchDelayMs = 0;
  std::string functionName;  // fail, fail-after-write
  CvStatus status = 0;       // fail, fail-after-write
  StoredToken token;         // add-token
};

struct ParsedControlCommand {
  std::optional<ControlCommand> command;
  std::string error;  // one line when `command` is empty
};

// `arguments` are the command line without the program name.
ParsedControlCommand ParseControlCommand(const std::vector<std::string>& arguments);

// Applies a command that changes the state (every one but Help and Show).
// False with `problem` when it cannot be done (a 21st token).
bool ApplyControlCommand(const ControlCommand& command, KeyState& state, std::string& problem);

// What virtualkey does with such a command: under the state file's lock,
// reads the current state, applies the command and saves it; `state` is then
// what was saved. False with `problem` when a step fails (nothing saved).
bool ApplyControlCommandToFile(const ControlCommand& command, const StateFile& file, KeyState& state,
                               std::string& problem);

// One line saying what an applied command did.
std::string AppliedCommandSummary(const ControlCommand& command);

// What "show" prints.
std::string DescribeKeyState(const KeyState& state);

// The text of --help.
const char* ControlHelpText();
