#include "app/run_main_window.h"

#include <utility>

#include "framework/app_module.h"
#include "framework/message_loop.h"
#include "mainwindow/win/main_dlg.h"

int RunMainWindow(int showCommand, ITokenLibrary& library, const MessageText& loadProblem, SeedFolder& seeds,
                  std::function<NewTokenResult(HWND owner, SeedFolder& seeds)> runNewTokenForm) {
  CMessageLoop loop;
  AppModule().RegisterLoop(&loop);

  int quitCode = 0;
  {
    CMainDlg mainWindow(library, loadProblem, seeds, std::move(runNewTokenForm));
    if (mainWindow.Create(nullptr) != nullptr) {
      ShowWindow(mainWindow.Window(), showCommand);
      quitCode = loop.RunLoop();
    }
  }

  AppModule().UnregisterLoop();
  return quitCode;
}
