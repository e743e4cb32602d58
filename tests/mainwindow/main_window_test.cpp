// The real main window, built from the real dialog resources, driven through
// messages as the user and the platform would drive it. The window logic
// itself is tested natively; these check what the binding adds.
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "framework/centre_window.h"
#include "provisioning/seed_files/save_journal.h"
#include "provisioning/seed_files/save_settling.h"
#include "resources/resource.h"
#include "tests/mainwindow/main_window_test_support.h"
#include "tests/support/scripted_token_library.h"
#include "tests/support/temp_folder.h"
#include "text/line_breaks.h"
#include "vendor/dll_token_library.h"

namespace {

constexpr wchar_t kListedNothing[] = L"List tokens succeeded!\r\nBut there is no OTP token in the device!\r\n";
constexpr wchar_t kListFailed[] =
    L"Failed to list tokens (error = 0x80000001)\r\nYou must run this tool as administrator!\r\n";

class MainWindowTest : public ::testing::Test {
 protected:
  // Without a key unless a test plugs one in.
  MainWindowTest() { library_.listDeviceStatus = CV_ERR_NO_DEVICE; }

  // Runs the window; `script` ends by closing it with Esc.
  int Run(const std::function<void(HWND)>& script, std::function<NewTokenResult(HWND)> form = {},
          const MessageText& loadProblem = u"") {
    return RunMainWindowWithScript(
        library_,
        [&script](HWND window) {
          script(window);
          PostKey(window, VK_ESCAPE);
        },
        std::move(form), loadProblem);
  }

  WindowTestEnvironment environment_;
  ScriptedTokenLibrary library_;
};

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }
std::wstring LogText(HWND dialog) { return WindowText(Item(dialog, IDC_MESSAGE_LOG)); }
LRESULT RowCount(HWND dialog) { return SendMessageW(Item(dialog, IDC_TOKEN_LIST), LVM_GETITEMCOUNT, 0, 0); }

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(MainWindowTest, EscapeAndTheCloseBoxEndWithCancelAndEnterInTheMessageBoxWithOk) {
  EXPECT_EQ(RunMainWindowWithScript(library_, [](HWND window) { PostKey(window, VK_ESCAPE); }), IDCANCEL);
  EXPECT_EQ(RunMainWindowWithScript(library_, [](HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }),
            IDCANCEL);
  EXPECT_EQ(RunMainWindowWithScript(library_,
                                    [](HWND window) {
                                      HWND log = Item(window, IDC_MESSAGE_LOG);
                                      SetFocus(log);
                                      ASSERT_EQ(GetFocus(), log);
                                      PostKey(log, VK_RETURN);
                                    }),
            IDOK);
  // OK and Cancel destroy the window at once, before the loop ends.
  RunMainWindowWithScript(library_, [](HWND window) {
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindow(window));
  });
}

