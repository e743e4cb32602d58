// The access rules a new seed-holding file takes from the existing files of
// its kind, the strictest when there are several (POSIX: mode and owner).
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "files/system_error.h"

// The mode and owner for a new file from those of `from` that exist; `found`
// false when none does. False with `error` when one exists but cannot be
// looked at: not knowing its rules is no reason to write under the folder's.
bool StrictestRulesOf(const std::vector<std::filesystem::path>& from, struct stat& rules, bool& found,
                      FileError& error);
