// Message maps: each dialog lists which handler serves which message or
// command, and the handlers carry the work under names that say what they do.
//
//   BEGIN_MSG_MAP(CExampleDlg)
//     MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)     // LRESULT OnInitDialog(WPARAM, LPARAM)
//     COMMAND_ID_HANDLER(IDOK, OnClose)                // void OnClose(int id)
//     COMMAND_ROUTER(OnCommand)                        // bool OnCommand(int id, int code)
//   END_MSG_MAP()
//
// COMMAND_ROUTER serves a dialog whose commands are routed by logic of its
// own: the router answers whether it took the command, and the commands it
// leaves get the default dialog handling.
#pragma once

#include <windows.h>

#define BEGIN_MSG_MAP(theClass)                                                         \
 public:                                                                                \
  bool ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,          \
                            LRESULT& lResult) {                                          \
    (void)hWnd;                                                                          \
    (void)wParam;                                                                        \
    (void)lParam;

#define MESSAGE_HANDLER(msg, func)   \
  if (uMsg == (msg)) {               \
    lResult = func(wParam, lParam);  \
    return true;                     \
  }

#define COMMAND_ID_HANDLER(id, func)                      \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) {     \
    func(static_cast<int>(LOWORD(wParam)));               \
    lResult = 0;                                          \
    return true;                                          \
  }

#define COMMAND_ROUTER(func)                                                     \
  if (uMsg == WM_COMMAND &&                                                      \
      func(static_cast<int>(LOWORD(wParam)), static_cast<int>(HIWORD(wParam)))) { \
    lResult = 0;                                                                 \
    return true;                                                                 \
  }

#define END_MSG_MAP() \
  return false;       \
  }
