// The window framework on its own: the message loop's filter and idle rules,
// the module's loop registry and the centring arithmetic.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/framework/app_module.h"
#include "app/framework/centre_window.h"
#include "app/framework/message_loop.h"

namespace {

// Each loop runs on a thread of its own, so no other test's messages reach it.
void OnFreshThread(const std::function<void()>& body) {
  std::thread thread(body);
  thread.join();
}

struct RecordingFilter : CMessageFilter {
  RecordingFilter(std::vector<std::string>& log, std::string name, UINT consumes = 0)
      : log(log), name(std::move(name)), consumes(consumes) {}
  bool FilterMessage(MSG* message) override {
    if (message->message >= WM_APP) {
      log.push_back(name + ":" + std::to_string(message->message - WM_APP));
    }
    return message->message == consumes;
  }
  std::vector<std::string>& log;
  std::string name;
  UINT consumes;
};

struct RecordingIdle : CIdleHandler {
  RecordingIdle(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
  bool DoIdleWork() override {
    log.push_back(name);
    return true;  // ignored by the loop
  }
  std::vector<std::string>& log;
  std::string name;
};

TEST(MessageLoopTest, FiltersRunMostRecentFirstAndTheFirstConsumerWins) {
  OnFreshThread([] {
    std::vector<std::string> log;
    RecordingFilter older(log, "older");
    RecordingFilter newer(log, "newer", WM_APP + 1);
    CMessageLoop loop;
    loop.AddFilter(&older);
    loop.AddFilter(&newer);
    PostMessageW(nullptr, WM_APP, 0, 0);
    PostMessageW(nullptr, WM_APP + 1, 0, 0);
    PostMessageW(nullptr, WM_APP + 2, 0, 0);
    PostQuitMessage(7);
    EXPECT_EQ(loop.RunLoop(), 7) << "the quit message's code";
    EXPECT_EQ(log, (std::vector<std::string>{"newer:0", "older:0", "newer:1", "newer:2", "older:2"}));
  });
}

TEST(MessageLoopTest, RemovingTakesOutTheFirstEqualEntryAndKeepsTheOrder) {
  OnFreshThread([] {
    std::vector<std::string> log;
    RecordingFilter a(log, "a");
    RecordingFilter b(log, "b");
    RecordingFilter c(log, "c");
    RecordingFilter absent(log, "absent");
    CMessageLoop loop;
    for (CMessageFilter* filter : {static_cast<CMessageFilter*>(&a), static_cast<CMessageFilter*>(&b),
                                   static_cast<CMessageFilter*>(&a), static_cast<CMessageFilter*>(&c)}) {
      loop.AddFilter(filter);
    }
    loop.RemoveFilter(&a);       // filters now b, a, c
    loop.RemoveFilter(&absent);  // nothing

    PostMessageW(nullptr, WM_APP, 0, 0);
    PostQuitMessage(0);
    loop.RunLoop();
    EXPECT_EQ(log, (std::vector<std::string>{"c:0", "a:0", "b:0"}));
  });
  OnFreshThread([] {
    std::vector<std::string> log;
    RecordingIdle x(log, "x");
    RecordingIdle y(log, "y");
    RecordingIdle z(log, "z");
    CMessageLoop loop;
    loop.AddIdle(&x);
    loop.AddIdle(&y);
    loop.AddIdle(&x);
    loop.AddIdle(&z);
    loop.RemoveIdle(&x);
    struct QuitAfterIdle : CIdleHandler {
      bool DoIdleWork() override {
        PostQuitMessage(0);
        return false;
      }
    } quit;
    loop.AddIdle(&quit);
    loop.RunLoop();
    EXPECT_EQ(log, (std::vector<std::string>{"y", "x", "z"}));
  });
}

// Drives a loop on another thread one message at a time, waiting after each
// until the loop has processed it and gone quiet, so that an idle pass shows.
class IdleProbe {
 public:
  IdleProbe() {
    processed_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    idled_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this] { Run(); });
    WaitForSingleObject(ready_, 5000);
  }
  ~IdleProbe() {
    if (thread_.joinable()) {
      Finish();
    }
    CloseHandle(processed_);
    CloseHandle(idled_);
    CloseHandle(ready_);
  }

  bool WaitForIdle(DWORD ms) { return WaitForSingleObject(idled_, ms) == WAIT_OBJECT_0; }

  // Posts one message and waits until the loop has handled it.
  void Deliver(UINT message, WPARAM wParam = 0) {
    ASSERT_TRUE(PostThreadMessageW(threadId_, message, wParam, 0));
    ASSERT_EQ(WaitForSingleObject(processed_, 5000), WAIT_OBJECT_0) << message;
  }

