// Dialog 130 from the real resources, driven under Wine with a scripted key.
// Each test opens the form modally; a timer runs the test's script inside the
// dialog's own modal loop, as an operator's clicks and keys would.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwctype>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/framework/centre_window.h"
#include "form_fakes.h"
#include "provisioning/form/win32/new_token_dlg.h"
#include "provisioning/new_token_dialog.h"
#include "resources/resource.h"
#include "vendor/module_path.h"

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
  if (std::wcscmp(title, L"New Token") == 0) {
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
  }
  return TRUE;
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

bool Checked(HWND form, int id) { return IsDlgButtonChecked(form, id) == BST_CHECKED; }

void Click(HWND form, int id) { SendMessageW(GetDlgItem(form, id), BM_CLICK, 0, 0); }

LONG Style(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

class ScratchFolder {
 public:
  ScratchFolder() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() / ("new-token-dialog-test-" + std::to_string(stamp));
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

class NewTokenDialogTest : public ::testing::Test {
 protected:
  NewTokenDialogTest() { library.SetSerial("CVM-0042"); }

  INT_PTR Open(CNewTokenDlg& dialog, std::function<void(HWND)> script, HWND owner = nullptr) {
    return WithScript(std::move(script), [&] { return dialog.DoModal(owner); });
  }

  ScriptedTokenLibrary library;
  ScratchFolder folder;
};

TEST_F(NewTokenDialogTest, OpensWithDefaultsAndTheKeysSerialNumber) {
  CNewTokenDlg dialog(library, folder.Path());
  const INT_PTR result = Open(dialog, [](HWND form) {
    EXPECT_TRUE(Checked(form, IDC_ALGORITHM_TOTP));
    EXPECT_FALSE(Checked(form, IDC_ALGORITHM_HOTP));
    EXPECT_TRUE(Checked(form, IDC_HASH_SHA1));
    EXPECT_FALSE(Checked(form, IDC_HASH_SHA256));
    EXPECT_TRUE(Checked(form, IDC_DIGITS_6));
    EXPECT_FALSE(Checked(form, IDC_DIGITS_8));
    EXPECT_TRUE(Checked(form, IDC_INTERVAL_60));
    EXPECT_FALSE(Checked(form, IDC_INTERVAL_30));
    EXPECT_TRUE(Checked(form, IDC_APPEND_ENTER));
    EXPECT_EQ(Text(form, IDC_SERIAL_NUMBER), L"CVM-0042");
    EXPECT_EQ(Text(form, IDC_SEED), L"");
    EXPECT_EQ(Text(form, IDC_USER_NAME), L"");
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

// Dialog 130 as stored in the resources.
struct TemplateControl {
  int id;
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;     // besides WS_CHILD | WS_VISIBLE
  short x, y, cx, cy;
};

const wchar_t kButton[] = L"BUTTON", kEdit[] = L"EDIT", kStatic[] = L"STATIC";
constexpr DWORD kRadio = BS_AUTORADIOBUTTON, kGroup = WS_GROUP, kTab = WS_TABSTOP;
constexpr DWORD kField = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
const wchar_t kTouchNote[] =
    L"NOTE:\r\n\r\nAfter clicking the \"Save\" button, you need to touch the key if it is "
    L"flashing.\r\nOtherwise the operation will fail. ";

const TemplateControl kTemplate[] = {
    {IDC_ALGORITHM_HOTP, kButton, L"HOTP", kRadio | kGroup | kTab, 29, 25, 34, 10},
    {IDC_ALGORITHM_TOTP, kButton, L"TOTP", kRadio, 29, 44, 33, 10},
    {IDC_HASH_SHA1, kButton, L"SHA-1", kRadio | kGroup | kTab, 123, 25, 36, 10},
    {IDC_HASH_SHA256, kButton, L"SHA-256", kRadio, 123, 44, 45, 10},
    {IDC_DIGITS_6, kButton, L"6", kRadio | kGroup | kTab, 220, 25, 20, 10},
    {IDC_DIGITS_8, kButton, L"8", kRadio, 219, 44, 20, 10},
    {IDC_APPEND_ENTER, kButton, L"Append ENTER to OTP", BS_AUTOCHECKBOX | kTab, 29, 80, 119, 10},
    {IDC_SERIAL_NUMBER, kEdit, L"", kField, 88, 108, 288, 14},
    {IDC_GENERATE_SERIAL, kButton, L"Generate", BS_PUSHBUTTON | kTab, 381, 107, 44, 14},
    {IDC_SEED, kEdit, L"", kField | ES_READONLY, 88, 134, 288, 14},
    {IDC_GENERATE_SEED, kButton, L"Generate", BS_PUSHBUTTON | kTab, 382, 134, 44, 14},
    {IDC_USER_NAME, kEdit, L"", kField, 88, 156, 288, 14},
    {IDC_SAVE, kButton, L"Save", BS_PUSHBUTTON | WS_DISABLED | kTab, 87, 224, 82, 14},
    {-1, kStatic, L"Serial Number:", SS_LEFT | kGroup, 24, 111, 58, 8},
    {-1, kStatic, L"Seed/Secret:", SS_LEFT | kGroup, 24, 135, 58, 8},
    {-1, kButton, L"Digits", BS_GROUPBOX, 214, 10, 65, 49},
    {-1, kButton, L"Algorithm", BS_GROUPBOX, 21, 10, 67, 49},
    {-1, kButton, L"Hash", BS_GROUPBOX, 116, 10, 69, 49},
    {-1, kStatic, L"Username:\n(optional)", SS_LEFT | kGroup, 24, 158, 49, 16},
    {IDC_TOUCH_NOTE, kStatic, kTouchNote, SS_LEFT | kGroup, 87, 180, 352, 38},
    {IDC_FORM_CANCEL, kButton, L"Cancel", BS_PUSHBUTTON | kTab, 291, 221, 82, 14},
    {-1, kButton, L"Options", BS_GROUPBOX, 22, 67, 353, 30},
    {IDC_INTERVAL_30, kButton, L"30 Seconds", kRadio | kGroup | kTab, 316, 26, 54, 10},
    {IDC_INTERVAL_60, kButton, L"60 Seconds", kRadio, 315, 45, 54, 10},
    {-1, kButton, L"Time Interval", BS_GROUPBOX, 310, 11, 65, 49},
};

// Reads DLGTEMPLATEEX and its DLGITEMTEMPLATEEX entries.
class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* base) : base_(base), at_(base) {}
  template <typename T>
  T Read() {
    T value;
    std::memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }
  // A name, or an ordinal as "#n".
  std::wstring ReadNameOrOrdinal() {
    WORD first;
    std::memcpy(&first, at_, sizeof first);
    if (first != 0xFFFF) return ReadString();
    Read<WORD>();
    return L"#" + std::to_wstring(Read<WORD>());
  }
  std::wstring ReadString() {
    std::wstring text;
    for (WORD unit; (unit = Read<WORD>()) != 0;) text += static_cast<wchar_t>(unit);
    return text;
  }
  void AlignToDword() {
    while ((at_ - base_) % 4) ++at_;
  }
  void Skip(std::size_t count) { at_ += count; }

 private:
  const BYTE* base_;
  const BYTE* at_;
};

// A template names a standard class by its atom or by its name.
std::wstring StandardClassName(std::wstring name) {
  if (name == L"#128") return L"BUTTON";
  if (name == L"#129") return L"EDIT";
  if (name == L"#130") return L"STATIC";
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
  return name;
}

TEST(NewTokenDialogTemplate, HoldsItsControlsInOrderWithTheirStylesAndPlaces) {
  const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_NEWTOKEN), MAKEINTRESOURCEW(5));
  ASSERT_TRUE(found);
  const auto* base = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
  ASSERT_TRUE(base);
  TemplateReader reader(base);
  ASSERT_EQ(reader.Read<WORD>(), 1);       // dlgVer
  ASSERT_EQ(reader.Read<WORD>(), 0xFFFF);  // DLGTEMPLATEEX
  reader.Read<DWORD>();                    // help id
  reader.Read<DWORD>();                    // extended style
  const DWORD style = reader.Read<DWORD>();
  const DWORD required = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_SETFONT;
  EXPECT_EQ(style & required, required);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME | WS_VISIBLE));
  ASSERT_EQ(reader.Read<WORD>(), 25);  // controls
  reader.Read<short>();
  reader.Read<short>();
  EXPECT_EQ(reader.Read<short>(), 448);
  EXPECT_EQ(reader.Read<short>(), 259);
  EXPECT_EQ(reader.ReadNameOrOrdinal(), L"");  // no menu
  EXPECT_EQ(reader.ReadNameOrOrdinal(), L"");  // standard dialog class
  EXPECT_EQ(reader.ReadString(), L"New Token");
  EXPECT_EQ(reader.Read<WORD>(), 8);  // points
  reader.Read<WORD>();                // weight
  reader.Skip(2);                     // italic, character set
  EXPECT_EQ(reader.ReadString(), L"MS Shell Dlg");

  for (const TemplateControl& expected : kTemplate) {
    SCOPED_TRACE(testing::Message() << "control " << expected.id);
    reader.AlignToDword();
    reader.Read<DWORD>();  // help id
    EXPECT_EQ(reader.Read<DWORD>(), 0u);
    EXPECT_EQ(reader.Read<DWORD>(), expected.style | WS_CHILD | WS_VISIBLE);
    EXPECT_EQ(reader.Read<short>(), expected.x);
    EXPECT_EQ(reader.Read<short>(), expected.y);
    EXPECT_EQ(reader.Read<short>(), expected.cx);
    EXPECT_EQ(reader.Read<short>(), expected.cy);
    EXPECT_EQ(static_cast<int>(reader.Read<DWORD>()), expected.id);
    EXPECT_EQ(StandardClassName(reader.ReadNameOrOrdinal()), expected.className);
    EXPECT_EQ(reader.ReadNameOrOrdinal(), expected.text);
    reader.Skip(reader.Read<WORD>());  // creation data
  }
}

