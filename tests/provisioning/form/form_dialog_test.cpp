// Dialog 130 from the real resources, driven under Wine with a scripted key.
// Each test opens the form modally; a timer runs the test's script inside the
// dialog's own modal loop, as an operator's clicks and keys would.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "framework/centre_window.h"
#include "form_fakes.h"
#include "vendor/module_path_win.h"
#include "provisioning/form/win/new_token_dlg.h"
#include "provisioning/form/win/new_token_dialog.h"
#include "resources/resource.h"
#include "tests/support/temp_folder.h"
#include "tests/support/win/window_driver.h"

namespace {

namespace fs = std::filesystem;

constexpr INT_PTR kLeftOpen = 0x5EED;  // the safety timer had to close the form
const wchar_t kFormTitle[] = L"New Token";

void CALLBACK CloseLeftOpenForm(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  if (HWND form = FindOwnWindow(kFormTitle)) EndDialog(form, kLeftOpen);
}

// Runs `open` (which shows the form modally) with `script` playing inside its
// modal loop once the form shows; a form that the script leaves open is
// closed after three seconds.
template <typename Open>
auto WithScript(std::function<void(HWND)> script, Open open) {
  bool ran = false;
  UINT_PTR safetyTimer = 0;
  WhenWindowShows(kFormTitle, [&](HWND form) {
    ran = true;
    script(form);
    safetyTimer = SetTimer(nullptr, 0, 3000, CloseLeftOpenForm);
  });
  auto result = open();
  if (safetyTimer) KillTimer(nullptr, safetyTimer);
  ForgetPendingWindows();
  EXPECT_TRUE(ran) << "the form never ran its script";
  return result;
}

LONG Style(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

class NewTokenDialogTest : public ::testing::Test {
 protected:
  NewTokenDialogTest() { library.SetSerial("CVM-0042"); }

  INT_PTR Open(CNewTokenDlg& dialog, std::function<void(HWND)> script, HWND owner = nullptr) {
    return WithScript(std::move(script), [&] { return dialog.DoModal(owner); });
  }

  ScriptedTokenLibrary library;
  TempFolder folder;
  SeedFolder seeds{folder.Path()};
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
  CNewTokenDlg dialog(library, seeds);
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
    for (const auto& [id, text] : kSomeControls) EXPECT_EQ(ControlText(form, id), text) << id;

    ExpectChecked(form, {IDC_ALGORITHM_TOTP, IDC_HASH_SHA1, IDC_DIGITS_6, IDC_INTERVAL_60, IDC_APPEND_ENTER},
                  {IDC_ALGORITHM_HOTP, IDC_HASH_SHA256, IDC_DIGITS_8, IDC_INTERVAL_30});
    EXPECT_EQ(ControlText(form, IDC_SERIAL_NUMBER), L"CVM-0042");
    EXPECT_EQ(ControlText(form, IDC_SEED), L"");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(form, IDC_SAVE)));

    // The seed field only ever shows generated seeds.
    HWND seed = GetDlgItem(form, IDC_SEED);
    EXPECT_TRUE(Style(seed) & ES_READONLY);
    SendMessageW(seed, WM_CHAR, L'A', 0);
    EXPECT_EQ(ControlText(form, IDC_SEED), L"");

