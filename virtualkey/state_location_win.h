// Where the DLL and the control program find the virtual key's state file.
// Windows only.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>

constexpr wchar_t kStatePathVariable[] = L"CV_VIRTUAL_KEY";
constexpr wchar_t kStateFileName[] = L"virtual-key.xml";

// The path in CV_VIRTUAL_KEY when it is set and not empty, else
// virtual-key.xml in the folder of `module`. No result when neither can be
// determined.
std::optional<std::filesystem::path> VirtualKeyStatePath(HMODULE module);
