// Keys and clicks that an operator makes while the tool waits for a touch of
// the key: real X input, queued while the tool cannot answer, must not act
// once the wait is over.
#include <gtest/gtest.h>

#include <thread>

#include "bench/seed_file_generator.h"
#include "resources/resource.h"
#include "tests/e2e/e2e_test_support.h"
#include "tests/e2e/x_input.h"

namespace {

// The text the window system keeps for a window of another process; unlike
// WM_GETTEXT it does not wait for the tool, which is busy.
std::wstring KeptText(HWND window) {
  wchar_t text[256] = L"";
  GetWindowTextW(window, text, 256);
  return text;
}

// Whether the tool's window thread takes a message within a moment.
bool Answers(HWND window) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result) != 0;
}

TEST(InputDuringTouchWait, EscapeWhileSaveWaitsLeavesTheToolRunningWithTheResultShown) {
  ToolFolder folder;
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  CreatedToken created;
  HWND form = FillNewTokenForm(tool, NewTokenChoices{}, created);
  ASSERT_NE(form, nullptr);
  ASSERT_EQ(0, folder.VirtualKey(L"touch delay 4000"));

  PostCommand(form, IDC_SAVE);
  // "Save" is disabled right before the key is asked.
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(form, IDC_SAVE)); }));
  ASSERT_TRUE(PressKeyOver(form, "Escape")) << "xdotool did not run";

  ASSERT_TRUE(tool.WaitForDialogGone(form));
  EXPECT_EQ(-1, tool.WaitForExit(1500)) << "the Esc pressed during the wait closed the tool";
  tool.WaitForQuiet();
  const std::wstring log = tool.LogText();
  EXPECT_NE(std::wstring::npos,
            log.find(L"Save new token succeeded!\r\nSN=" + created.serial + L", SEED=" + created.seed + L"\r\n"))
      << ToUtf8(log);
  EXPECT_EQ(1, tool.RowCount());
  // The tool still answers the keyboard.
  EXPECT_EQ(2, tool.CloseWithEscape());
}

// After the key answered, the seed files are written, which takes a while for
// large ones: the busy state lasts until the whole save is done.
TEST(InputDuringTouchWait, EscapeWhileSaveWritesALargeSeedFileLeavesTheToolRunning) {
  ToolFolder folder;
  ASSERT_TRUE(WriteSeedFile(folder.File(L"hseeds.xml"), 1000000));
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  CreatedToken created;
  HWND form = FillNewTokenForm(tool, NewTokenChoices{}, created);
  ASSERT_NE(form, nullptr);
  const std::string serial = ToUtf8(created.serial);

  PostCommand(form, IDC_SAVE);
  ASSERT_TRUE(WaitUntil([&] { return folder.ReadBytes(L"virtual-key.xml").find(serial) != std::string::npos; }, 15000));
  ASSERT_TRUE(PressKeyOver(form, "Escape")) << "xdotool did not run";

  ASSERT_TRUE(tool.WaitForDialogGone(form));
  EXPECT_EQ(-1, tool.WaitForExit(1500)) << "the Esc pressed while the seed file was written closed the tool";
  EXPECT_TRUE(tool.WaitForLog(L"Save new token succeeded!\r\nSN=" + created.serial));
  EXPECT_EQ(2, tool.CloseWithEscape());
}

TEST(InputDuringTouchWait, ResetClickedWhileGetOtpWaitsLeavesTheTokensOnTheKey) {
  ToolFolder folder;
  ASSERT_EQ(0, folder.VirtualKey(L"add-token --type hotp --serial 0000111111111"));
  // The active token is time-based: computing its OTP leaves the key's state file alone.
  ASSERT_EQ(0, folder.VirtualKey(L"add-token --type totp --serial 0000222222222"));
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  ASSERT_EQ(2, tool.RowCount());
  ASSERT_EQ(0, folder.VirtualKey(L"touch delay 4000"));
  const HWND status = GetDlgItem(tool.Window(), IDC_STATUS_LINE);
  const size_t logBefore = tool.LogText().size();

  tool.Click(IDC_GET_OTP);
  ASSERT_TRUE(WaitUntil([&] { return KeptText(status) == L"Please touch the key..."; }));
  ASSERT_TRUE(ClickCentreOf(GetDlgItem(tool.Window(), IDC_RESET))) << "xdotool did not run";
  // A Reset that still ran afterwards would not wait for a touch.
  ASSERT_EQ(0, folder.VirtualKey(L"touch ok"));

  ASSERT_TRUE(WaitUntil([&] { return KeptText(status).empty(); }));
  tool.WaitForQuiet(1500);
  const std::wstring log = tool.LogText().substr(logBefore);
  EXPECT_EQ(0u, log.find(L"Please touch the key!...\r\nGet OTP succeeded!\r\nTOTP = ")) << ToUtf8(log);
  EXPECT_EQ(std::wstring::npos, log.find(L"Reset")) << ToUtf8(log);
  EXPECT_EQ(2, tool.RowCount());
  std::string shown;
  ASSERT_EQ(0, folder.VirtualKey(L"show", &shown));
  EXPECT_NE(std::string::npos, shown.find("Tokens: 2")) << shown;
}

TEST(InputDuringTouchWait, EscapeDuringThePauseAfterTheKeyArrivesLeavesTheToolRunning) {
  ToolFolder folder;
  ASSERT_EQ(0, folder.VirtualKey(L"unplug"));
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  const size_t logBefore = tool.LogText().size();

  // "plug" waits until the tool has handled the arrival, pause included.
  int plugged = -1;
  std::thread plug([&] { plugged = folder.VirtualKey(L"plug"); });
  const bool paused = WaitUntil([&] { return !Answers(tool.Window()); });
  const bool pressed = paused && PressKeyOver(tool.Window(), "Escape");
  plug.join();
  ASSERT_TRUE(paused) << "the tool never paused for the arriving key";
  ASSERT_TRUE(pressed) << "xdotool did not run";
  EXPECT_EQ(0, plugged);

  EXPECT_EQ(-1, tool.WaitForExit(1500)) << "the Esc pressed during the pause closed the tool";
  EXPECT_TRUE(tool.WaitForLog(L"Found a Corvane/Meridia device.\r\n", logBefore));
  EXPECT_EQ(2, tool.CloseWithEscape());
}

}  // namespace
