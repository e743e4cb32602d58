// The busy scope around calls that block the user-interface thread, and the
// token library that puts the key's touch-waiting calls inside one. Input is
// real: SendInput goes through the window system's input queue, as keys and
// clicks do.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/busy_token_library.h"
#include "framework/busy_scope.h"

namespace {

// A visible top-level window of this thread with the keyboard focus, so that
// input sent to the system arrives in this thread's queue.
class ForegroundWindow {
 public:
  ForegroundWindow() {
    window_ = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"busy scope test", WS_POPUP | WS_VISIBLE | SS_NOTIFY, 100, 100,
                              200, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(window_);
    SetFocus(window_);
    Drain();
  }
  ~ForegroundWindow() { DestroyWindow(window_); }
  HWND Handle() const { return window_; }

  // Handles everything queued so far.
  static void Drain() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }

 private:
  HWND window_ = nullptr;
};

// An Esc key stroke and a left click in the middle of `window`, as real input.
void PressEscapeAndClick(HWND window) {
  RECT box{};
  GetWindowRect(window, &box);
  INPUT inputs[4]{};
  inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
  inputs[0].ki.wVk = inputs[1].ki.wVk = VK_ESCAPE;
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  for (int i = 2; i < 4; ++i) {
    inputs[i].type = INPUT_MOUSE;
    inputs[i].mi.dx = ((box.left + box.right) / 2) * 65536 / screenWidth;
    inputs[i].mi.dy = ((box.top + box.bottom) / 2) * 65536 / screenHeight;
    inputs[i].mi.dwFlags =
        MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | (i == 2 ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
  }
  ASSERT_EQ(4u, SendInput(4, inputs, sizeof(INPUT)));
}

// The messages still queued, by kind, in queue order.
std::vector<UINT> QueuedMessages() {
  std::vector<UINT> kinds;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message != WM_PAINT && message.message != WM_TIMER) kinds.push_back(message.message);
    DispatchMessageW(&message);
  }
  return kinds;
}

bool HasInput(const std::vector<UINT>& kinds) {
  for (UINT kind : kinds) {
    if ((kind >= WM_KEYFIRST && kind <= WM_KEYLAST) || (kind >= WM_MOUSEFIRST && kind <= WM_MOUSELAST)) {
      return true;
    }
  }
  return false;
}

TEST(BusyScopeTest, InputMadeDuringTheCallIsDroppedAndPostedMessagesStay) {
  ForegroundWindow window;
  const HWND target = window.Handle();

  // Without a scope the input would be there: the test's input does arrive.
  PressEscapeAndClick(target);
  ASSERT_TRUE(HasInput(QueuedMessages())) << "SendInput reached no queue of this thread";

  const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  SetCursor(arrow);
  HCURSOR during = nullptr;
  {
    BusyScope busy;
    during = GetCursor();
    PressEscapeAndClick(target);
    // A device notice that carries no header may be posted.
    EXPECT_TRUE(PostMessageW(target, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));
    // Another program's key message: posted, not typed, so it is kept.
    EXPECT_TRUE(PostMessageW(target, WM_KEYDOWN, VK_F5, 0));
    EXPECT_TRUE(PostMessageW(target, WM_APP, 0, 0));
  }
  EXPECT_EQ(during, LoadCursorW(nullptr, IDC_WAIT));
  EXPECT_EQ(GetCursor(), arrow);
  EXPECT_EQ(QueuedMessages(), (std::vector<UINT>{WM_DEVICECHANGE, WM_KEYDOWN, WM_APP}));
}

TEST(BusyScopeTest, TextWrittenJustBeforeTheCallIsPaintedBeforeItBlocks) {
  ForegroundWindow window;
  const HWND box = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 180, 80,
                                   window.Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(box, nullptr);
  ForegroundWindow::Drain();
  SetWindowTextW(box, L"Please touch the key!...");
  ASSERT_TRUE(GetUpdateRect(box, nullptr, FALSE)) << "the new text should wait for a paint";
  BusyScope busy;
  EXPECT_FALSE(GetUpdateRect(box, nullptr, FALSE));
}

// Notes, for each call, whether the wait cursor showed while it ran.
class CursorProbe : public ITokenLibrary {
 public:
  std::vector<std::string> busyCalls;

  CvStatus ListDevice(std::uint32_t*) override { return Note("ListDevice"); }
  CvStatus GetDeviceInfo(DeviceInfo*) override { return Note("GetDeviceInfo"); }
  CvStatus OtpList(std::uint32_t, TokenRecord*) override { return Note("OtpList"); }
  CvStatus OtpCalculate(TokenRecord, const char*, std::uint32_t, char*, std::uint32_t*) override {
    return Note("OtpCalculate");
  }
  CvStatus OtpPersonalize(TokenRecord, std::uint32_t) override { return Note("OtpPersonalize"); }
  CvStatus OtpReset() override { return Note("OtpReset"); }
  CvStatus OtpSetValueWithEnter(std::uint32_t) override { return Note("OtpSetValueWithEnter"); }

 private:
  CvStatus Note(const char* call) {
    if (GetCursor() == LoadCursorW(nullptr, IDC_WAIT)) busyCalls.push_back(call);
    return 0x1234;
  }
};

TEST(BusyTokenLibraryTest, OnlyTheCallsThatWaitForATouchRunBusyAndStatusesPassThrough) {
  CursorProbe probe;
  BusyTokenLibrary library(probe);
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  std::uint32_t number = 0;
  DeviceInfo info{};
  TokenRecord records[kMaxTokens]{};
  char otp[kOtpBufferSize]{};
  EXPECT_EQ(0x1234u, library.ListDevice(&number));
  EXPECT_EQ(0x1234u, library.GetDeviceInfo(&info));
  EXPECT_EQ(0x1234u, library.OtpList(0, records));
  EXPECT_EQ(0x1234u, library.OtpCalculate(records[0], "", 0, otp, &number));
  EXPECT_EQ(0x1234u, library.OtpPersonalize(records[0], 1));
  EXPECT_EQ(0x1234u, library.OtpReset());
  EXPECT_EQ(0x1234u, library.OtpSetValueWithEnter(1));
  EXPECT_EQ(probe.busyCalls, (std::vector<std::string>{"OtpCalculate", "OtpPersonalize", "OtpReset"}));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

}  // namespace
