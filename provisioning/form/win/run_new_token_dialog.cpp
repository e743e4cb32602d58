#include "provisioning/form/win/new_token_dialog.h"

#include <filesystem>

#include "provisioning/form/win/new_token_dlg.h"
#include "vendor/module_path_win.h"
#include "provisioning/seed_files/pending_save.h"

namespace {

// The seed files live beside the program. The folder keeps its trailing
// backslash, so a program at a drive root writes to "C:\" and not to "C:",
// which would name the drive's current folder.
std::filesystem::path SeedFolder() { return std::filesystem::path(FolderOfPath(ModuleFilePath(nullptr))); }

}  // namespace

SettleReport SettleInterruptedSavesBesideProgram(ITokenLibrary& library, SeedFileCache& seedFiles) {
  const std::filesystem::path folder = SeedFolder();
  if (folder.empty()) return SettleReport{{}, {}, false};
  return SettleInterruptedSaves(folder, library, &seedFiles);
}

NewTokenResult RunNewTokenDialog(HWND owner, ITokenLibrary& library, SeedFileCache& seedFiles) {
  CNewTokenDlg dialog(library, SeedFolder(), NewTokenFormServices::Standard(&seedFiles));
  dialog.DoModal(owner);
  return dialog.Result();
}
