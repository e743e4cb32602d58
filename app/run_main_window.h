// Runs the main window on the calling thread: one message loop, registered
// with the application module, until the window posts its quit code.
#pragma once

#include <windows.h>

#include <functional>

#include "provisioning/form/new_token_result.h"
#include "provisioning/seed_files/seed_folder.h"
#include "text/message_text.h"
#include "vendor/token_library.h"

// Answers the quit code (1 OK, 2 Cancel), or 0 when the window could not be
// created. The application module must have been started (AppModule().Init()).
// Settling what saves cut short left behind looks into `seeds`, which the
// window hands on to `runNewTokenForm`.
int RunMainWindow(int showCommand, ITokenLibrary& library, const MessageText& loadProblem, SeedFolder& seeds,
                  std::function<NewTokenResult(HWND owner, SeedFolder& seeds)> runNewTokenForm);
