#include "tests/mainwindow/main_window_test_support.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <utility>

#include "framework/app_module.h"
#include "resources/version.h"

const wchar_t kMainWindowTitle[] = OTP_MAIN_WINDOW_TITLE_W;

namespace {

void CALLBACK GiveUp(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  ADD_FAILURE() << "the main window did not close";
  PostQuitMessage(-1);
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
                            std::function<NewTokenResult(HWND)> newTokenForm, const MessageText& loadProblem) {
  bool shown = false;
  WhenWindowShows(kMainWindowTitle, [&](HWND mainWindow) {
    shown = true;
    script(mainWindow);
  });
  const UINT_PTR timeout = SetTimer(nullptr, 0, 60000, &GiveUp);
  SeedFolder noFolder{std::filesystem::path()};  // nothing is settled
  const int code = RunMainWindow(
      SW_SHOWNORMAL, library, loadProblem, noFolder,
      [&newTokenForm](HWND owner, SeedFolder&) { return newTokenForm ? newTokenForm(owner) : NewTokenResult{}; });
  KillTimer(nullptr, timeout);
  EXPECT_TRUE(shown) << "the main window never showed";
  EXPECT_EQ(ForgetPendingWindows(), 0) << "a dialog that the test waited for never opened";
  return code;
}
