// The real OtpTool.exe, started as its own process: its exit code is the
// main window's (the close box is covered by the in-process window tests).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"

namespace {

constexpr wchar_t kTitle[] = L"Corvane/Meridia OTP Programming Tool (v2.0)";

std::wstring ToolPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  return folder + L"OtpTool.exe";
}

struct FindContext {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchToolWindow(HWND window, LPARAM context) {
  auto* find = reinterpret_cast<FindContext*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t title[128] = {};
  GetWindowTextW(window, title, 128);
  if (owner == find->processId && IsWindowVisible(window) && std::wstring(title) == kTitle) {
    find->found = window;
    return FALSE;
  }
  return TRUE;
}

std::wstring RemoteText(HWND window) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      5000, &got);
  text.resize(got);
  return text;
}

class RunningTool {
 public:
  RunningTool() {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring command = L"\"" + ToolPath() + L"\"";
    started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process_) != FALSE;
    if (!started_) {
      return;
    }
    for (int i = 0; i < 300 && window_ == nullptr; ++i) {
      FindContext context{process_.dwProcessId, nullptr};
      EnumWindows(&MatchToolWindow, reinterpret_cast<LPARAM>(&context));
      window_ = context.found;
      if (window_ == nullptr) {
        Sleep(100);
      }
    }
  }
  ~RunningTool() {
    if (started_) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 99);  // only our own child, by its handle
        WaitForSingleObject(process_.hProcess, 5000);
      }
      CloseHandle(process_.hThread);
      CloseHandle(process_.hProcess);
    }
  }

  bool Started() const { return started_; }
  HWND Window() const { return window_; }

  // Waits for the process to end and answers its exit code (or 259 when it did not end).
  DWORD ExitCode() {
    WaitForSingleObject(process_.hProcess, 15000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

 private:
  bool started_ = false;
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

void PostKey(HWND target, UINT key) {
  const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, key, 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
}

TEST(OtpToolProcessTest, StartsWithAnOutcomeInTheMessageBoxAndEndsWithTwoOnEscape) {
  RunningTool tool;
  ASSERT_TRUE(tool.Started());
  ASSERT_NE(tool.Window(), nullptr) << "the main window did not appear";
  // Either the library's outcome or the line saying it could not be loaded.
  const std::wstring log = RemoteText(GetDlgItem(tool.Window(), IDC_MESSAGE_LOG));
  EXPECT_FALSE(log.empty());
  EXPECT_EQ(log.substr(log.size() - 2), L"\r\n");
  PostKey(tool.Window(), VK_ESCAPE);
  EXPECT_EQ(tool.ExitCode(), 2u);
}

TEST(OtpToolProcessTest, EnterInTheMessageBoxEndsWithOne) {
  RunningTool tool;
  ASSERT_NE(tool.Window(), nullptr);
  PostKey(GetDlgItem(tool.Window(), IDC_MESSAGE_LOG), VK_RETURN);
  EXPECT_EQ(tool.ExitCode(), 1u);
}

}  // namespace
