// Runs the real main window (dialog 129 from the linked resources) on the
// test's thread and drives it from inside its own message loop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/run_main_window.h"
#include "tests/support/win/window_driver.h"

extern const wchar_t kMainWindowTitle[];

// Starts the platform pieces that the tool's entry starts (common controls,
// application module) for the life of a test.
class WindowTestEnvironment {
 public:
  WindowTestEnvironment();
  ~WindowTestEnvironment();
};

// Runs the main window until it quits and answers its quit code. `script`
// runs once, from the window's loop, shortly after the window is shown; it
// must make the window close (or the run ends after 60 s with code -1).
// Modal dialogs are driven with WhenWindowShows.
int RunMainWindowWithScript(ITokenLibrary& library, const std::function<void(HWND mainWindow)>& script,
                            std::function<NewTokenResult(HWND owner)> newTokenForm = {},
                            const MessageText& loadProblem = u"");
