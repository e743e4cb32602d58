// Puts the real tool, with the virtual key, into each state that the
// operator's guide pictures, and waits while docs/make-screenshots.sh takes
// the picture. For each scene it writes "<name>.ready" into the hand-over
// folder with the window's screen rectangle ("left top width height") and
// waits for "<name>.done".
//
// Usage: screenshot_scenes.exe HANDOVER_FOLDER
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "resources/resource.h"
#include "tests/e2e/e2e_test_support.h"

namespace {

std::filesystem::path g_handover;

bool Picture(const std::string& name, HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  // Let the window finish painting before it is pictured.
  Sleep(700);
  {
    std::ofstream ready(g_handover / (name + ".part"));
    ready << r.left << ' ' << r.top << ' ' << (r.right - r.left) << ' ' << (r.bottom - r.top) << '\n';
  }
  std::filesystem::rename(g_handover / (name + ".part"), g_handover / (name + ".ready"));
  for (int i = 0; i < 600; ++i) {
    if (std::filesystem::exists(g_handover / (name + ".done"))) return true;
    Sleep(50);
  }
  std::cerr << "screenshot_scenes: nobody pictured " << name << "\n";
  return false;
}

int Run() {
  ToolFolder folder;
  // A key with three tokens; the one stored last is the active one.
  const wchar_t* tokens[] = {
      L"add-token --type totp --hash sha256 --digits 8 --step 30 --serial 0000412785236 "
      L"--seed 3132333435363738393031323334353637383930313233343536373839303132",
      L"add-token --type totp --hash sha1 --digits 6 --step 60 --serial 0000638149275 "
      L"--seed 3132333435363738393031323334353637383930",
      L"add-token --type hotp --hash sha1 --digits 6 --step 30 --serial 0000951736428 "
      L"--seed 3132333435363738393031323334353637383930",
  };
  for (const wchar_t* command : tokens) {
    if (folder.VirtualKey(command) != 0) return 1;
  }

  ToolUnderTest tool(folder);
  if (!tool.Started()) return 1;

  // The main window after an OTP was read.
  size_t before = tool.LogText().size();
  tool.Click(IDC_GET_OTP);
  if (!tool.WaitForLog(L"HOTP = ", before)) return 1;
  tool.WaitForQuiet();
  if (!Picture("main-window", tool.Window())) return 1;

  // The New Token form on its defaults (TOTP, SHA-1, 6 digits, 60 s) with a
  // serial number, a seed and a user name.
  tool.Click(IDC_NEW_TOKEN);
  HWND form = tool.WaitForDialog(L"New Token");
  if (!form) return 1;
  SetWindowTextRemote(GetDlgItem(form, IDC_USER_NAME), L"alice@example.com");
  PostCommand(form, IDC_GENERATE_SERIAL);
  PostCommand(form, IDC_GENERATE_SEED);
  for (int i = 0; i < 100 && !IsWindowEnabled(GetDlgItem(form, IDC_SAVE)); ++i) Sleep(50);
  if (!Picture("new-token", form)) return 1;
  PostCommand(form, IDC_FORM_CANCEL);
  tool.WaitForDialogGone(form);

  // Set ENTER.
  tool.Click(IDC_SET_ENTER);
  HWND setEnter = tool.WaitForDialog(L"Set ENTER");
  if (!setEnter) return 1;
  if (!Picture("set-enter", setEnter)) return 1;
  PostCommand(setEnter, IDCANCEL);
  tool.WaitForDialogGone(setEnter);

  // The touch prompt: the key waits for a touch that comes after a while.
  // The window shows the prompt, then does not answer until the key does,
  // so it is pictured after a pause rather than asked.
  if (folder.VirtualKey(L"touch delay 8000") != 0) return 1;
  tool.Click(IDC_GET_OTP);
  Sleep(2000);
  if (!Picture("touch-prompt", tool.Window())) return 1;
  tool.WaitForLog(L"HOTP = ", 0, 20000);
  return tool.CloseWithEscape() == 2 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::cerr << "usage: screenshot_scenes.exe HANDOVER_FOLDER\n";
    return 2;
  }
  g_handover = argv[1];
  return Run();
}
