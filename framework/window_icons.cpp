#include "framework/window_icons.h"

namespace {

HICON LoadProgramIcon(int iconId, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

}  // namespace

WindowIcons::~WindowIcons() { Release(); }

void WindowIcons::Apply(HWND window, int iconId) {
  Release();
  big_ = LoadProgramIcon(iconId, SM_CXICON, SM_CYICON);
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_));
  small_ = LoadProgramIcon(iconId, SM_CXSMICON, SM_CYSMICON);
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_));
}

void WindowIcons::Release() {
  if (big_ != nullptr) {
    DestroyIcon(big_);
    big_ = nullptr;
  }
  if (small_ != nullptr) {
    DestroyIcon(small_);
    small_ = nullptr;
  }
}
