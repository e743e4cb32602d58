// Real keyboard and mouse input on the test's X display, made with xdotool
// through the X server's test extension, so that it reaches the tool exactly
// as an operator's keys and clicks would: queued by the window system while
// the tool does not answer.
#pragma once

#include <windows.h>

#include <string>

// Runs xdotool with `arguments` (a Unix program, started through Wine) and
// waits until it has finished; false when it could not run or failed.
bool RunXdotool(const std::string& arguments);

// Moves the pointer to the centre of `window` and clicks the left button.
bool ClickCentreOf(HWND window);
// Moves the pointer over `window` (the display has no window manager: keys
// go to the window under the pointer) and presses and releases `keyName`
// ("Escape", "Return").
bool PressKeyOver(HWND window, const std::string& keyName);
