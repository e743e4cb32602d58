// Steps that several end-to-end scenarios share.
#pragma once

#include <functional>
#include <string>

#include "tests/e2e/tool_driver.h"

struct NewTokenChoices {
  bool totp = false;
  bool sha256 = false;
  bool eightDigits = false;
  bool sixtySeconds = false;
  bool appendEnter = true;
  std::wstring userName;
};

struct CreatedToken {
  bool formClosed = false;
  std::wstring serial;  // as the form showed it
  std::wstring seed;    // upper-case hexadecimal, as the form showed it
};

// Opens "New Token", makes the choices and generates a serial number and a
// seed, which it notes in `created`; answers the open form (null when it did
// not open).
HWND FillNewTokenForm(ToolUnderTest& tool, const NewTokenChoices& choices, CreatedToken& created);

// FillNewTokenForm, then "Save".
CreatedToken CreateToken(ToolUnderTest& tool, const NewTokenChoices& choices);

// Polls `condition` until it holds (true) or the time is up (false).
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 15000);

// The message box's text with every line break turned back into a space, so
// that a long message of ours, broken to fit the box, reads as one line.
std::wstring Unbroken(const std::wstring& log);

// How often `part` occurs in `text`, without overlaps.
int Occurrences(const std::wstring& text, const std::wstring& part);
