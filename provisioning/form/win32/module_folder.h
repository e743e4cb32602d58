// The folder of the running program's executable file.
#pragma once

#include <filesystem>

// The executable's full path cut at its last backslash; long paths are
// supported. Empty when the path cannot be obtained.
std::filesystem::path ProgramFolder();
