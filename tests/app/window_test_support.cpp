#include "window_test_support.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/framework/app_module.h"

const wchar_t kMainWindowTitle[] = L"Corvane/Meridia OTP Programming Tool (v2.0)";

namespace {

// Thread timers carry no user data: the one run in progress is kept here.
std::function<void(HWND)>* g_script = nullptr;

struct PendingDialog {
  std::wstring title;
  std::function<void(HWND)> action;
};
std::vector<PendingDialog>* g_pendingDialogs = nullptr;
UINT_PTR g_dialogTimer = 0;

void CALLBACK OnScriptTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND mainWindow = FindThreadWindow(kMainWindowTitle);
  EXPECT_NE(mainWindow, nullptr) << "the main window is not up";
  if (g_script != nullptr && mainWindow != nullptr) {
    auto script = std::move(*g_script);
    g_script = nullptr;
    script(mainWindow);
  }
}

void CALLBACK OnSafetyTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  ADD_FAILURE() << "the main window did not close";
  PostQuitMessage(-1);
}

void CALLBACK OnDialogTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (g_pendingDialogs == nullptr) {
    return;
  }
  for (auto it = g_pendingDialogs->begin(); it != g_pendingDialogs->end(); ++it) {
    HWND dialog = FindThreadWindow(it->title);
    if (dialog != nullptr && IsWindowVisible(dialog)) {
      auto action = std::move(it->action);
      g_pendingDialogs->erase(it);
      action(dialog);
      return;
    }
  }
}

struct FindContext {
  const std::wstring* title;
  HWND found;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM context) {
  auto* find = reinterpret_cast<FindContext*>(context);
  if (WindowText(window) == *find->title) {
    find->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

WindowTestEnvironment::WindowTestEnvironment() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_BAR_CLASSES;  // as the tool asks: nothing more
  InitCommonControlsEx(&controls);
  AppModule().Init();
}

WindowTestEnvironment::~WindowTestEnvironment() { AppModule().Term(); }

int RunMainWindowWithScript(ITokenLibrary& library, const std::function<void(HWND)>& script,
                            std::function<NewTokenResult(HWND)> newTokenForm,
                            const MessageText& loadProblem) {
  std::function<void(HWND)> pending = script;
  std::vector<PendingDialog> dialogs;
  g_script = &pending;
  g_pendingDialogs = &dialogs;
  const UINT_PTR scriptTimer = SetTimer(nullptr, 0, 50, &OnScriptTimer);
  const UINT_PTR safetyTimer = SetTimer(nullptr, 0, 60000, &OnSafetyTimer);
  g_dialogTimer = SetTimer(nullptr, 0, 30, &OnDialogTimer);

  const int code = RunMainWindow(SW_SHOWNORMAL, library, loadProblem, std::move(newTokenForm));

  KillTimer(nullptr, scriptTimer);
  KillTimer(nullptr, safetyTimer);
  KillTimer(nullptr, g_dialogTimer);
  g_script = nullptr;
  g_pendingDialogs = nullptr;
  EXPECT_TRUE(dialogs.empty()) << "a dialog that the test waited for never opened";
  return code;
}

void WhenDialogOpens(const std::wstring& title, std::function<void(HWND)> action) {
  ASSERT_NE(g_pendingDialogs, nullptr) << "only while the main window runs";
  g_pendingDialogs->push_back({title, std::move(action)});
}

HWND FindThreadWindow(const std::wstring& title) {
  FindContext context{&title, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), &MatchTitle, reinterpret_cast<LPARAM>(&context));
  return context.found;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

void PostKey(HWND target, UINT virtualKey) {
  const UINT scanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (scanCode << 16));
  PostMessageW(target, WM_KEYUP, virtualKey, 1 | (scanCode << 16) | 0xC0000000u);
}

void Click(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
