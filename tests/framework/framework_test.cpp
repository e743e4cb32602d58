// The window framework on its own: the message loop's filter and idle rules,
// the module's loop registry and the centring arithmetic.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "framework/app_module.h"
#include "framework/centre_window.h"
#include "framework/message_loop.h"
#include "files/scoped_handle_win.h"

namespace {

// Each loop runs on a thread of its own, so no other test's messages reach it.
void OnFreshThread(const std::function<void()>& body) { std::thread(body).join(); }

struct RecordingFilter : CMessageFilter {
  RecordingFilter(std::vector<std::string>& log, std::string name, UINT consumes = 0)
      : log(log), name(std::move(name)), consumes(consumes) {}
  bool FilterMessage(MSG* message) override {
    if (message->message >= WM_APP) log.push_back(name + ":" + std::to_string(message->message - WM_APP));
    return message->message == consumes;
  }
  std::vector<std::string>& log;
  std::string name;
  UINT consumes;
};

TEST(MessageLoopTest, FiltersRunMostRecentFirstTheFirstConsumerWinsAndRemovalTakesTheFirstEqualEntry) {
  OnFreshThread([] {
    std::vector<std::string> log;
    RecordingFilter a(log, "a");
    RecordingFilter b(log, "b", WM_APP + 1);
    RecordingFilter c(log, "c");
    RecordingFilter absent(log, "absent");
    CMessageLoop loop;
    for (CMessageFilter* filter : std::vector<CMessageFilter*>{&a, &c, &a, &b}) loop.AddFilter(filter);
    loop.RemoveFilter(&a);       // filters now c, a, b
    loop.RemoveFilter(&absent);  // nothing
    PostMessageW(nullptr, WM_APP, 0, 0);
    PostMessageW(nullptr, WM_APP + 1, 0, 0);
    PostQuitMessage(7);
    EXPECT_EQ(loop.RunLoop(), 7) << "the quit message's code";
    EXPECT_EQ(log, (std::vector<std::string>{"b:0", "a:0", "c:0", "b:1"}));
  });
}

// Plays messages to the loop one at a time. After each the queue stays empty
// until a timer wakes the loop, so an idle pass the message armed shows in the
// log; the wake-up's own idle pass plays the next message.
struct IdleScript : CMessageFilter, CIdleHandler {
  std::vector<UINT> steps;
  std::size_t next = 0;
  bool awaitingWake = false;
  UINT_PTR wakeTimer = 0;
  std::vector<std::string> log;

