// Whole-file reads and atomic replacement, the two ways the virtual key
// touches its state file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

enum class ReadOutcome { Read, Missing, Failed };

// Reads every byte of `path`. Missing when the file does not exist; Failed
// (with a one-line `problem`) for any other error.
ReadOutcome ReadWholeFile(const std::filesystem::path& path, std::string& bytes,
                          std::string& problem);

// Writes `bytes` to a new file in the folder of `path`, flushes it and then
// puts it in place of `path` in one step, so that readers see the old or the
// new content, never a part. On any failure the temporary file is removed,
// `path` is left as it was and `problem` says what went wrong.
bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string& problem);

// The temporary files of ReplaceFileAtomically are named
// "<file name>.<this suffix>..." so that they can be recognised.
constexpr char kTemporaryFileMarker[] = ".writing-";
