// Lengths laid out in pixels at 96 DPI, scaled to the DPI of the window that
// shows them: the same at 96 DPI, larger at 125-200 % scaling.
#pragma once

#include <windows.h>

// The dots per inch of `window`'s monitor (Windows 10 onwards), else of the
// screen.
UINT WindowDpi(HWND window);

inline int ScaledForWindow(HWND window, int pixelsAt96) {
  return MulDiv(pixelsAt96, static_cast<int>(WindowDpi(window)), 96);
}
