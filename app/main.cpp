// Process entry: platform services up, the main window's loop, services down
// in reverse order; the window's quit code is the exit code.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <filesystem>

#include "app/busy_token_library.h"
#include "framework/app_module.h"
#include "app/run_main_window.h"
#include "provisioning/form/win/new_token_dialog.h"
#include "provisioning/seed_files/seed_file_cache.h"
#include "text/code_page.h"
#include "vendor/dll_token_library.h"
#include "vendor/module_path_win.h"

namespace {

int RunApplication(int showCommand) {
  DllTokenLibrary library;
  BusyTokenLibrary keyCalls(library);
  // Kept for the whole run, so that an unchanged seed file is read once, and
  // read ahead, so that the first form's "Generate" or "Save" finds it read.
  SeedFileCache seedFiles;
  seedFiles.Prefetch(std::filesystem::path(FolderOfPath(ModuleFilePath(nullptr))), FixedCodePage(kThreadAnsiCodePage));
  return RunMainWindow(
      showCommand, keyCalls, library.LoadProblem(),
      [&keyCalls, &seedFiles](HWND owner) { return RunNewTokenDialog(owner, keyCalls, seedFiles); },
      [&keyCalls, &seedFiles] { return SettleInterruptedSavesBesideProgram(keyCalls, seedFiles); });
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int showCommand) {
  CoInitialize(nullptr);

  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_BAR_CLASSES;
  InitCommonControlsEx(&controls);

  AppModule().Init();
  const int exitCode = RunApplication(showCommand);
  AppModule().Term();

  CoUninitialize();
  return exitCode;
}
