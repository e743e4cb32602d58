// A window's big and small icons, loaded from one icon resource at the
// system's sizes. The icons live as long as this object, which must outlive
// the window that shows them.
#pragma once

#include <windows.h>

class WindowIcons {
 public:
  WindowIcons() = default;
  WindowIcons(const WindowIcons&) = delete;
  WindowIcons& operator=(const WindowIcons&) = delete;
  ~WindowIcons();

  // Loads icon `iconId` of the program and sets it as ICON_BIG and ICON_SMALL.
  void Apply(HWND window, int iconId);

 private:
  void Release();

  HICON big_ = nullptr;
  HICON small_ = nullptr;
};