  // Ends the loop with a quit code and answers what it saw once it has stopped.
  std::vector<std::string> Finish() {
    PostThreadMessageW(threadId_, WM_QUIT, 3, 0);
    thread_.join();
    EXPECT_EQ(result_, 3) << "the quit message's code";
    return log_;
  }

 private:
  struct Filter : CMessageFilter {
    explicit Filter(IdleProbe& probe) : probe(probe) {}
    bool FilterMessage(MSG* message) override {
      probe.log_.push_back(std::to_string(message->message));
      SetEvent(probe.processed_);
      return true;
    }
    IdleProbe& probe;
  };
  struct Idle : CIdleHandler {
    explicit Idle(IdleProbe& probe) : probe(probe) {}
    bool DoIdleWork() override {
      probe.log_.push_back("idle");
      SetEvent(probe.idled_);
      return true;
    }
    IdleProbe& probe;
  };

  void Run() {
    threadId_ = GetCurrentThreadId();
    MSG peek;
    PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
    Filter filter(*this);
    Idle idle(*this);
    CMessageLoop loop;
    loop.AddFilter(&filter);
    loop.AddIdle(&idle);
    SetEvent(ready_);
    result_ = loop.RunLoop();
  }

  std::vector<std::string> log_;  // written by the loop's thread only
  int result_ = -1;

  HANDLE processed_;
  HANDLE idled_;
  HANDLE ready_;
  DWORD threadId_ = 0;
  std::thread thread_;
};

TEST(MessageLoopTest, MouseMovesPaintingAndTheSystemTimerDoNotRearmIdleButAKeyDoes) {
  IdleProbe probe;
  ASSERT_TRUE(probe.WaitForIdle(5000)) << "idle runs once at the start";
  for (UINT quiet : {UINT{WM_MOUSEMOVE}, UINT{WM_NCMOUSEMOVE}, UINT{WM_PAINT}, UINT{0x0118}}) {
    probe.Deliver(quiet);
    EXPECT_FALSE(probe.WaitForIdle(150)) << quiet << " re-armed idle processing";
  }
  probe.Deliver(WM_KEYDOWN, VK_F5);
  EXPECT_TRUE(probe.WaitForIdle(5000)) << "a key press re-arms idle processing";
  probe.Deliver(WM_TIMER);
  EXPECT_TRUE(probe.WaitForIdle(5000)) << "an ordinary timer is activity";
  EXPECT_FALSE(probe.WaitForIdle(150)) << "one idle pass per burst";
  const std::vector<std::string> log = probe.Finish();
  EXPECT_EQ(log, (std::vector<std::string>{"idle", std::to_string(WM_MOUSEMOVE), std::to_string(WM_NCMOUSEMOVE),
                                           std::to_string(WM_PAINT), "280", std::to_string(WM_KEYDOWN), "idle",
                                           std::to_string(WM_TIMER), "idle"}));
}

// ---------------------------------------------------------------- module

TEST(AppModuleTest, KeepsOneLoopPerThreadAndFindsEachThreadsOwn) {
  CAppModule module;
  module.Init();
  EXPECT_EQ(module.MainThreadId(), GetCurrentThreadId());

  CMessageLoop mainLoop;
  CMessageLoop firstLoop;
  CMessageLoop secondLoop;
  CMessageLoop spare;
  ASSERT_TRUE(module.RegisterLoop(&mainLoop));
  EXPECT_FALSE(module.RegisterLoop(&spare)) << "one loop per thread";

  HANDLE unregisterFirst = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE checkSecond = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE firstRegistered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE secondRegistered = CreateEventW(nullptr, TRUE, FALSE, nullptr);

  bool firstFoundOwn = false, firstGone = false, firstSecondUnregisterFails = false;
  bool secondFoundOwnAfterFirstLeft = false;

  std::thread first([&] {
    EXPECT_EQ(module.FindLoop(), nullptr);
    module.RegisterLoop(&firstLoop);
    firstFoundOwn = module.FindLoop() == &firstLoop;
    SetEvent(firstRegistered);
    WaitForSingleObject(unregisterFirst, 5000);
    firstGone = module.UnregisterLoop() && module.FindLoop() == nullptr;
    firstSecondUnregisterFails = !module.UnregisterLoop();
  });
  std::thread second([&] {
    module.RegisterLoop(&secondLoop);
    SetEvent(secondRegistered);
    WaitForSingleObject(checkSecond, 5000);
    secondFoundOwnAfterFirstLeft = module.FindLoop() == &secondLoop;
    module.UnregisterLoop();
  });

  HANDLE registered[] = {firstRegistered, secondRegistered};
  WaitForMultipleObjects(2, registered, TRUE, 5000);
  EXPECT_EQ(module.FindLoop(), &mainLoop);
  SetEvent(unregisterFirst);
  first.join();
  SetEvent(checkSecond);
  second.join();

  EXPECT_TRUE(firstFoundOwn);
  EXPECT_TRUE(firstGone);
  EXPECT_TRUE(firstSecondUnregisterFails);
  EXPECT_TRUE(secondFoundOwnAfterFirstLeft) << "removing an entry keeps the later ones";
  EXPECT_EQ(module.FindLoop(), &mainLoop);
  EXPECT_TRUE(module.UnregisterLoop());
  EXPECT_EQ(module.FindLoop(), nullptr);
  module.Term();

  for (HANDLE event : {unregisterFirst, checkSecond, firstRegistered, secondRegistered}) {
    CloseHandle(event);
  }
}

