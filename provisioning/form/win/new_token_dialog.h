// Runs the New Token form (dialog 130) modally and returns what it left for
// the main window. Win32 only.
#pragma once

#include <windows.h>

#include "provisioning/form/new_token_result.h"
#include "provisioning/seed_files/save_settling.h"
#include "vendor/token_library.h"

NewTokenResult RunNewTokenDialog(HWND owner, ITokenLibrary& library);

// Settles what interrupted saves left beside the program's seed files.
SettleReport SettleInterruptedSavesBesideProgram(ITokenLibrary& library);
