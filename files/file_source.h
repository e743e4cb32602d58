// A file read from its start a block at a time, so that a reader never holds
// the whole file, whatever its size.
#pragma once

#include <filesystem>
#include <memory>

#include "files/byte_source.h"
#include "files/file_io.h"

class FileSource : public ByteSource {
 public:
  FileError error;  // why the last Read failed
};

struct OpenForReadingOutcome {
  enum class State { Missing, Opened, Failed } state = State::Missing;
  std::unique_ptr<FileSource> source;  // when Opened; closing it closes the file
  FileError error;                     // when Failed
};

// Missing when the file (or its folder) does not exist. As with
// ReadWholeFile, other programs may read the file meanwhile but not write it,
// and a new version may take its place.
OpenForReadingOutcome OpenForReading(const std::filesystem::path& path);

// The same, but anyone may also write or replace the file meanwhile: for a
// reader of its own that must never refuse the tool's own appends and
// replaces (the read ahead), and that tells a file changed meanwhile by its
// stamp afterwards.
OpenForReadingOutcome OpenSharedForReading(const std::filesystem::path& path);