    PostMessageW(form, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(dialog.Result().resultStatus, kNothingSaved);
  EXPECT_TRUE(library.personalized.empty());
}

TEST_F(NewTokenDialogTest, EnterInAFieldClosesWithOkAndSavesNothing) {
  // The dialog manager turns Enter into IDOK when no push button has the focus.
  for (int focusId : {IDC_SERIAL_NUMBER, IDC_SEED, IDC_APPEND_ENTER}) {
    CNewTokenDlg dialog(library, seeds);
    const INT_PTR result = Open(dialog, [focusId](HWND form) {
      ClickButton(form, IDC_GENERATE_SEED);  // Save enabled: Enter must still not save
      HWND field = GetDlgItem(form, focusId);
      SetFocus(field);
      PostKey(field, VK_RETURN);
    });
    EXPECT_EQ(result, IDOK) << focusId;
    EXPECT_EQ(dialog.Result().resultStatus, kNothingSaved);
    EXPECT_TRUE(dialog.Result().resultMessage.empty());
  }
  EXPECT_TRUE(library.personalized.empty());
  EXPECT_TRUE(fs::is_empty(folder.Path()));
}

// OK and Cancel close whatever their notification; the buttons act only
// when clicked, and the radio buttons and check box have no command.
TEST_F(NewTokenDialogTest, CommandsActByTheirNotificationAsTheMessageMapSays) {
  auto send = [](HWND form, int id, int notification) {
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(GetDlgItem(form, id)));
  };
  for (auto [id, notification] : {std::pair{IDOK, 1}, std::pair{IDCANCEL, 5}}) {
    CNewTokenDlg dialog(library, seeds);
    EXPECT_EQ(Open(dialog, [&, id = id, notification = notification](HWND form) { send(form, id, notification); }), id);
    EXPECT_EQ(dialog.Result().resultStatus, kNothingSaved);
  }

  CNewTokenDlg dialog(library, seeds);
  const INT_PTR result = Open(dialog, [&](HWND form) {
    constexpr int kNotClicked = BN_SETFOCUS;
    const std::wstring serial = ControlText(form, IDC_SERIAL_NUMBER);
    for (int id : {IDC_FORM_CANCEL, IDC_GENERATE_SERIAL, IDC_GENERATE_SEED, IDC_SAVE}) {
      send(form, id, kNotClicked);
    }
    send(form, IDC_ALGORITHM_HOTP, BN_CLICKED);
    send(form, IDC_APPEND_ENTER, BN_CLICKED);
    EXPECT_TRUE(IsWindow(form));
    EXPECT_EQ(ControlText(form, IDC_SERIAL_NUMBER), serial);
    EXPECT_EQ(ControlText(form, IDC_SEED), L"");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(form, IDC_SAVE)));

    send(form, IDC_GENERATE_SEED, BN_CLICKED);
    send(form, IDC_SAVE, kNotClicked);
    EXPECT_EQ(ControlText(form, IDC_SEED).size(), 40u);
    EXPECT_TRUE(library.personalized.empty());
    send(form, IDC_FORM_CANCEL, BN_CLICKED);
  });
  EXPECT_EQ(result, IDC_FORM_CANCEL);
  EXPECT_EQ(dialog.Result().resultStatus, kNothingSaved);
  EXPECT_TRUE(fs::is_empty(folder.Path()));
}

