#include "provisioning/form/win/new_token_dialog.h"

#include "provisioning/form/win/new_token_dlg.h"

NewTokenResult RunNewTokenDialog(HWND owner, ITokenLibrary& library, SeedFolder& seeds) {
  CNewTokenDlg dialog(library, seeds);
  dialog.DoModal(owner);
  return dialog.Result();
}
