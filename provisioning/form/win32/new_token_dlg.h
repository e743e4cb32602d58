// The New Token form as a modal dialog (resource 130): routes the dialog's
// messages to the form's logic, which holds all of its state.
#pragma once

#include <windows.h>

#include <filesystem>

#include "provisioning/form/new_token_form_logic.h"
#include "provisioning/form/win32/form_window_controls.h"
#include "provisioning/new_token_result.h"
#include "resources/resource.h"
#include "vendor/token_library.h"

class CNewTokenDlg {
 public:
  enum { IDD = IDD_NEWTOKEN };

  // `seedFolder` receives the seed export files; the program passes its own
  // folder, tests a folder of their own.
  CNewTokenDlg(ITokenLibrary& library, std::filesystem::path seedFolder,
               NewTokenFormServices services = NewTokenFormServices::Standard());
  ~CNewTokenDlg();
  CNewTokenDlg(const CNewTokenDlg&) = delete;
  CNewTokenDlg& operator=(const CNewTokenDlg&) = delete;

  // Runs the form owned by `owner` until it closes; returns the dialog's
  // result (1, 2, 1001 or 1003), or -1 when it could not be created.
  INT_PTR DoModal(HWND owner);

  NewTokenResult Result() const { return logic_.Result(); }
  const NewTokenFormState& State() const { return logic_.State(); }
  HWND Window() const { return window_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  BOOL OnCommand(WORD controlId, WORD notification);
  void OnDestroy();
  void SetFormIcons();

  HWND window_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  NewTokenFormWindowControls controls_;
  NewTokenFormLogic logic_;
};
