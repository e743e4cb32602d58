// Dialog 130 from the real resources, driven under Wine with a scripted key.
// Each test opens the form modally; a timer runs the test's script inside the
// dialog's own modal loop, as an operator's clicks and keys would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/framework/centre_window.h"
#include "form_fakes.h"
#include "provisioning/form/win/new_token_dlg.h"
#include "provisioning/new_token_dialog.h"
#include "resources/resource.h"
#include "tests/virtualkey/temp_folder.h"
#include "provisioning/files/module_path_win.h"

namespace {

namespace fs = std::filesystem;

constexpr INT_PTR kLeftOpen = 0x5EED;  // the safety timer had to close the form

// The script of the form that is opening; tests run one at a time on one thread.
struct ScriptRun {
  std::function<void(HWND)> script;
  bool ran = false;
  int attempts = 0;
  UINT_PTR safetyTimer = 0;
};
ScriptRun* g_scriptRun = nullptr;

BOOL CALLBACK MatchForm(HWND window, LPARAM result) {
  wchar_t title[32] = {};
  GetWindowTextW(window, title, 32);
  if (std::wcscmp(title, L"New Token") != 0) return TRUE;
  *reinterpret_cast<HWND*>(result) = window;
  return FALSE;
}

HWND FindForm() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), MatchForm, reinterpret_cast<LPARAM>(&found));
  return found;
}

void CALLBACK CloseLeftOpenForm(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  if (HWND form = FindForm()) EndDialog(form, kLeftOpen);
}

// Waits until the form shows (the modal loop shows it once it first goes
// idle), then plays the script and arms the safety timer.
void CALLBACK RunScript(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  const HWND form = FindForm();
  if (!form || !IsWindowVisible(form)) {
    if (++g_scriptRun->attempts < 500) SetTimer(nullptr, 0, 10, RunScript);
    return;
  }
  g_scriptRun->ran = true;
  g_scriptRun->script(form);
  g_scriptRun->safetyTimer = SetTimer(nullptr, 0, 3000, CloseLeftOpenForm);
}

// Runs `open` (which shows the form modally) with `script` playing inside it.
template <typename Open>
auto WithScript(std::function<void(HWND)> script, Open open) {
  ScriptRun run{std::move(script)};
  g_scriptRun = &run;
  SetTimer(nullptr, 0, 10, RunScript);
  auto result = open();
  if (run.safetyTimer) KillTimer(nullptr, run.safetyTimer);
  g_scriptRun = nullptr;
  EXPECT_TRUE(run.ran) << "the form never ran its script";
  return result;
}

std::wstring Text(HWND form, int id) {
  wchar_t text[512] = {};
  GetDlgItemTextW(form, id, text, 512);
  return text;
}

void Click(HWND form, int id) { SendMessageW(GetDlgItem(form, id), BM_CLICK, 0, 0); }

