#include "framework/dialog_focus.h"

namespace {

bool HoldsFocus(HWND control) {
  const HWND focus = GetFocus();
  return focus != nullptr && (focus == control || IsChild(control, focus));
}

}  // namespace

void EnableDialogControl(HWND control, bool enable) {
  if (control == nullptr) return;
  if (!enable && HoldsFocus(control)) {
    if (const HWND dialog = GetParent(control)) SendMessageW(dialog, WM_NEXTDLGCTL, 0, FALSE);
  }
  EnableWindow(control, enable ? TRUE : FALSE);
}
