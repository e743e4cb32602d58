// Centring a window over another, or in its monitor's work area.
#pragma once

#include <windows.h>

// Centres `window` on `reference`'s window rectangle when the reference is a
// visible, not minimised window, otherwise on the work area of the nearest
// monitor; then keeps it inside that work area. Never resizes, reorders or
// activates it. Without monitor information the window stays where it is.
void CentreWindowOver(HWND window, HWND reference);
