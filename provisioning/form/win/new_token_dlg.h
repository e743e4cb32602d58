// The New Token form as a modal dialog (resource 130): routes the dialog's
// messages to the form's logic, which holds all of its state.
#pragma once

#include <windows.h>

#include "framework/dialog_impl.h"
#include "framework/message_map.h"
#include "framework/window_icons.h"
#include "provisioning/form/new_token_form_logic.h"
#include "provisioning/form/win/form_window_controls.h"
#include "provisioning/form/new_token_result.h"
#include "resources/resource.h"
#include "vendor/token_library.h"

class CNewTokenDlg : public CDialogImpl<CNewTokenDlg> {
 public:
  enum { IDD = IDD_NEWTOKEN };

  // `seeds` receives the seed export files; the program passes its own
  // folder, tests a folder of their own.
  CNewTokenDlg(ITokenLibrary& library, SeedFolder& seeds,
               NewTokenFormServices services = NewTokenFormServices::Standard());

  // DoModal(owner) runs the form until it closes and answers the dialog's
  // result (1, 2, 1001 or 1003), or -1 when it could not be created.

  const NewTokenResult& Result() const { return logic_.Result(); }

  // Each command runs one operation of the form's logic. OK and Cancel come
  // from keys and the close box with any notification; the buttons count
  // only when clicked. Everything else gets the default dialog handling.
  BEGIN_MSG_MAP(CNewTokenDlg)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  MESSAGE_HANDLER(WM_TIMER, OnTimer)
  COMMAND_ID_HANDLER(IDOK, OnOk)
  COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
  COMMAND_HANDLER(IDC_FORM_CANCEL, BN_CLICKED, OnCancelButton)
  COMMAND_HANDLER(IDC_GENERATE_SERIAL, BN_CLICKED, OnGenerateSerial)
  COMMAND_HANDLER(IDC_GENERATE_SEED, BN_CLICKED, OnGenerateSeed)
  COMMAND_HANDLER(IDC_SAVE, BN_CLICKED, OnSave)
  END_MSG_MAP()

 private:
  LRESULT OnInitDialog(WPARAM, LPARAM);
  LRESULT OnDestroy(WPARAM, LPARAM);
  LRESULT OnTimer(WPARAM, LPARAM);
  void OnOk(int id);
  void OnCancel(int id);
  void OnCancelButton(int id);
  void OnGenerateSerial(int id);
  void OnGenerateSeed(int id);
  void OnSave(int id);

  WindowIcons icons_;
  NewTokenFormWindowControls controls_;
  NewTokenFormLogic logic_;  // after controls_: it keeps a reference to them
};
