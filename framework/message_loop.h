// The thread's message loop: filters that may consume a message before it is
// translated and dispatched, and idle handlers that run when the queue has
// gone quiet after real input.
#pragma once

#include <windows.h>

#include <vector>

class CMessageFilter {
 public:
  virtual ~CMessageFilter() = default;
  // True when the message was consumed and must not be translated or dispatched.
  virtual bool FilterMessage(MSG* message) = 0;
};

class CIdleHandler {
 public:
  virtual ~CIdleHandler() = default;
  // The loop ignores the answer.
  virtual bool DoIdleWork() = 0;
};

class CMessageLoop {
 public:
  void AddFilter(CMessageFilter* filter);
  // Takes out the first entry equal to `filter`; absent entries are ignored.
  void RemoveFilter(CMessageFilter* filter);
  void AddIdle(CIdleHandler* handler);
  void RemoveIdle(CIdleHandler* handler);

  // Runs until WM_QUIT and answers its wParam.
  int RunLoop();

  // Whether a message, once processed, arms idle processing again. Mouse
  // movement, painting and the system timer are not treated as user activity.
  static bool IsIdleMessage(const MSG& message);

 private:
  bool OnIdle(int idleCount);
  bool PreTranslateMessage(MSG* message);

  std::vector<CMessageFilter*> filters_;
  std::vector<CIdleHandler*> idleHandlers_;
  MSG message_{};
};
