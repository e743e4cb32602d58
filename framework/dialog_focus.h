// Enabling and disabling a dialog's controls without losing the keyboard
// focus. EnableWindow alone, on the control that has the focus, leaves the
// focus nowhere: Tab does nothing, and a push button keeps its default look
// beside the dialog's own default button.
#pragma once

#include <windows.h>

// Before a control that has the focus (or holds it in a child) is disabled,
// the focus moves on to the next control in tab order, as Tab would move it
// (WM_NEXTDLGCTL to the control's dialog), and the default-button look goes
// with it.
void EnableDialogControl(HWND control, bool enable);
