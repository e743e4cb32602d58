// How the file layer opens a file to read it on Windows. Include after
// <windef.h> and <winbase.h>.
#pragma once

// No writer may share: a file being written is not read half-way. Sharing
// delete lets a new version take its name meanwhile.
constexpr DWORD kReadSharing = FILE_SHARE_READ | FILE_SHARE_DELETE;
