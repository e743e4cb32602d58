// Colours of a static control answered on WM_CTLCOLORSTATIC: the text colour,
// the text background (a system colour) and the system brush behind it. The
// brush belongs to the system and is never deleted.
#pragma once

#include <windows.h>

class CCtlColored {
 public:
  CCtlColored(COLORREF textColour, int backgroundSystemColour)
      : textColour_(textColour), backgroundSystemColour_(backgroundSystemColour) {}

  // Prepares `dc` and answers the brush to return from WM_CTLCOLORSTATIC.
  HBRUSH Apply(HDC dc) const {
    SetTextColor(dc, textColour_);
    SetBkColor(dc, GetSysColor(backgroundSystemColour_));
    return GetSysColorBrush(backgroundSystemColour_);
  }

 private:
  COLORREF textColour_;
  int backgroundSystemColour_;
};
