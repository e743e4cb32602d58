#include "window_test_support.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/framework/app_module.h"
#include "resources/version.h"

const wchar_t kMainWindowTitle[] = OTP_MAIN_WINDOW_TITLE_W;

namespace {

struct PendingDialog {
  std::wstring title;
  std::function<void(HWND)> action;
};

// Thread timers carry no user data: the run in progress is kept here.
struct ScriptedRun {
  std::function<void(HWND)> script;
  std::vector<PendingDialog> dialogs;
  DWORD startedAt = GetTickCount();
};
ScriptedRun* g_run = nullptr;

// Runs whatever is due; re-entered from the modal loops that the actions open.
void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_run == nullptr) return;
  if (GetTickCount() - g_run->startedAt > 60000) {
    ADD_FAILURE() << "the main window did not close";
    g_run = nullptr;
    PostQuitMessage(-1);
    return;
  }
  HWND mainWindow = FindThreadWindow(kMainWindowTitle);
  if (g_run->script && mainWindow != nullptr && IsWindowVisible(mainWindow)) {
    auto script = std::move(g_run->script);
    g_run->script = nullptr;
    script(mainWindow);
    return;
  }
  for (auto it = g_run->dialogs.begin(); it != g_run->dialogs.end(); ++it) {
    HWND dialog = FindThreadWindow(it->title);
    if (dialog != nullptr && IsWindowVisible(dialog)) {
      auto action = std::move(it->action);
      g_run->dialogs.erase(it);
      action(dialog);
      return;
    }
  }
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
  ScriptedRun run;
  run.script = script;
  g_run = &run;
  const UINT_PTR timer = SetTimer(nullptr, 0, 30, &OnTick);
  const int code = RunMainWindow(SW_SHOWNORMAL, library, loadProblem, std::move(newTokenForm));
  KillTimer(nullptr, timer);
  g_run = nullptr;
  EXPECT_FALSE(run.script) << "the main window never showed";
  EXPECT_TRUE(run.dialogs.empty()) << "a dialog that the test waited for never opened";
  return code;
}

void WhenDialogOpens(const std::wstring& title, std::function<void(HWND)> action) {
  ASSERT_NE(g_run, nullptr) << "only while the main window runs";
  g_run->dialogs.push_back({title, std::move(action)});
}

using TitleSearch = std::pair<const std::wstring*, HWND>;

static BOOL CALLBACK MatchTitle(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TitleSearch*>(context);
  if (WindowText(window) != *search->first) return TRUE;
  search->second = window;
  return FALSE;
}

HWND FindThreadWindow(const std::wstring& title) {
  TitleSearch search{&title, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), &MatchTitle, reinterpret_cast<LPARAM>(&search));
  return search.second;
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
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