// The running form shows the template's controls at their places.
TEST_F(NewTokenDialogTest, ShowsTheTemplatesControlsAtTheirPlaces) {
  CNewTokenDlg dialog(library, folder.Path());
  Open(dialog, [&](HWND form) {
    RECT size = {0, 0, 448, 259};
    MapDialogRect(form, &size);
    RECT client;
    GetClientRect(form, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    HWND control = GetWindow(form, GW_CHILD);
    for (const TemplateControl& expected : kTemplate) {
      ASSERT_TRUE(control) << "missing control " << expected.id;
      SCOPED_TRACE(testing::Message() << "control " << expected.id);
      EXPECT_EQ(GetDlgCtrlID(control), expected.id);
      wchar_t text[512] = {};
      GetWindowTextW(control, text, 512);
      if (expected.id != IDC_SERIAL_NUMBER) {
        EXPECT_EQ(std::wstring(text), expected.text);
      }
      // The dialog manager maps position and size separately.
      RECT mapped = {expected.x, expected.y, expected.cx, expected.cy};
      MapDialogRect(form, &mapped);
      RECT placed;
      GetWindowRect(control, &placed);
      MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&placed), 2);
      EXPECT_EQ(placed.left, mapped.left);
      EXPECT_EQ(placed.top, mapped.top);
      EXPECT_EQ(placed.right - placed.left, mapped.right);
      EXPECT_EQ(placed.bottom - placed.top, mapped.bottom);
      control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_FALSE(control) << "more than 25 controls";
    PostMessageW(form, WM_COMMAND, IDCANCEL, 0);
  });
}

