#include "provisioning/form/win/new_token_dialog.h"

#include <filesystem>

#include "provisioning/form/win/new_token_dlg.h"
#include "vendor/module_path_win.h"
#include "provisioning/seed_files/save_settling.h"

namespace {

// The seed files live beside the program. The folder keeps its trailing
// backslash, so a program at a drive root writes to "C:\" and not to "C:",
// which would name the drive's current folder.
std::filesystem::path SeedFolder() { return std::filesystem::path(FolderOfPath(ModuleFilePath(nullptr))); }

}  // namespace

SettleReport SettleInterruptedSavesBesideProgram(ITokenLibrary& library) {
  const std::filesystem::path folder = SeedFolder();
  if (folder.empty()) return SettleReport{{}, {}, false};
  return SettleInterruptedSaves(folder, library);
}

NewTokenResult RunNewTokenDialog(HWND owner, ITokenLibrary& library) {
  CNewTokenDlg dialog(library, SeedFolder());
  dialog.DoModal(owner);
  return dialog.Result();
}
