// Drives the real OtpTool.exe from another process, the way an operator
// would: it starts the tool in a folder of its own, reads its windows and
// sends them the commands that clicks and keys would send.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/support/win/win_test_support.h"
#include "tests/support/win/window_driver.h"

// A copy of the tool, CV_Manager.dll and virtualkey.exe in a fresh folder,
// so that seed files and the key's state belong to one test.
class ToolFolder {
 public:
  // `withLibrary` false leaves CV_Manager.dll out.
  explicit ToolFolder(bool withLibrary = true);
  ToolFolder(const ToolFolder&) = delete;
  ToolFolder& operator=(const ToolFolder&) = delete;

  const std::wstring& Path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }
  bool Exists(const std::wstring& name) const;
  std::string ReadBytes(const std::wstring& name) const;

  // Runs virtualkey.exe with `arguments`; returns its exit code and output.
  int VirtualKey(const std::wstring& arguments, std::string* output = nullptr) const;

 private:
  TempFolder folder_;
  std::wstring path_;
};

class ToolUnderTest {
 public:
  // `keyState`: the virtual key's state file, for a key of its own (two
  // workstations); empty: the one beside the DLL.
  explicit ToolUnderTest(const ToolFolder& folder, const std::wstring& keyState = {});
  ~ToolUnderTest();
  ToolUnderTest(const ToolUnderTest&) = delete;
  ToolUnderTest& operator=(const ToolUnderTest&) = delete;

  bool Started() const { return window_ != nullptr; }
  HWND Window() const { return window_; }
  DWORD ProcessId() const { return process_.Id(); }

  std::wstring LogText() const;
  std::wstring StatusText() const;
  // Waits until the log holds `text` (after `from` characters); false on timeout.
  bool WaitForLog(const std::wstring& text, size_t from = 0, DWORD timeoutMs = 15000) const;
  // Waits until the log stops growing for `quietMs`.
  void WaitForQuiet(DWORD quietMs = 500, DWORD timeoutMs = 15000) const;

  int RowCount() const;
  std::wstring Cell(int row, int column) const;
  bool IsButtonEnabled(int id) const;

  // Posts the command of a button, as a click would.
  void Click(int id) const;
  // Waits for a top-level dialog of the tool titled `title`; null on timeout.
  HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs = 10000) const;
  bool WaitForDialogGone(HWND dialog, DWORD timeoutMs = 30000) const;

  // Esc, the close box or Enter in the message box; returns the exit code,
  // or -1 when the process did not end.
  int CloseWithEscape();
  int CloseWithCloseBox();
  int WaitForExit(DWORD timeoutMs = 10000);
  // Ends the tool's process at once, wherever it is, as a crash or a power
  // cut would; true once the process is gone.
  bool Kill();
  // Ends it with SIGKILL from outside Wine, as an out-of-memory killer or a
  // crash of Wine itself would: Wine gets no say. True once the process is gone.
  bool KillFromOutside();

 private:
  StartedProcess process_;
  std::wstring folderName_;  // unique, in the tool's Unix command line
  HWND window_ = nullptr;
};

// Helpers for any window of the tool, across processes, besides the window driver's.
void SetWindowTextRemote(HWND window, const std::wstring& text);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
std::string ToUtf8(const std::wstring& text);
std::int64_t UnixTimeNow();