TEST_F(MainWindowTest, LayoutTabOrderColumnsAndCentring) {
  struct Control {
    int id;
    bool enabled;
  };
  const Control tabOrder[] = {{ID_APP_ABOUT, true},
                              {IDC_MESSAGE_LOG, true},
                              {IDC_REFRESH, false},
                              {IDC_TOKEN_LIST, true},
                              {IDC_CLEAR, true},
                              {IDC_RESET, false},
                              {IDC_GET_OTP, false},
                              {IDC_NEW_TOKEN, false},
                              {-1, true},
                              {-1, true},
                              {IDC_SET_ENTER, false},
                              {IDC_STATUS_LINE, true}};
  const wchar_t* headers[] = {L"Serial Number", L"Active", L"OTP", L"Hash", L"Digits", L"Interval"};
  const int widths[] = {180, 60, 60, 60, 60, 60};
  Run([&](HWND window) {
    HWND child = GetWindow(window, GW_CHILD);
    for (const Control& want : tabOrder) {
      ASSERT_NE(child, nullptr) << "missing control " << want.id;
      EXPECT_EQ(GetDlgCtrlID(child), want.id);
      EXPECT_EQ(IsWindowEnabled(child) != FALSE, want.enabled) << want.id;
      if (ClassName(child) == L"Button") {
        EXPECT_EQ(GetWindowLongW(child, GWL_STYLE) & (WS_TABSTOP | 0x0F), WS_TABSTOP | BS_PUSHBUTTON)
            << "a tab stop and no default button: " << want.id;
      }
      child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "more controls than the template";
    EXPECT_EQ(GetFocus(), Item(window, ID_APP_ABOUT)) << "focus starts on the first tab stop";

    const LONG logStyle = ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL | WS_TABSTOP;
    EXPECT_EQ(GetWindowLongW(Item(window, IDC_MESSAGE_LOG), GWL_STYLE) & logStyle, logStyle);
    HWND list = Item(window, IDC_TOKEN_LIST);
    EXPECT_EQ(GetWindowLongW(list, GWL_STYLE) & (LVS_TYPEMASK | LVS_SINGLESEL | LVS_SHOWSELALWAYS),
              LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS);
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);
    for (int i = 0; i < 6; ++i) {
      wchar_t text[64] = {};
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT;
      column.pszText = text;
      column.cchTextMax = 64;
      ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)));
      EXPECT_STREQ(text, headers[i]);
      EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0), widths[i]) << i;
    }

    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), WS_MINIMIZEBOX) << "fixed size";
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT rect{};
    GetWindowRect(window, &rect);
    const POINT centred = CentredOrigin(rect, work, work);
    EXPECT_EQ(rect.left, centred.x);
    EXPECT_EQ(rect.top, centred.y);
  });
}

// Rows of `text` (split at "\r\n") wider, in the message box's own font, than
// the box's formatting rectangle, which the edit never wraps.
std::vector<std::wstring> RowsWiderThanTheBox(HWND edit, const std::wstring& text) {
  RECT format{};
  SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  HDC dc = GetDC(edit);
  const HGDIOBJ before = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)));
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
  std::vector<std::wstring> wide;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(L"\r\n", start), text.size());
    const std::wstring row = text.substr(start, end - start);
    SIZE extent{};
    GetTextExtentPoint32W(dc, row.c_str(), static_cast<int>(row.size()), &extent);
    if (extent.cx > format.right - format.left) wide.push_back(row);
    start = end + 2;
  }
  SelectObject(dc, before);
  ReleaseDC(edit, dc);
  return wide;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Our own longest lines, from the code that makes them, at realistic lengths:
// the loader's at an install path, the seed files' with the system's words for
// an error, the interrupted saves' with full serial numbers.
MessageText OurLongLines(const std::filesystem::path& folder) {
  MessageText lines =
      DllTokenLibrary(L"C:\\Program Files (x86)\\Corvane Meridia\\OTP Programming Tool\\CV_Manager.dll").LoadProblem();
  ExportedToken token;
  token.serial = "CVM0123456789";
  token.seed.assign(20, 0xA5);
  token.totp = true;
  CreateDirectoryW((folder / L"tseeds.xml").c_str(), nullptr);
  {
    SeedFileAccess files;
    for (const MessageText& line : ExportToSeedFiles(folder, token, files, SeedFileSet{true, true}).lines)
      lines += line;
    SaveJournal forAbsentKey;
    forAbsentKey.Begin(folder, PendingSave{token, "CVK98765432109876543210"}, files);
  }
  ScriptedTokenLibrary key;
  key.SetSerial("CVK98765432109876543210");
  key.listStatus = 0x80100001;
  SeedFolder seeds(folder);
  const SettleReport settled = seeds.Settle(key);
  for (const MessageText& line : settled.lines) lines += line;
  for (const SettledRecord& record : settled.records) {
    for (const MessageText& line : record.lines) lines += line;
  }
  return lines;
}

