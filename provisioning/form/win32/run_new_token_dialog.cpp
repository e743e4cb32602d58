#include "provisioning/new_token_dialog.h"

#include "provisioning/form/win32/module_folder.h"
#include "provisioning/form/win32/new_token_dlg.h"

NewTokenResult RunNewTokenDialog(HWND owner, ITokenLibrary& library) {
  CNewTokenDlg dialog(library, ProgramFolder());
  dialog.DoModal(owner);
  return dialog.Result();
}