LONG Style(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

class NewTokenDialogTest : public ::testing::Test {
 protected:
  NewTokenDialogTest() { library.SetSerial("CVM-0042"); }

  INT_PTR Open(CNewTokenDlg& dialog, std::function<void(HWND)> script, HWND owner = nullptr) {
    return WithScript(std::move(script), [&] { return dialog.DoModal(owner); });
  }

  ScriptedTokenLibrary library;
  TempFolder folder;
};

// Expects exactly the `checked` ones of these buttons to be checked.
void ExpectChecked(HWND form, std::initializer_list<int> checked, std::initializer_list<int> unchecked) {
  for (int id : checked) EXPECT_EQ(IsDlgButtonChecked(form, id), BST_CHECKED) << id;
  for (int id : unchecked) EXPECT_EQ(IsDlgButtonChecked(form, id), BST_UNCHECKED) << id;
}

// Representative controls of dialog 130 as stored in the resources.
const std::pair<int, const wchar_t*> kSomeControls[] = {
    {IDC_INTERVAL_60, L"60 Seconds"},
    {IDC_TOUCH_NOTE,
     L"NOTE:\r\n\r\nAfter clicking the \"Save\" button, you need to touch the key if it is "
     L"flashing.\r\nOtherwise the operation will fail. "},
    {IDC_FORM_CANCEL, L"Cancel"},
};

TEST_F(NewTokenDialogTest, OpensFromTheTemplateWithDefaultsAndTheKeysSerialNumber) {
  CNewTokenDlg dialog(library, folder.Path());
  const INT_PTR result = Open(dialog, [](HWND form) {
    RECT size = {0, 0, 448, 259};
    MapDialogRect(form, &size);
    RECT client;
    GetClientRect(form, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    EXPECT_TRUE(Style(form) & WS_MINIMIZEBOX);
    EXPECT_FALSE(Style(form) & (WS_MAXIMIZEBOX | WS_THICKFRAME));
    int controls = 0;
    for (HWND child = GetWindow(form, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++controls;
    EXPECT_EQ(controls, 25);
    for (const auto& [id, text] : kSomeControls) EXPECT_EQ(Text(form, id), text) << id;

    ExpectChecked(form, {IDC_ALGORITHM_TOTP, IDC_HASH_SHA1, IDC_DIGITS_6, IDC_INTERVAL_60, IDC_APPEND_ENTER},
                  {IDC_ALGORITHM_HOTP, IDC_HASH_SHA256, IDC_DIGITS_8, IDC_INTERVAL_30});
    EXPECT_EQ(Text(form, IDC_SERIAL_NUMBER), L"CVM-0042");
    EXPECT_EQ(Text(form, IDC_SEED), L"");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(form, IDC_SAVE)));

    // The seed field only ever shows generated seeds.
    HWND seed = GetDlgItem(form, IDC_SEED);
    EXPECT_TRUE(Style(seed) & ES_READONLY);
    SendMessageW(seed, WM_CHAR, L'A', 0);
    EXPECT_EQ(Text(form, IDC_SEED), L"");

    PostMessageW(form, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(dialog.Result().resultStatus, kNothingSaved);
  EXPECT_TRUE(library.personalized.empty());
}

TEST_F(NewTokenDialogTest, EnterInAFieldClosesWithOkAndSavesNothing) {
  // The dialog manager turns Enter into IDOK when no push button has the focus.
  for (int focusId : {IDC_SERIAL_NUMBER, IDC_SEED, IDC_APPEND_ENTER}) {
    CNewTokenDlg dialog(library, folder.Path());
    const INT_PTR result = Open(dialog, [focusId](HWND form) {
      Click(form, IDC_GENERATE_SEED);  // Save enabled: Enter must still not save
      HWND field = GetDlgItem(form, focusId);
      SetFocus(field);
      PostMessageW(field, WM_KEYDOWN, VK_RETURN, 0x001C0001);
      PostMessageW(field, WM_KEYUP, VK_RETURN, 0xC01C0001);
    });
    EXPECT_EQ(result, IDOK) << focusId;
    EXPECT_EQ(dialog.Result().resultStatus, kNothingSaved);
    EXPECT_TRUE(dialog.Result().resultMessage.empty());
  }
  EXPECT_TRUE(library.personalized.empty());
  EXPECT_TRUE(fs::is_empty(folder.Path()));
}

TEST_F(NewTokenDialogTest, GroupWalksReadTheChoicesAndWriteThemBack) {
  CNewTokenDlg dialog(library, folder.Path());
  const INT_PTR result = Open(dialog, [](HWND form) {
    Click(form, IDC_ALGORITHM_HOTP);
    Click(form, IDC_HASH_SHA256);
    Click(form, IDC_DIGITS_8);
    Click(form, IDC_INTERVAL_30);
    Click(form, IDC_APPEND_ENTER);
    SetDlgItemTextW(form, IDC_USER_NAME, L"dave");
    Click(form, IDC_GENERATE_SERIAL);
    const std::wstring serial = Text(form, IDC_SERIAL_NUMBER);
    EXPECT_EQ(serial.size(), 13u);
    EXPECT_EQ(serial.substr(0, 4), L"0000");
    EXPECT_EQ(serial.find(L'0', 4), std::wstring::npos);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(form, IDC_SAVE)));

    ExpectChecked(form, {IDC_ALGORITHM_HOTP, IDC_HASH_SHA256, IDC_DIGITS_8, IDC_INTERVAL_30},
                  {IDC_ALGORITHM_TOTP, IDC_HASH_SHA1, IDC_DIGITS_6, IDC_INTERVAL_60, IDC_APPEND_ENTER});
    EXPECT_EQ(Text(form, IDC_USER_NAME), L"dave");

    Click(form, IDC_GENERATE_SEED);
    EXPECT_EQ(Text(form, IDC_SEED).size(), 64u);
    EXPECT_EQ(Text(form, IDC_SERIAL_NUMBER), serial);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(form, IDC_SAVE)));
    Click(form, IDC_SAVE);
  });

  EXPECT_EQ(result, 1001);
  ASSERT_EQ(library.personalized.size(), 1u);
  const TokenRecord& record = library.personalized[0].first;
  EXPECT_EQ(record.type, HOTP);
  EXPECT_EQ(record.hashAlgorithm, 2u);
  EXPECT_EQ(record.digits, 8u);
  EXPECT_EQ(record.timeStep, 30u);

  const NewTokenFormState& state = dialog.State();
  EXPECT_EQ(std::string(record.serial), state.serialAnsi);
  char hex[65] = {};
  for (int i = 0; i < 32; ++i) std::snprintf(hex + 2 * i, 3, "%02X", record.seed[i]);
  EXPECT_STREQ(hex, state.seedHex);  // what was shown is what was sent

  const NewTokenResult saved = dialog.Result();
  EXPECT_EQ(saved.resultStatus, kTokenSaved);
  EXPECT_FALSE(saved.appendEnter);
  const std::string serial(record.serial);
  EXPECT_EQ(saved.resultMessage,
            u"Save new token succeeded!\r\nSN=" + MessageText(serial.begin(), serial.end()) +
                u", SEED=" + MessageText(hex, hex + 64) + u"\r\n");
  EXPECT_TRUE(fs::exists(folder.Path() / "hseeds.xml"));
  EXPECT_TRUE(fs::exists(folder.Path() / "hseeds.csv"));
  EXPECT_FALSE(fs::exists(folder.Path() / "tseeds.xml"));
}

TEST_F(NewTokenDialogTest, SaveAfterAHashChangeIsRefusedUntilANewSeed) {
  CNewTokenDlg dialog(library, folder.Path());
  const INT_PTR result = Open(dialog, [this](HWND form) {
    Click(form, IDC_GENERATE_SEED);  // 20 bytes for SHA-1
    Click(form, IDC_HASH_SHA256);
    Click(form, IDC_SAVE);
    EXPECT_TRUE(IsWindow(form));
    EXPECT_EQ(GetFocus(), GetDlgItem(form, IDC_GENERATE_SEED));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(form, IDC_SAVE)));
    EXPECT_TRUE(library.personalized.empty());

    SetDlgItemTextW(form, IDC_SERIAL_NUMBER, std::wstring(64, L'9').c_str());
    Click(form, IDC_GENERATE_SEED);
    Click(form, IDC_SAVE);
    EXPECT_EQ(GetFocus(), GetDlgItem(form, IDC_SERIAL_NUMBER));
    EXPECT_TRUE(library.personalized.empty());
    Click(form, IDC_FORM_CANCEL);
  });
  EXPECT_EQ(result, 1003);
  EXPECT_EQ(dialog.Result().resultStatus, kNothingSaved);
  EXPECT_TRUE(fs::is_empty(folder.Path()));
}