// ---------------------------------------------------------------- centring

TEST(CentringTest, CentresWithIntegerDivision) {
  const RECT area{0, 0, 1280, 1024};
  const POINT origin = CentredOrigin(RECT{5, 5, 106, 56}, area, area);  // 101 by 51
  EXPECT_EQ(origin.x, 640 - 50);
  EXPECT_EQ(origin.y, 512 - 25);
  // On a reference rectangle, (left + right) / 2 truncates like C division.
  const POINT onReference = CentredOrigin(RECT{0, 0, 10, 10}, RECT{-3, -3, 0, 0}, RECT{-100, -100, 100, 100});
  EXPECT_EQ(onReference.x, -1 - 5);
  EXPECT_EQ(onReference.y, -1 - 5);
}

TEST(CentringTest, KeepsTheWindowInsideTheAreaRightThenLeftBottomThenTop) {
  const RECT area{0, 0, 1280, 1024};
  // Near the right and bottom edges: pushed back in.
  const POINT nearEdge = CentredOrigin(RECT{0, 0, 300, 100}, RECT{1200, 980, 1400, 1100}, area);
  EXPECT_EQ(nearEdge.x, 1280 - 300);
  EXPECT_EQ(nearEdge.y, 1024 - 100);
  // Near the left and top edges.
  const POINT nearOrigin = CentredOrigin(RECT{0, 0, 300, 100}, RECT{-200, -200, 0, 0}, area);
  EXPECT_EQ(nearOrigin.x, 0);
  EXPECT_EQ(nearOrigin.y, 0);
  // Larger than the area: the left and top edges win, since they are applied last.
  const POINT tooBig = CentredOrigin(RECT{0, 0, 2000, 1500}, area, area);
  EXPECT_EQ(tooBig.x, 0);
  EXPECT_EQ(tooBig.y, 0);
  // The same on a monitor left of the primary one.
  const RECT leftMonitor{-1280, 0, 0, 1024};
  const POINT left = CentredOrigin(RECT{0, 0, 2000, 1500}, leftMonitor, leftMonitor);
  EXPECT_EQ(left.x, -1280);
}

TEST(CentringTest, HiddenOrMinimisedReferencesDoNotCount) {
  auto popup = [](int x, int y, int width, int height, DWORD style) {
    return CreateWindowExW(0, L"STATIC", L"", WS_POPUP | style, x, y, width, height, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  };
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  HWND window = popup(0, 0, 200, 100, 0);
  HWND reference = popup(100, 100, 400, 300, WS_VISIBLE);
  ASSERT_NE(window, nullptr);
  ASSERT_NE(reference, nullptr);

  auto origin = [window] {
    RECT rect{};
    GetWindowRect(window, &rect);
    return POINT{rect.left, rect.top};
  };
  const POINT inWorkArea{(work.left + work.right) / 2 - 100, (work.top + work.bottom) / 2 - 50};

  CentreWindow(window, reference);
  EXPECT_EQ(origin().x, 300 - 100);
  EXPECT_EQ(origin().y, 250 - 50);

  ShowWindow(reference, SW_HIDE);
  CentreWindow(window, reference);
  EXPECT_EQ(origin().x, inWorkArea.x);
  EXPECT_EQ(origin().y, inWorkArea.y);

  ShowWindow(reference, SW_SHOWMINNOACTIVE);
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  CentreWindow(window, reference);
  EXPECT_EQ(origin().x, inWorkArea.x);

  // No reference and no owner: the work area.
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  CentreWindow(window);
  EXPECT_EQ(origin().x, inWorkArea.x);
  EXPECT_EQ(origin().y, inWorkArea.y);

  DestroyWindow(window);
  DestroyWindow(reference);
}

}  // namespace
