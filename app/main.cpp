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
#include "provisioning/seed_files/seed_folder.h"
#include "vendor/dll_token_library.h"
#include "vendor/module_path_win.h"

namespace {

// The seed files live beside the program. The folder keeps its trailing
// backslash, so a program at a drive root writes to "C:\" and not to "C:",
// which would name the drive's current folder.
std::filesystem::path ProgramFolder() { return std::filesystem::path(FolderOfPath(ModuleFilePath(nullptr))); }

int RunApplication(int showCommand) {
  DllTokenLibrary library;
  BusyTokenLibrary keyCalls(library);
  SeedFolder seeds(ProgramFolder());
  return RunMainWindow(
      showCommand, keyCalls, library.LoadProblem(), seeds,
      [&keyCalls](HWND owner, SeedFolder& seedsOfRun) { return RunNewTokenDialog(owner, keyCalls, seedsOfRun); });
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
