// The keyboard focus when a button that has it is disabled by its own click:
// it moves on to the next control, and only one button looks like the default.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_test_support.h"
#include "tests/e2e/x_input.h"

namespace {

HWND FocusOfThreadOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

BOOL CALLBACK CountDefaultButton(HWND child, LPARAM count) {
  wchar_t className[32] = L"";
  GetClassNameW(child, className, 32);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  if (lstrcmpiW(className, L"Button") == 0 && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
    ++*reinterpret_cast<int*>(count);
  }
  return TRUE;
}

int DefaultButtons(HWND dialog) {
  int count = 0;
  EnumChildWindows(dialog, CountDefaultButton, reinterpret_cast<LPARAM>(&count));
  return count;
}

TEST(FocusAfterDisable, ClickedResetHandsTheFocusOnAndOneButtonLooksDefault) {
  ToolFolder folder;
  ASSERT_EQ(0, folder.VirtualKey(L"add-token --type hotp --serial 0000111111111"));
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  const size_t logBefore = tool.LogText().size();

  // A real click: the button takes the focus, then disables itself.
  ASSERT_TRUE(ClickCentreOf(GetDlgItem(tool.Window(), IDC_RESET))) << "xdotool did not run";
  ASSERT_TRUE(tool.WaitForLog(L"Reset Succeeded!\r\n", logBefore));
  tool.WaitForQuiet();

  const HWND focus = FocusOfThreadOf(tool.Window());
  EXPECT_NE(focus, nullptr) << "nothing has the keyboard focus";
  EXPECT_TRUE(IsChild(tool.Window(), focus));
  EXPECT_TRUE(IsWindowEnabled(focus));
  EXPECT_EQ(1, DefaultButtons(tool.Window()));
  EXPECT_EQ(2, tool.CloseWithEscape());
}

TEST(FocusAfterDisable, ClickedSaveHandsTheFocusOnWhileTheKeyIsAwaited) {
  ToolFolder folder;
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  CreatedToken created;
  HWND form = FillNewTokenForm(tool, NewTokenChoices{}, created);
  ASSERT_NE(form, nullptr);
  ASSERT_EQ(0, folder.VirtualKey(L"touch delay 3000"));

  ASSERT_TRUE(ClickCentreOf(GetDlgItem(form, IDC_SAVE))) << "xdotool did not run";
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(form, IDC_SAVE)); }, 10000));

  // The form is blocked in the call: what it shows now is what the operator sees.
  const HWND focus = FocusOfThreadOf(form);
  EXPECT_NE(focus, nullptr) << "nothing has the keyboard focus";
  EXPECT_TRUE(IsChild(form, focus));
  EXPECT_TRUE(IsWindowEnabled(focus));
  // The form names no default button: the look goes with the focus, or nowhere.
  EXPECT_LE(DefaultButtons(form), 1);
  EXPECT_NE(BS_DEFPUSHBUTTON, GetWindowLongW(GetDlgItem(form, IDC_SAVE), GWL_STYLE) & BS_TYPEMASK);
  EXPECT_TRUE(tool.WaitForDialogGone(form));
}

}  // namespace
