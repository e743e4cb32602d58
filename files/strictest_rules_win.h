// The access rules a new seed-holding file takes from the existing files of
// its kind, the strictest when there are several (Windows: a DACL).
#pragma once

#include <filesystem>
#include <vector>

#include "files/system_error.h"

// Which of the files of `from` that exist a new file takes its rules from:
// the one whose DACL grants the broad groups (Everyone, Authenticated Users,
// BUILTIN\Users) the fewest access rights, what they are denied taken off
// (no DACL grants them all); the first of equals. Empty when none exists.
// False with `error` when one exists but its DACL cannot be read: not
// knowing its rules is no reason to write under the folder's.
bool StrictestRulesSource(const std::vector<std::filesystem::path>& from, std::filesystem::path& source,
                          FileError& error);
