// The virtual key's state as the XML text of its state file.
#pragma once

#include <string>

#include "virtualkey/key_state.h"

std::string KeyStateToXml(const KeyState& state);

// Parses the whole text strictly: a malformed document, an unknown value or a
// record the key could not hold gives false and a one-line `problem`.
bool KeyStateFromXml(const std::string& text, KeyState& state, std::string& problem);
