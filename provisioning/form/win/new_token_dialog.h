// Runs the New Token form (dialog 130) modally and returns what it left for
// the main window. Win32 only.
#pragma once

#include <windows.h>

#include "provisioning/form/new_token_result.h"
#include "provisioning/seed_files/seed_folder.h"
#include "vendor/token_library.h"

// The seed files are those of `seeds`.
NewTokenResult RunNewTokenDialog(HWND owner, ITokenLibrary& library, SeedFolder& seeds);