  bool DoIdleWork() override {
    if (awaitingWake) {
      log.push_back("idle");
    } else if (next < steps.size()) {
      PostThreadMessageW(GetCurrentThreadId(), steps[next++], 0, 0);
    } else {
      PostQuitMessage(3);
    }
    return true;  // ignored by the loop
  }
  bool FilterMessage(MSG* message) override {
    if (message->message == WM_TIMER && message->wParam == wakeTimer) {
      KillTimer(nullptr, wakeTimer);
      awaitingWake = false;
    } else {
      log.push_back(std::to_string(message->message));
      awaitingWake = true;
      wakeTimer = SetTimer(nullptr, 0, 50, nullptr);
    }
    return true;
  }
};

TEST(MessageLoopTest, MouseMovesPaintingAndTheSystemTimerDoNotRearmIdleButAKeyDoes) {
  OnFreshThread([] {
    IdleScript script;
    script.steps = {WM_MOUSEMOVE, WM_NCMOUSEMOVE, WM_PAINT, 0x0118, WM_KEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN};
    CMessageLoop loop;
    loop.AddFilter(&script);
    loop.AddIdle(&script);
    EXPECT_EQ(loop.RunLoop(), 3);
    EXPECT_EQ(script.log, (std::vector<std::string>{"512", "160", "15", "280", "256", "idle", "512", "513", "idle"}));
  });
}

// Thread A registers before the main thread and thread B after it; the main
// thread's entry, in the middle, goes first and the others must keep theirs.
TEST(AppModuleTest, KeepsOneLoopPerThreadAndFindsEachThreadsOwn) {
  CAppModule module;
  module.Init();
  const ScopedHandle checkEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const HANDLE check = checkEvent.Get();
  auto startWorker = [&](CMessageLoop& loop, bool& foundOwnLater) {
    const ScopedHandle registeredEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE registered = registeredEvent.Get();
    std::thread worker([&module, check, registered, own = &loop, found = &foundOwnLater] {
      EXPECT_EQ(module.FindLoop(), nullptr);
      EXPECT_TRUE(module.RegisterLoop(own));
      SetEvent(registered);
      WaitForSingleObject(check, 5000);
      *found = module.FindLoop() == own;
      EXPECT_TRUE(module.UnregisterLoop());
      EXPECT_FALSE(module.UnregisterLoop());
    });
    WaitForSingleObject(registered, 5000);
    return worker;
  };
  CMessageLoop loopA, mainLoop, spare, loopB;
  bool aFoundOwn = false, bFoundOwn = false;
  std::thread a = startWorker(loopA, aFoundOwn);
  ASSERT_TRUE(module.RegisterLoop(&mainLoop));
  EXPECT_FALSE(module.RegisterLoop(&spare)) << "one loop per thread";
  std::thread b = startWorker(loopB, bFoundOwn);
  EXPECT_EQ(module.FindLoop(), &mainLoop);
  EXPECT_TRUE(module.UnregisterLoop());
  EXPECT_EQ(module.FindLoop(), nullptr);
  SetEvent(check);
  a.join();
  b.join();
  EXPECT_TRUE(aFoundOwn);
  EXPECT_TRUE(bFoundOwn);
  module.Term();
}

TEST(CentringTest, CentresWithIntegerDivisionAndKeepsTheWindowInsideTheArea) {
  const RECT area{0, 0, 1280, 1024};
  struct Case {
    RECT window, centreOn, area;
    LONG x, y;
  };
  const Case cases[] = {
      {{5, 5, 106, 56}, area, area, 640 - 50, 512 - 25},                          // 101 by 51
      {{0, 0, 10, 10}, {-3, -3, 0, 0}, {-100, -100, 100, 100}, -1 - 5, -1 - 5},   // truncates like C
      {{0, 0, 300, 100}, {1200, 980, 1400, 1100}, area, 1280 - 300, 1024 - 100},  // pushed back in
      {{0, 0, 300, 100}, {-200, -200, 0, 0}, area, 0, 0},
      {{0, 0, 2000, 1500}, area, area, 0, 0},  // too big: left and top win, applied last
      {{0, 0, 2000, 1500}, {-1280, 0, 0, 1024}, {-1280, 0, 0, 1024}, -1280, 0},
  };
  for (const Case& c : cases) {
    const POINT origin = CentredOrigin(c.window, c.centreOn, c.area);
    EXPECT_EQ(origin.x, c.x) << c.window.right << " on " << c.centreOn.left;
    EXPECT_EQ(origin.y, c.y) << c.window.right << " on " << c.centreOn.left;
  }
}

TEST(CentringTest, HiddenOrMinimisedReferencesDoNotCount) {
  auto popup = [](int x, int y, int width, int height, DWORD style) {
    return CreateWindowExW(0, L"STATIC", L"", WS_POPUP | style, x, y, width, height, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  };
  HWND window = popup(0, 0, 200, 100, 0);
  HWND reference = popup(100, 100, 400, 300, WS_VISIBLE);
  ASSERT_NE(window, nullptr);
  ASSERT_NE(reference, nullptr);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const std::pair<LONG, LONG> inWorkArea{(work.left + work.right) / 2 - 100, (work.top + work.bottom) / 2 - 50};
  auto centredOn = [window](HWND on) {
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    CentreWindow(window, on);
    RECT rect{};
    GetWindowRect(window, &rect);
    return std::pair<LONG, LONG>{rect.left, rect.top};
  };

  EXPECT_EQ(centredOn(reference), (std::pair<LONG, LONG>{300 - 100, 250 - 50}));
  ShowWindow(reference, SW_HIDE);
  EXPECT_EQ(centredOn(reference), inWorkArea);
  ShowWindow(reference, SW_SHOWMINNOACTIVE);
  EXPECT_EQ(centredOn(reference), inWorkArea);
  EXPECT_EQ(centredOn(nullptr), inWorkArea) << "no reference and no owner";
  DestroyWindow(window);
  DestroyWindow(reference);
}

}  // namespace
