// The one mapping from the system's error codes to the kinds callers act on.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windef.h>
#include <winbase.h>
#else
#include <cerrno>
#endif

#include "files/system_error.h"

namespace {

TEST(SystemError, EachCodeHasItsKind) {
  using Kind = FileErrorKind;
  struct Case {
    std::uint32_t code;
    Kind kind;
  };
#ifdef _WIN32
  const Case cases[] = {
      {ERROR_SHARING_VIOLATION, Kind::Busy},   {ERROR_LOCK_VIOLATION, Kind::Busy},
      {ERROR_ACCESS_DENIED, Kind::Denied},     {ERROR_FILE_NOT_FOUND, Kind::Missing},
      {ERROR_PATH_NOT_FOUND, Kind::Missing},   {ERROR_DISK_FULL, Kind::NoSpace},
      {ERROR_HANDLE_DISK_FULL, Kind::NoSpace}, {1295 /* ERROR_DISK_QUOTA_EXCEEDED */, Kind::NoSpace},
      {ERROR_FILE_CORRUPT, Kind::Damaged},     {ERROR_FILE_TOO_LARGE, Kind::TooLarge},
      {ERROR_WRITE_PROTECT, Kind::ReadOnly},   {ERROR_CANT_RESOLVE_FILENAME, Kind::Link},
      {ERROR_INVALID_NAME, Kind::Other},       {ERROR_ALREADY_EXISTS, Kind::Other},
  };
#else
  const Case cases[] = {
      {EAGAIN, Kind::Busy},    {EBUSY, Kind::Busy},      {ETXTBSY, Kind::Busy},    {EACCES, Kind::Denied},
      {EPERM, Kind::Denied},   {ENOENT, Kind::Missing},  {ENOTDIR, Kind::Missing}, {ENOSPC, Kind::NoSpace},
      {EDQUOT, Kind::NoSpace}, {EBADMSG, Kind::Damaged}, {EFBIG, Kind::TooLarge},  {EOVERFLOW, Kind::TooLarge},
      {EROFS, Kind::ReadOnly}, {ELOOP, Kind::Link},      {EEXIST, Kind::Other},    {EIO, Kind::Other},
  };
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const FileError error = SystemError(c.code);
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.kind, c.kind);
    EXPECT_EQ(error.InUse(), c.kind == Kind::Busy);
  }
}

}  // namespace
