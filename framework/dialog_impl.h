// Dialogs from dialog resources, bound to a C++ object. The static dialog
// procedure finds the object through the window's DWLP_USER slot and hands
// each message to the object's message map (message_map.h).
#pragma once

#include <windows.h>

template <class T>
class CDialogImpl {
 public:
  CDialogImpl() = default;
  CDialogImpl(const CDialogImpl&) = delete;
  CDialogImpl& operator=(const CDialogImpl&) = delete;

  // Modeless: the window from dialog resource T::IDD, or null.
  HWND Create(HWND owner) {
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(T::IDD), owner, &CDialogImpl::DialogProc,
                              reinterpret_cast<LPARAM>(static_cast<T*>(this)));
  }

  // Modal: runs until EndDialog and answers its result (-1 when it could not start).
  INT_PTR DoModal(HWND owner) {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(T::IDD), owner, &CDialogImpl::DialogProc,
                           reinterpret_cast<LPARAM>(static_cast<T*>(this)));
  }

  HWND Window() const { return window_; }

 protected:
  BOOL EndDialog(int result) { return ::EndDialog(window_, result); }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(window_, id); }

 private:
  // Messages whose answer is the dialog procedure's own return value rather
  // than DWLP_MSGRESULT.
  static bool AnswersDirectly(UINT message) {
    switch (message) {
      case WM_INITDIALOG:
      case WM_COMPAREITEM:
      case WM_VKEYTOITEM:
      case WM_CHARTOITEM:
      case WM_QUERYDRAGICON:
      case WM_CTLCOLORMSGBOX:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSCROLLBAR:
      case WM_CTLCOLORSTATIC: return true;
      default: return false;
    }
  }

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    T* self = nullptr;
    if (message == WM_INITDIALOG) {
      self = reinterpret_cast<T*>(lParam);
      SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
      self->window_ = window;
    } else {
      self = reinterpret_cast<T*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    if (self == nullptr) {
      return FALSE;  // messages before WM_INITDIALOG get the default handling
    }

    LRESULT result = 0;
    const bool handled = self->ProcessWindowMessage(window, message, wParam, lParam, result);

    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(window, DWLP_USER, 0);
      self->window_ = nullptr;
    }
    if (!handled) {
      return FALSE;
    }
    if (AnswersDirectly(message)) {
      return static_cast<INT_PTR>(result);
    }
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
  }

  HWND window_ = nullptr;
};
