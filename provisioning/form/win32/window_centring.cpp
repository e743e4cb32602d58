#include "provisioning/form/win32/window_centring.h"

void CentreWindowOver(HWND window, HWND reference) {
  if (reference && (!IsWindowVisible(reference) || IsIconic(reference))) reference = nullptr;

  RECT bounds;
  if (!GetWindowRect(window, &bounds)) return;
  const LONG width = bounds.right - bounds.left;
  const LONG height = bounds.bottom - bounds.top;

  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  const HMONITOR nearest = MonitorFromWindow(reference ? reference : window, MONITOR_DEFAULTTONEAREST);
  if (!nearest || !GetMonitorInfoW(nearest, &monitor)) return;
  const RECT area = monitor.rcWork;

  RECT centre = area;
  if (reference && !GetWindowRect(reference, &centre)) centre = area;

  LONG left = (centre.left + centre.right) / 2 - width / 2;
  LONG top = (centre.top + centre.bottom) / 2 - height / 2;
  if (left + width > area.right) left = area.right - width;
  if (left < area.left) left = area.left;
  if (top + height > area.bottom) top = area.bottom - height;
  if (top < area.top) top = area.top;

  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
