#include "provisioning/form/win/new_token_dialog.h"

#include "provisioning/form/win/new_token_dlg.h"

NewTokenResult RunNewTokenDialog(HWND owner, ITokenLibrary& library, SeedFolderContext& seeds) {
  CNewTokenDlg dialog(library, seeds.folder, NewTokenFormServices::Standard(seeds));
  dialog.DoModal(owner);
  return dialog.Result();
}