TEST_F(NewTokenDialogTest, GroupWalksReadTheChoicesAndWriteThemBack) {
  CNewTokenDlg dialog(library, seeds);
  std::wstring shownSerial, shownSeed;
  const INT_PTR result = Open(dialog, [&shownSerial, &shownSeed](HWND form) {
    ClickButton(form, IDC_ALGORITHM_HOTP);
    ClickButton(form, IDC_HASH_SHA256);
    ClickButton(form, IDC_DIGITS_8);
    ClickButton(form, IDC_INTERVAL_30);
    ClickButton(form, IDC_APPEND_ENTER);
    SetDlgItemTextW(form, IDC_USER_NAME, L"dave");
    ClickButton(form, IDC_GENERATE_SERIAL);
    const std::wstring serial = ControlText(form, IDC_SERIAL_NUMBER);
    EXPECT_EQ(serial.size(), 13u);
    EXPECT_EQ(serial.substr(0, 4), L"0000");
    EXPECT_EQ(serial.find(L'0', 4), std::wstring::npos);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(form, IDC_SAVE)));

    ExpectChecked(form, {IDC_ALGORITHM_HOTP, IDC_HASH_SHA256, IDC_DIGITS_8, IDC_INTERVAL_30},
                  {IDC_ALGORITHM_TOTP, IDC_HASH_SHA1, IDC_DIGITS_6, IDC_INTERVAL_60, IDC_APPEND_ENTER});
    EXPECT_EQ(ControlText(form, IDC_USER_NAME), L"dave");

    ClickButton(form, IDC_GENERATE_SEED);
    shownSeed = ControlText(form, IDC_SEED);
    EXPECT_EQ(shownSeed.size(), 64u);
    shownSerial = ControlText(form, IDC_SERIAL_NUMBER);
    EXPECT_EQ(shownSerial, serial);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(form, IDC_SAVE)));
    ClickButton(form, IDC_SAVE);
  });

  EXPECT_EQ(result, 1001);
  ASSERT_EQ(library.personalized.size(), 1u);
  const TokenRecord& record = library.personalized[0].first;
  EXPECT_EQ(record.type, HOTP);
  EXPECT_EQ(record.hashAlgorithm, 2u);
  EXPECT_EQ(record.digits, 8u);
  EXPECT_EQ(record.timeStep, 30u);

  // What was shown is what was sent.
  EXPECT_EQ(std::wstring(record.serial, record.serial + std::strlen(record.serial)), shownSerial);
  char hex[65] = {};
  for (int i = 0; i < 32; ++i) std::snprintf(hex + 2 * i, 3, "%02X", record.seed[i]);
  EXPECT_EQ(std::wstring(hex, hex + 64), shownSeed);

  const NewTokenResult saved = dialog.Result();
  EXPECT_EQ(saved.resultStatus, kTokenSaved);
  EXPECT_FALSE(saved.appendEnter);
  const std::string serial(record.serial);
  EXPECT_EQ(saved.resultMessage, u"Save new token succeeded!\r\nSN=" + MessageText(serial.begin(), serial.end()) +
                                     u", SEED=" + MessageText(hex, hex + 64) + u"\r\n");
  EXPECT_TRUE(fs::exists(folder.Path() / "hseeds.xml"));
  EXPECT_TRUE(fs::exists(folder.Path() / "hseeds.csv"));
  EXPECT_FALSE(fs::exists(folder.Path() / "tseeds.xml"));
}

TEST_F(NewTokenDialogTest, SaveAfterAHashChangeIsRefusedUntilANewSeed) {
  CNewTokenDlg dialog(library, seeds);
  const INT_PTR result = Open(dialog, [this](HWND form) {
    ClickButton(form, IDC_GENERATE_SEED);  // 20 bytes for SHA-1
    ClickButton(form, IDC_HASH_SHA256);
    ClickButton(form, IDC_SAVE);
    EXPECT_TRUE(IsWindow(form));
    EXPECT_EQ(GetFocus(), GetDlgItem(form, IDC_GENERATE_SEED));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(form, IDC_SAVE)));
    EXPECT_TRUE(library.personalized.empty());

    SetDlgItemTextW(form, IDC_SERIAL_NUMBER, std::wstring(64, L'9').c_str());
    ClickButton(form, IDC_GENERATE_SEED);
    ClickButton(form, IDC_SAVE);
    EXPECT_EQ(GetFocus(), GetDlgItem(form, IDC_SERIAL_NUMBER));
    EXPECT_TRUE(library.personalized.empty());
    ClickButton(form, IDC_FORM_CANCEL);
  });
  EXPECT_EQ(result, 1003);
  EXPECT_EQ(dialog.Result().resultStatus, kNothingSaved);
  EXPECT_TRUE(fs::is_empty(folder.Path()));
}

