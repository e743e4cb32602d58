// Message maps: each dialog lists which handler serves which message or
// command, and the handlers carry the work under names that say what they do.
//
//   BEGIN_MSG_MAP(CExampleDlg)
//     MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)     // LRESULT OnInitDialog(WPARAM, LPARAM)
//     COMMAND_ID_HANDLER(IDOK, OnClose)                // void OnClose(int id)
//     COMMAND_HANDLER(IDC_SAVE, BN_CLICKED, OnSave)    // void OnSave(int id)
//   END_MSG_MAP()
//
// COMMAND_ID_HANDLER takes the command whatever its notification code;
// COMMAND_HANDLER only with the given one. Commands a map does not take get
// the default dialog handling.
#pragma once

#include <windows.h>

#define BEGIN_MSG_MAP(theClass)                                                                     \
 public:                                                                                            \
  bool ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) { \
    (void)hWnd;                                                                                     \
    (void)wParam;                                                                                   \
    (void)lParam;

#define MESSAGE_HANDLER(msg, func)  \
  if (uMsg == (msg)) {              \
    lResult = func(wParam, lParam); \
    return true;                    \
  }

#define COMMAND_ID_HANDLER(id, func)                  \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) { \
    func(static_cast<int>(LOWORD(wParam)));           \
    lResult = 0;                                      \
    return true;                                      \
  }

#define COMMAND_HANDLER(id, code, func)                                           \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == (code)) { \
    func(static_cast<int>(LOWORD(wParam)));                                       \
    lResult = 0;                                                                  \
    return true;                                                                  \
  }

#define END_MSG_MAP() \
  return false;       \
  }
