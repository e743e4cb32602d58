// Runs the New Token form (dialog 130) modally and returns what it left for
// the main window. Win32 only.
#pragma once

#include <windows.h>

#include "provisioning/form/new_token_result.h"
#include "provisioning/seed_files/pending_save.h"
#include "vendor/token_library.h"

// `seedFiles`: what the process knows of the seed files, kept across forms.
NewTokenResult RunNewTokenDialog(HWND owner, ITokenLibrary& library, SeedFileCache& seedFiles);

// Settles what interrupted saves left beside the program's seed files.
SettleReport SettleInterruptedSavesBesideProgram(ITokenLibrary& library, SeedFileCache& seedFiles);