// Where the form appears relative to a visible owner, kept inside the work area.
TEST_F(NewTokenDialogTest, CentresOverItsOwnerWithinTheWorkArea) {
  for (RECT ownerRect : {RECT{300, 200, 900, 700}, RECT{1000, 100, 1270, 400}}) {
    HWND owner = CreateWindowExW(0, L"Static", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 ownerRect.left, ownerRect.top, ownerRect.right - ownerRect.left,
                                 ownerRect.bottom - ownerRect.top, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(owner);
    GetWindowRect(owner, &ownerRect);
    RECT placed = {};
    CNewTokenDlg dialog(library, folder.Path());
    Open(dialog, [&](HWND form) {
      GetWindowRect(form, &placed);
      EXPECT_EQ(GetParent(form), owner);
      PostMessageW(form, WM_COMMAND, IDCANCEL, 0);
    }, owner);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const POINT want = CentredOrigin(placed, ownerRect, monitor.rcWork);
    EXPECT_EQ(placed.left, want.x);
    EXPECT_EQ(placed.top, want.y);
    DestroyWindow(owner);
  }
}

TEST_F(NewTokenDialogTest, RunNewTokenDialogLeavesNothingWhenCancelled) {
  const NewTokenResult result = WithScript(
      [](HWND form) { PostMessageW(form, WM_COMMAND, IDCANCEL, 0); },
      [&] { return RunNewTokenDialog(nullptr, library); });
  EXPECT_EQ(result.resultStatus, kNothingSaved);
  EXPECT_TRUE(result.resultMessage.empty());
  EXPECT_TRUE(result.appendEnter);
}

// The form writes its seed files into the folder these give for the program.
TEST(ProgramFolder, IsTheFolderOfTheRunningExecutableAndAtADriveRootTheRootItself) {
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  const fs::path exe(path);
  EXPECT_EQ(fs::path(FolderOfPath(ModuleFilePath(nullptr))), exe.parent_path() / L"");
  // "C:" alone would name the drive's current folder.
  EXPECT_EQ(FolderOfPath(L"C:\\OtpTool.exe"), L"C:\\");
  EXPECT_EQ(FolderOfPath(L"C:\\Tools\\OtpTool.exe"), L"C:\\Tools\\");
}

}  // namespace
