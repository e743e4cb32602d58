#include "framework/centre_window.h"

POINT CentredOrigin(const RECT& window, const RECT& centreOn, const RECT& area) {
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  LONG left = (centreOn.left + centreOn.right) / 2 - width / 2;
  LONG top = (centreOn.top + centreOn.bottom) / 2 - height / 2;

  if (left + width > area.right) {
    left = area.right - width;
  }
  if (left < area.left) {
    left = area.left;
  }
  if (top + height > area.bottom) {
    top = area.bottom - height;
  }
  if (top < area.top) {
    top = area.top;
  }
  return POINT{left, top};
}

void CentreWindow(HWND window, HWND reference) {
  if (reference == nullptr) {
    reference = GetWindow(window, GW_OWNER);
  }
  if (reference != nullptr) {
    const LONG style = GetWindowLongW(reference, GWL_STYLE);
    if (!(style & WS_VISIBLE) || (style & WS_MINIMIZE)) {
      reference = nullptr;
    }
  }

  HMONITOR monitor = MonitorFromWindow(reference != nullptr ? reference : window, MONITOR_DEFAULTTONEAREST);
  MONITORINFO monitorInfo{};
  monitorInfo.cbSize = sizeof(monitorInfo);
  if (monitor == nullptr || !GetMonitorInfoW(monitor, &monitorInfo)) {
    return;  // nowhere to measure against: stay put
  }

  RECT windowRect{};
  GetWindowRect(window, &windowRect);
  RECT centreOn = monitorInfo.rcWork;
  if (reference != nullptr) {
    GetWindowRect(reference, &centreOn);
  }

  const POINT origin = CentredOrigin(windowRect, centreOn, monitorInfo.rcWork);
  SetWindowPos(window, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