TEST_F(NewTokenDialogTest, EnterInAFieldClosesWithOkAndSavesNothing) {
  // The dialog manager turns Enter into IDOK when no push button has the focus.
  for (int focusId : {IDC_SERIAL_NUMBER, IDC_USER_NAME, IDC_SEED, IDC_HASH_SHA1, IDC_APPEND_ENTER}) {
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

    EXPECT_TRUE(Checked(form, IDC_ALGORITHM_HOTP));
    EXPECT_FALSE(Checked(form, IDC_ALGORITHM_TOTP));
    EXPECT_TRUE(Checked(form, IDC_HASH_SHA256));
    EXPECT_FALSE(Checked(form, IDC_HASH_SHA1));
    EXPECT_TRUE(Checked(form, IDC_DIGITS_8));
    EXPECT_FALSE(Checked(form, IDC_DIGITS_6));
    EXPECT_TRUE(Checked(form, IDC_INTERVAL_30));
    EXPECT_FALSE(Checked(form, IDC_INTERVAL_60));
    EXPECT_FALSE(Checked(form, IDC_APPEND_ENTER));
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

TEST_F(NewTokenDialogTest, FailedSaveReportsTheStatusAndWritesNoFile) {
  library.personalizeStatus = 0x80435611;
  CNewTokenDlg dialog(library, folder.Path());
  const INT_PTR result = Open(dialog, [](HWND form) {
    Click(form, IDC_GENERATE_SEED);
    Click(form, IDC_SAVE);
  });
  EXPECT_EQ(result, 1001);
  EXPECT_EQ(dialog.Result().resultStatus, kWriteToKeyFailed);
  EXPECT_EQ(dialog.Result().resultMessage, u"Failed to save the new token (error = 0x80435611)\r\n");
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
TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  const fs::path exe(path);
  const fs::path folder(FolderOfPath(ModuleFilePath(nullptr)));
  EXPECT_EQ(folder, exe.parent_path() / L"");
  EXPECT_TRUE(fs::exists(folder / exe.filename()));
}

TEST(ProgramFolder, AtADriveRootIsTheRootItself) {
  // "C:" alone would name the drive's current folder.
  EXPECT_EQ(FolderOfPath(L"C:\\OtpTool.exe"), L"C:\\");
  EXPECT_EQ(fs::path(FolderOfPath(L"C:\\OtpTool.exe")) / "hseeds.xml", fs::path(L"C:\\hseeds.xml"));
  EXPECT_EQ(FolderOfPath(L"C:\\Tools\\OtpTool.exe"), L"C:\\Tools\\");
}

}  // namespace
