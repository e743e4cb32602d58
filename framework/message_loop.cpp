#include "framework/message_loop.h"

#include <algorithm>

namespace {

template <class T>
void RemoveFirst(std::vector<T*>& entries, T* entry) {
  auto found = std::find(entries.begin(), entries.end(), entry);
  if (found != entries.end()) {
    entries.erase(found);
  }
}

// The system timer message that blinks carets; it is not user activity.
constexpr UINT kSystemTimer = 0x0118;

}  // namespace

void CMessageLoop::AddFilter(CMessageFilter* filter) { filters_.push_back(filter); }

void CMessageLoop::RemoveFilter(CMessageFilter* filter) { RemoveFirst(filters_, filter); }

void CMessageLoop::AddIdle(CIdleHandler* handler) { idleHandlers_.push_back(handler); }

void CMessageLoop::RemoveIdle(CIdleHandler* handler) { RemoveFirst(idleHandlers_, handler); }

bool CMessageLoop::IsIdleMessage(const MSG& message) {
  switch (message.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case kSystemTimer: return false;
    default: return true;
  }
}

int CMessageLoop::RunLoop() {
  bool doIdle = true;
  int idleCount = 0;
  for (;;) {
    while (doIdle && !PeekMessageW(&message_, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle(idleCount++)) {
        doIdle = false;
      }
    }

    const BOOL got = GetMessageW(&message_, nullptr, 0, 0);
    if (got == -1) {
      continue;  // a failed retrieval is skipped
    }
    if (!got) {
      break;  // WM_QUIT
    }

    if (!PreTranslateMessage(&message_)) {
      TranslateMessage(&message_);
      DispatchMessageW(&message_);
    }

    if (IsIdleMessage(message_)) {
      doIdle = true;
      idleCount = 0;
    }
  }
  return static_cast<int>(message_.wParam);
}

bool CMessageLoop::OnIdle(int /*idleCount*/) {
  // Index-based: a handler may remove itself while it runs.
  for (std::size_t i = 0; i < idleHandlers_.size(); ++i) {
    idleHandlers_[i]->DoIdleWork();
  }
  return false;  // one pass per burst of activity
}

bool CMessageLoop::PreTranslateMessage(MSG* message) {
  // Most recently added first; a filter may remove itself while it runs.
  for (std::size_t i = filters_.size(); i > 0; --i) {
    if (i > filters_.size()) {
      continue;
    }
    if (filters_[i - 1]->FilterMessage(message)) {
      return true;
    }
  }
  return false;
}
