#include "framework/busy_scope.h"

namespace {

struct MessageRange {
  UINT first;
  UINT last;
};

constexpr MessageRange kInputRanges[] = {
    {WM_KEYFIRST, WM_KEYLAST},
    {WM_MOUSEFIRST, WM_MOUSELAST},
    {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
};

BOOL CALLBACK PaintNow(HWND window, LPARAM) {
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  return TRUE;
}

}  // namespace

BusyScope::BusyScope() : previousCursor_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {
  // Nothing paints while the thread waits: what was just written (the touch
  // prompt in the message box) must be on screen before the call starts.
  EnumThreadWindows(GetCurrentThreadId(), PaintNow, 0);
}

BusyScope::~BusyScope() {
  DiscardQueuedInput();
  SetCursor(previousCursor_);
}

void DiscardQueuedInput() {
  // PM_QS_INPUT takes only what the keyboard and the mouse delivered, never a
  // posted message in the same range. The window system may still be turning
  // raw input into messages: sweep until a whole pass finds nothing.
  bool removed = true;
  while (removed) {
    removed = false;
    for (const MessageRange& range : kInputRanges) {
      MSG message;
      while (PeekMessageW(&message, nullptr, range.first, range.last, PM_REMOVE | PM_QS_INPUT)) {
        removed = true;
      }
    }
  }
}
