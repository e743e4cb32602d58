// Errors of the file layer as values: the system's own code and the kind a
// caller acts on. The one mapping from the system's codes to kinds lives in
// system_error_win.cpp (GetLastError()) and system_error_posix.cpp (errno).
#pragma once

#include <cstdint>
#include <string>

// What a failure means to whoever reports or retries it.
enum class FileErrorKind : std::uint8_t {
  Other,     // none of the below
  Busy,      // another program holds the file open without sharing, or holds its lock
  Denied,    // the system refused access
  Missing,   // the file or its folder does not exist
  NoSpace,   // the disk or the user's quota is full
  Damaged,   // the file's contents cannot be used: unparseable, not the layout
  TooLarge,  // the file is larger than this process or the file system can hold
  ReadOnly,  // the file or its medium is marked read-only
  Link,      // the name is a link, which is left alone
};

// An operating-system error: GetLastError() on Windows, errno elsewhere; a
// code of 0 is no error of the system (a kind the layer itself found).
struct FileError {
  std::uint32_t code = 0;
  FileErrorKind kind = FileErrorKind::Other;

  bool InUse() const { return kind == FileErrorKind::Busy; }
};

// The kind of the system's `code`.
FileErrorKind KindOfSystemError(std::uint32_t code);

inline FileError SystemError(std::uint32_t code) { return FileError{code, KindOfSystemError(code)}; }

// The calling thread's last error: GetLastError() or errno.
FileError LastSystemError();

// "error N", with the system's own words where it has some.
std::string FileErrorText(const FileError& error);
