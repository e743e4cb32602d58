#include "tests/support/win/window_driver.h"

#include <utility>
#include <vector>

namespace {

struct TitleSearch {
  DWORD processId;
  const std::wstring* title;
  bool shownOnly;
  HWND found;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TitleSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || (search->shownOnly && !IsWindowVisible(window))) return TRUE;
  if (WindowText(window) != *search->title) return TRUE;
  search->found = window;
  return FALSE;
}

struct PendingWindow {
  std::wstring title;
  std::function<void(HWND)> action;
};
std::vector<PendingWindow> g_pending;
UINT_PTR g_timer = 0;

// Runs the first action whose window shows; its action may open a modal loop
// in which this runs again.
void CALLBACK RunShownWindowAction(HWND, UINT, UINT_PTR, DWORD) {
  for (auto it = g_pending.begin(); it != g_pending.end(); ++it) {
    const HWND window = FindOwnWindow(it->title);
    if (window == nullptr || !IsWindowVisible(window)) continue;
    auto action = std::move(it->action);
    g_pending.erase(it);
    if (g_pending.empty() && g_timer != 0) {
      KillTimer(nullptr, g_timer);
      g_timer = 0;
    }
    action(window);
    return;
  }
}

}  // namespace

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  constexpr UINT kSendTimeoutMs = 10000;
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

HWND FindTopLevelWindow(DWORD processId, const std::wstring& title, bool shownOnly) {
  TitleSearch search{processId, &title, shownOnly, nullptr};
  EnumWindows(&MatchTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindOwnWindow(const std::wstring& title) { return FindTopLevelWindow(GetCurrentProcessId(), title); }

std::wstring WindowText(HWND window) {
  const LRESULT length = SendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT got = SendWithTimeout(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

std::wstring ControlText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

void ClickButton(HWND dialog, int id) { SendWithTimeout(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void SendCommand(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PostCommand(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PostKey(HWND target, UINT virtualKey) {
  const UINT scanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (scanCode << 16));
  PostMessageW(target, WM_KEYUP, virtualKey, 1 | (scanCode << 16) | 0xC0000000u);
}

void WhenWindowShows(const std::wstring& title, std::function<void(HWND)> action) {
  g_pending.push_back({title, std::move(action)});
  if (g_timer == 0) g_timer = SetTimer(nullptr, 0, 10, &RunShownWindowAction);
}

int ForgetPendingWindows() {
  const int forgotten = static_cast<int>(g_pending.size());
  g_pending.clear();
  if (g_timer != 0) {
    KillTimer(nullptr, g_timer);
    g_timer = 0;
  }
  return forgotten;
}