TEST_F(MainWindowTest, OurLongLinesAreBrokenToFitTheMessageBoxAt96Dpi) {
  TempFolder folder;
  const MessageText lines = OurLongLines(folder.Path());
  const std::wstring unbroken(lines.begin(), lines.end());
  Run(
      [&](HWND window) {
        HWND log = Item(window, IDC_MESSAGE_LOG);
        ASSERT_EQ(unbroken.find(L"Cannot load the token library"), 0u) << Narrow(unbroken);
        ASSERT_NE(unbroken.find(L"Could not add the token to tseeds.xml"), std::wstring::npos) << Narrow(unbroken);
        ASSERT_NE(unbroken.find(L"The save of the token"), std::wstring::npos) << Narrow(unbroken);
        EXPECT_FALSE(RowsWiderThanTheBox(log, unbroken).empty()) << "unbroken, they would not fit";
        const std::wstring shown = LogText(window);
        const MessageText broken = BreakLongLines(lines, kMessageBoxLineChars);
        ASSERT_EQ(shown.rfind(std::wstring(broken.begin(), broken.end()), 0), 0u) << Narrow(shown);
        for (const std::wstring& row : RowsWiderThanTheBox(log, shown)) ADD_FAILURE() << Narrow(row);
      },
      {}, lines);
}

TEST_F(MainWindowTest, LoadProblemComesFirstAndCommandsOfDisabledButtonsAreIgnored) {
  library_.listStatus = 0x80000001;
  Run(
      [this](HWND window) {
        const std::wstring log = LogText(window);
        EXPECT_EQ(log.rfind(L"The library is missing.\r\nCorvane/Meridia device not found.\r\n", 0), 0u);
        EXPECT_TRUE(EndsWith(log, kListFailed));
        EXPECT_EQ(WindowText(Item(window, IDC_STATUS_LINE)), L"");
        const int listCalls = library_.listCalls;
        for (int id : {IDC_REFRESH, IDC_RESET, IDC_GET_OTP, IDC_SET_ENTER, IDC_NEW_TOKEN}) {
          ASSERT_FALSE(IsWindowEnabled(Item(window, id)));
          SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        }
        EXPECT_EQ(library_.listCalls, listCalls);
        EXPECT_EQ(LogText(window), log);
      },
      {}, u"The library is missing.\r\n");
}

// A real removal is driven end to end; here the headers the platform should
// never send: none at all, and one too short to hold its own fields.
TEST_F(MainWindowTest, DeviceChangesWithMissingOrShortHeadersAreIgnored) {
  library_.listDeviceStatus = CV_OK;
  library_.tokens = {MakeTokenRecord("ALPHA-1")};
  Run([](HWND window) {
    const std::wstring logBefore = LogText(window);
    DEV_BROADCAST_HDR tiny{};
    tiny.dbch_size = 4;
    tiny.dbch_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    for (UINT kind : {UINT{DBT_DEVICEREMOVECOMPLETE}, UINT{DBT_DEVICEARRIVAL}}) {
      SendMessageW(window, WM_DEVICECHANGE, kind, 0);
      SendMessageW(window, WM_DEVICECHANGE, kind, reinterpret_cast<LPARAM>(&tiny));
    }
    EXPECT_EQ(RowCount(window), 1);
    EXPECT_EQ(LogText(window), logBefore);
  });
}

