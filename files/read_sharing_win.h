// How the file layer opens a file to read it on Windows. Include after
// <windef.h> and <winbase.h>.
#pragma once

// No writer may share: a file being written is not read half-way. Sharing
// delete lets a new version take its name meanwhile.
constexpr DWORD kReadSharing = FILE_SHARE_READ | FILE_SHARE_DELETE;
// A reader that checks the file's stamp afterwards admits writers too, so
// that the tool's own appends and replaces are never refused because of it.
constexpr DWORD kSharedReadSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