// Records the balloon tips asked of an edit control, which then shows them as usual.
class BalloonRecorder {
 public:
  explicit BalloonRecorder(HWND edit) : edit_(edit) {
    SetWindowSubclass(edit_, Record, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  ~BalloonRecorder() { RemoveWindowSubclass(edit_, Record, 1); }
  BalloonRecorder(const BalloonRecorder&) = delete;

  std::vector<std::pair<std::wstring, std::wstring>> tips;  // title, text

 private:
  static LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    if (message == EM_SHOWBALLOONTIP) {
      const auto* tip = reinterpret_cast<const EDITBALLOONTIP*>(lParam);
      reinterpret_cast<BalloonRecorder*>(self)->tips.emplace_back(tip->pszTitle, tip->pszText);
    }
    return DefSubclassProc(window, message, wParam, lParam);
  }
  HWND edit_;
};

BOOL CALLBACK CountShownTooltip(HWND window, LPARAM count) {
  if (ClassName(window) == TOOLTIPS_CLASSW && IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// Balloons on screen: the edit's own or the form's stand-in.
int ShownTooltips() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountShownTooltip, reinterpret_cast<LPARAM>(&count));
  return count;
}

// The key's own serial, listed by the key already, is said once the form is
// on screen: a balloon placed before would point nowhere.
TEST_F(NewTokenDialogTest, KeysOwnSerialInUseIsSaidOnceTheFormIsOnScreen) {
  library.tokens = {MakeTokenRecord("CVM-0042")};
  CNewTokenDlg dialog(library, seeds);
  Open(dialog, [&](HWND form) {
    BalloonRecorder serialTips(GetDlgItem(form, IDC_SERIAL_NUMBER));
    for (const DWORD until = GetTickCount() + 2000; ShownTooltips() == 0 && GetTickCount() < until; Sleep(10)) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    EXPECT_EQ(ShownTooltips(), 1);
    if (!serialTips.tips.empty()) {
      EXPECT_EQ(serialTips.tips[0].first, L"The key's own serial number is in use");
    }
    EXPECT_LE(serialTips.tips.size(), 1u);
    PostMessageW(form, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  });
}

// The thread's ANSI code page for one test; the form narrows with it.
class ThreadLocale {
 public:
  explicit ThreadLocale(LANGID language) : previous_(GetThreadLocale()) {
    EXPECT_TRUE(SetThreadLocale(MAKELCID(language, SORT_DEFAULT)));
  }
  ~ThreadLocale() { SetThreadLocale(previous_); }

 private:
  LCID previous_;
};

// With code page 1252 "ΩSN-1" would be stored as "OSN-1" and a Chinese serial as
// "???-1"; such text, and what XML cannot carry, is refused with a balloon on
// the field that must change, and nothing reaches the key or the files.
TEST_F(NewTokenDialogTest, SaveRefusesTextThatCannotBeStoredAsTypedWithABalloonOnTheField) {
  ThreadLocale western(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  CNewTokenDlg dialog(library, seeds);
  const INT_PTR result = Open(dialog, [&](HWND form) {
    const HWND serialField = GetDlgItem(form, IDC_SERIAL_NUMBER);
    const HWND userField = GetDlgItem(form, IDC_USER_NAME);
    BalloonRecorder serialTips(serialField);
    BalloonRecorder userTips(userField);
    ClickButton(form, IDC_GENERATE_SEED);

    for (const wchar_t* serial : {L"\u03A9SN-1", L"\u5E8F\u5217\u53F7-1", L"SN\u0001-1"}) {
      SetDlgItemTextW(form, IDC_SERIAL_NUMBER, serial);
      SetFocus(GetDlgItem(form, IDC_SAVE));
      ClickButton(form, IDC_SAVE);
      EXPECT_EQ(GetFocus(), serialField);
      ASSERT_FALSE(serialTips.tips.empty());
      EXPECT_EQ(serialTips.tips.back().first, L"Serial number not accepted");
      EXPECT_EQ(ShownTooltips(), 1);
      EXPECT_EQ(ControlText(form, IDC_SERIAL_NUMBER), serial);
    }
    EXPECT_NE(serialTips.tips[0].second.find(L"\u201C\u03A9\u201D"), std::wstring::npos);
    EXPECT_NE(serialTips.tips[1].second.find(L"\u201C\u5E8F\u201D"), std::wstring::npos);
    EXPECT_NE(serialTips.tips[2].second.find(L"U+0001"), std::wstring::npos);

    SetDlgItemTextW(form, IDC_SERIAL_NUMBER, L"caf\u00E9-1");
    SetDlgItemTextW(form, IDC_USER_NAME, L"bob\u0001");
    ClickButton(form, IDC_SAVE);
    EXPECT_EQ(GetFocus(), userField);
    ASSERT_EQ(userTips.tips.size(), 1u);
    EXPECT_EQ(userTips.tips[0].first, L"User name not accepted");
    EXPECT_EQ(serialTips.tips.size(), 3u);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(form, IDC_SAVE)));
    EXPECT_TRUE(library.personalized.empty());
    EXPECT_TRUE(fs::is_empty(folder.Path()));

    // What code page 1252 has is stored as typed.
    SetDlgItemTextW(form, IDC_USER_NAME, L"bob");
    ClickButton(form, IDC_SAVE);
  });
  EXPECT_EQ(result, IDC_SAVE);
  ASSERT_EQ(library.personalized.size(), 1u);
  EXPECT_STREQ(library.personalized[0].first.serial, "caf\xE9-1");
  EXPECT_EQ(dialog.Result().resultStatus, kTokenSaved);
}

// A refusal about the seed shows on the Seed/Secret field; the focus goes to
// its "Generate".
TEST_F(NewTokenDialogTest, SaveWithASeedForAnotherHashShowsItsBalloonOnTheSeedField) {
  CNewTokenDlg dialog(library, seeds);
  Open(dialog, [&](HWND form) {
    BalloonRecorder seedTips(GetDlgItem(form, IDC_SEED));
    ClickButton(form, IDC_GENERATE_SEED);
    ClickButton(form, IDC_HASH_SHA256);
    ClickButton(form, IDC_SAVE);
    EXPECT_EQ(GetFocus(), GetDlgItem(form, IDC_GENERATE_SEED));
    ASSERT_EQ(seedTips.tips.size(), 1u);
    EXPECT_EQ(seedTips.tips[0].first, L"New seed needed");
    EXPECT_EQ(ShownTooltips(), 1);
    ClickButton(form, IDC_GENERATE_SEED);  // the operator acts: the balloon has done its job
    EXPECT_EQ(ShownTooltips(), 0);
    ClickButton(form, IDC_FORM_CANCEL);
  });
  EXPECT_TRUE(library.personalized.empty());
}

// Where the form appears relative to a visible owner, kept inside the work area.
TEST_F(NewTokenDialogTest, CentresOverItsOwnerWithinTheWorkArea) {
  for (RECT ownerRect : {RECT{300, 200, 900, 700}, RECT{1000, 100, 1270, 400}}) {
    HWND owner = CreateWindowExW(0, L"Static", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, ownerRect.left,
                                 ownerRect.top, ownerRect.right - ownerRect.left, ownerRect.bottom - ownerRect.top,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(owner);
    GetWindowRect(owner, &ownerRect);
    RECT placed = {};
    CNewTokenDlg dialog(library, seeds);
    Open(
        dialog,
        [&](HWND form) {
          GetWindowRect(form, &placed);
          EXPECT_EQ(GetParent(form), owner);
          PostMessageW(form, WM_COMMAND, IDCANCEL, 0);
        },
        owner);
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
  const NewTokenResult result = WithScript([](HWND form) { PostMessageW(form, WM_COMMAND, IDCANCEL, 0); },
                                           [&] {
                                             SeedFolder seeds(folder.Path());
                                             return RunNewTokenDialog(nullptr, library, seeds);
                                           });
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
