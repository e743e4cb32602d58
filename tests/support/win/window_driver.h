// Drives windows the way an operator does, from the test's own thread or from
// another process: finds top-level windows by title, reads their text, clicks
// buttons and presses keys. Shared by the window, form and end-to-end tests.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The first top-level window of process `processId` titled `title`; with
// `shownOnly`, only a visible one. Null when there is none.
HWND FindTopLevelWindow(DWORD processId, const std::wstring& title, bool shownOnly = false);
// A top-level window of this program titled `title`, shown or not.
HWND FindOwnWindow(const std::wstring& title);

// SendMessageW that gives up on a window that does not answer within ten
// seconds (another process may hang); answers 0 then.
LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The text of a window or control, of this process or another.
std::wstring WindowText(HWND window);
std::wstring ControlText(HWND dialog, int id);
std::wstring ClassName(HWND window);

// A click on button `id` as the mouse makes it (BM_CLICK): a radio button or
// check box changes, then the dialog gets the command. Returns when handled.
void ClickButton(HWND dialog, int id);
// The command that a click on button `id` sends, without the click: sent
// (returns when handled) or posted (returns at once; for commands that block).
void SendCommand(HWND dialog, int id);
void PostCommand(HWND dialog, int id);
// A key press as the keyboard makes it, through the message loop and its filters.
void PostKey(HWND target, UINT virtualKey);

// Runs `action` from this thread's message loop, modal loops included, as soon
// as a window of this program titled `title` is shown. Pending actions run in
// the order they were asked for, one per timer tick.
void WhenWindowShows(const std::wstring& title, std::function<void(HWND window)> action);
// Drops the actions whose window never showed; answers how many there were.
int ForgetPendingWindows();