TEST_F(MainWindowTest, AppendingGoesToTheEndAfterASelectionAndScrollsItIntoView) {
  library_.listDeviceStatus = CV_OK;  // each Refresh appends the two "no token" lines
  Run([](HWND window) {
    HWND log = Item(window, IDC_MESSAGE_LOG);
    for (int i = 0; i < 40; ++i) SendCommand(window, IDC_REFRESH);
    // The user looks at the top and selects the first three characters.
    SendMessageW(log, WM_VSCROLL, SB_TOP, 0);
    SendMessageW(log, EM_SETSEL, 0, 3);
    ASSERT_EQ(SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    const std::wstring before = LogText(window);

    SendCommand(window, IDC_REFRESH);

    const std::wstring after = LogText(window);
    EXPECT_EQ(after, before + kListedNothing) << "the selection is not replaced";
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(log, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, after.size());
    EXPECT_EQ(end, after.size());

    // The new text is scrolled into view: its last character sits inside the
    // formatting rectangle.
    RECT format{};
    SendMessageW(log, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    const LRESULT position = SendMessageW(log, EM_POSFROMCHAR, after.size() - 3, 0);
    const int y = static_cast<short>(HIWORD(position));
    EXPECT_GT(SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_GE(y, format.top);
    EXPECT_LT(y, format.bottom);
  });
}

TEST_F(MainWindowTest, LongSessionsKeepEveryCharacterAndClearEmptiesTheBox) {
  library_.listDeviceStatus = CV_OK;
  Run([](HWND window) {
    HWND log = Item(window, IDC_MESSAGE_LOG);
    const std::size_t start = static_cast<std::size_t>(GetWindowTextLengthW(log));
    const std::size_t perRefresh = std::wcslen(kListedNothing);
    const int refreshes = 100000 / static_cast<int>(perRefresh) + 1;  // far past 32,767
    for (int i = 0; i < refreshes; ++i) SendCommand(window, IDC_REFRESH);
    EXPECT_EQ(static_cast<std::size_t>(GetWindowTextLengthW(log)), start + perRefresh * refreshes);
    EXPECT_TRUE(EndsWith(LogText(window), kListedNothing));

    SendCommand(window, IDC_CLEAR);
    EXPECT_EQ(GetWindowTextLengthW(log), 0);
    SendCommand(window, IDC_REFRESH);
    EXPECT_EQ(LogText(window), kListedNothing);
  });
}

TEST_F(MainWindowTest, OnlyTheStatusLineIsRedAndItShowsTheListingWarning) {
  library_.listDeviceStatus = CV_OK;
  Run([this](HWND window) {
    library_.listStatus = 0x80000001;
    SendCommand(window, IDC_REFRESH);
    EXPECT_EQ(WindowText(Item(window, IDC_STATUS_LINE)), L"You must run this tool as administrator!");
    EXPECT_TRUE(EndsWith(LogText(window), kListFailed));

    HDC dc = CreateCompatibleDC(nullptr);
    HDC reference = CreateCompatibleDC(nullptr);
    auto colour = [&](HDC target, HWND control) {
      SetTextColor(target, RGB(1, 2, 3));
      return SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(target),
                          reinterpret_cast<LPARAM>(control));
    };
    EXPECT_EQ(colour(dc, Item(window, IDC_STATUS_LINE)), reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_WINDOW));

    // Everything else gets what the platform gives any dialog.
    for (HWND control : {FindWindowExW(window, nullptr, L"Static", L"Tokens:"),
                         FindWindowExW(window, nullptr, L"Static", L"Messages:"), Item(window, IDC_MESSAGE_LOG)}) {
      ASSERT_NE(control, nullptr);
      const LRESULT answer = colour(dc, control);
      SetTextColor(reference, RGB(1, 2, 3));
      EXPECT_EQ(answer, DefWindowProcW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(reference),
                                       reinterpret_cast<LPARAM>(control)));
      EXPECT_EQ(GetTextColor(dc), GetTextColor(reference));
      EXPECT_NE(GetTextColor(dc), RGB(255, 0, 0));
    }
    DeleteDC(dc);
    DeleteDC(reference);
  });
}

TEST_F(MainWindowTest, ResetShowsThePromptAndDisablesItselfWhileTheKeyIsAwaited) {
  library_.listDeviceStatus = CV_OK;
  library_.tokens = {MakeTokenRecord("ALPHA-1")};
  HWND mainWindow = nullptr;
  std::wstring meanwhile;
  library_.duringReset = [&] {
    meanwhile = WindowText(Item(mainWindow, IDC_STATUS_LINE)) +
                (IsWindowEnabled(Item(mainWindow, IDC_RESET)) ? L"|enabled" : L"|disabled");
    EXPECT_TRUE(EndsWith(LogText(mainWindow), L"Please touch the key!...\r\n"));
  };
  Run([&](HWND window) {
    mainWindow = window;
    SendCommand(window, IDC_RESET);
    EXPECT_EQ(meanwhile, L"Please touch the key...|disabled");
    EXPECT_TRUE(IsWindowEnabled(Item(window, IDC_RESET)));
    EXPECT_FALSE(IsWindowEnabled(Item(window, IDC_GET_OTP)));
    EXPECT_EQ(WindowText(Item(window, IDC_STATUS_LINE)), L"");
    EXPECT_EQ(RowCount(window), 0);
    EXPECT_TRUE(EndsWith(LogText(window), L"Reset Succeeded!\r\n"));
  });
}

