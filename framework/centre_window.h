// Centres a top-level window on a reference window, or on its monitor's work
// area, and keeps it inside that work area.
#pragma once

#include <windows.h>

// Where a window with rectangle `window` goes when centred on `centreOn` and
// then pushed back inside `area` (right edge first, then left; bottom, then top).
POINT CentredOrigin(const RECT& window, const RECT& centreOn, const RECT& area);

// `reference` null means the window's owner. A reference that is hidden or
// minimised does not count: the window is then centred in the work area of
// its nearest monitor. The window is moved, never resized or activated.
void CentreWindow(HWND window, HWND reference = nullptr);
