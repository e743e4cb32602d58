// The errno values as the file layer reports them.
#include <cerrno>
#include <cstring>

#include "files/system_error.h"

FileErrorKind KindOfSystemError(std::uint32_t code) {
  switch (static_cast<int>(code)) {
    // EAGAIN is what a lock taken without waiting answers while another holds it.
    case EBUSY:
    case ETXTBSY:
    case EAGAIN: return FileErrorKind::Busy;
    case EACCES:
    case EPERM: return FileErrorKind::Denied;
    case ENOENT:
    case ENOTDIR: return FileErrorKind::Missing;
    case ENOSPC:
    case EDQUOT: return FileErrorKind::NoSpace;
    case EBADMSG: return FileErrorKind::Damaged;
    case EFBIG:
    case EOVERFLOW: return FileErrorKind::TooLarge;
    case EROFS: return FileErrorKind::ReadOnly;
    case ELOOP: return FileErrorKind::Link;
    default: return FileErrorKind::Other;
  }
}

FileError LastSystemError() { return SystemError(static_cast<std::uint32_t>(errno)); }

std::string FileErrorText(const FileError& error) {
  return "error " + std::to_string(error.code) + ": " + std::strerror(static_cast<int>(error.code));
}
