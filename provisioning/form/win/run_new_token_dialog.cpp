#include "provisioning/new_token_dialog.h"

#include <filesystem>

#include "provisioning/form/win/new_token_dlg.h"
#include "provisioning/files/module_path_win.h"

NewTokenResult RunNewTokenDialog(HWND owner, ITokenLibrary& library) {
  // The seed files live beside the program. The folder keeps its trailing
  // backslash, so a program at a drive root writes to "C:\" and not to "C:",
  // which would name the drive's current folder.
  CNewTokenDlg dialog(library, std::filesystem::path(FolderOfPath(ModuleFilePath(nullptr))));
  dialog.DoModal(owner);
  return dialog.Result();
}