TEST_F(MainWindowTest, AboutBoxIsModalCentredAndClosesWithOkOrEscape) {
  Run([](HWND window) {
    for (UINT closeKey : {UINT{VK_RETURN}, UINT{VK_ESCAPE}}) {
      bool opened = false;
      WhenWindowShows(L"About", [&, closeKey](HWND about) {
        opened = true;
        EXPECT_FALSE(IsWindowEnabled(window)) << "the owner is disabled while the box is open";
        EXPECT_EQ(GetWindow(about, GW_OWNER), window);
        EXPECT_NE(FindWindowExW(about, nullptr, L"Static", nullptr), nullptr);
        EXPECT_EQ(GetFocus(), Item(about, IDOK));
        RECT owner{};
        RECT box{};
        GetWindowRect(window, &owner);
        GetWindowRect(about, &box);
        EXPECT_EQ(box.left, (owner.left + owner.right) / 2 - (box.right - box.left) / 2);
        PostKey(closeKey == VK_RETURN ? Item(about, IDOK) : about, closeKey);
      });
      SendCommand(window, ID_APP_ABOUT);  // returns when the box has closed
      EXPECT_TRUE(opened);
      EXPECT_EQ(FindOwnWindow(L"About"), nullptr);
      EXPECT_TRUE(IsWindowEnabled(window));
    }
  });
}

// Saving each choice and Cancel are driven end to end; here the keyboard.
TEST_F(MainWindowTest, SetEnterSavesWithEnterAndEscapeOrTheCloseBoxSendNothing) {
  library_.listDeviceStatus = CV_OK;
  Run([this](HWND window) {
    WhenWindowShows(L"Set ENTER", [](HWND dialog) {
      HWND box = Item(dialog, IDC_APPEND_ENTER);
      EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
      EXPECT_EQ(GetFocus(), Item(dialog, IDOK));
      SendMessageW(box, BM_CLICK, 0, 0);
      PostKey(Item(dialog, IDOK), VK_RETURN);  // "Save" is the default button
    });
    SendCommand(window, IDC_SET_ENTER);
    EXPECT_EQ(library_.setEnterValues, std::vector<std::uint32_t>{0});

    const std::wstring logBefore = LogText(window);
    WhenWindowShows(L"Set ENTER", [](HWND dialog) { PostKey(dialog, VK_ESCAPE); });
    SendCommand(window, IDC_SET_ENTER);
    WhenWindowShows(L"Set ENTER", [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); });
    SendCommand(window, IDC_SET_ENTER);
    EXPECT_EQ(library_.setEnterValues.size(), 1u);
    EXPECT_EQ(LogText(window), logBefore);
  });
}

TEST_F(MainWindowTest, NewTokenFormIsOwnedByTheMainWindowAndASaveRefreshesTheList) {
  library_.listDeviceStatus = CV_OK;
  HWND formOwner = nullptr;
  HWND mainWindow = nullptr;
  auto form = [&](HWND owner) {
    formOwner = owner;
    return NewTokenResult{kTokenSaved, u"Token saved.\r\n", false};
  };
  Run(
      [&](HWND window) {
        mainWindow = window;
        library_.tokens = {MakeTokenRecord("NEW-1", TOTP)};
        SendCommand(window, IDC_NEW_TOKEN);
        EXPECT_TRUE(EndsWith(LogText(window), L"Token saved.\r\nSet C/R succeeded!\r\nList tokens succeeded!\r\n"));
        EXPECT_EQ(RowCount(window), 1);
      },
      form);
  EXPECT_EQ(formOwner, mainWindow);
}

}  // namespace
