// Where a loaded module lives on disk. Windows only; the kernel API alone.
#pragma once

#include <windef.h>
#include <winbase.h>

#include <string>

// The full path of `module` (null: the running .exe), however long it is.
// Empty on failure, with the reason in GetLastError().
std::wstring ModuleFilePath(HMODULE module);

// The folder part of a full file path, with its trailing backslash; empty
// when the path has no folder.
std::wstring FolderOfPath(const std::wstring& filePath);

// The module that contains `address` (for a DLL to find itself), or null.
HMODULE ModuleContaining(const void* address);
