// The real main window, built from the real dialog resources, driven through
// messages as the user and the platform would drive it.
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/framework/centre_window.h"
#include "resources/resource.h"
#include "support/scripted_token_library.h"
#include "window_test_support.h"

namespace {

constexpr wchar_t kNotFound[] =
    L"Corvane/Meridia device not found.\r\n"
    L"You may need to run this tool as administrator (error= 0x80435602)\r\n";
constexpr wchar_t kListedNothing[] =
    L"List tokens succeeded!\r\nBut there is no OTP token in the device!\r\n";
constexpr wchar_t kListFailed[] =
    L"Failed to list tokens (error = 0x80000001)\r\nYou must run this tool as administrator!\r\n";

class MainWindowTest : public ::testing::Test {
 protected:
  // Without a key unless a test plugs one in.
  MainWindowTest() { library_.listDeviceStatuses = {CV_ERR_NO_DEVICE}; }

  WindowTestEnvironment environment_;
  ScriptedTokenLibrary library_;
};

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

std::wstring LogText(HWND dialog) { return WindowText(Item(dialog, IDC_MESSAGE_LOG)); }

LRESULT LogLength(HWND dialog) { return SendMessageW(Item(dialog, IDC_MESSAGE_LOG), WM_GETTEXTLENGTH, 0, 0); }

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The dialog manager converts position and size separately.
RECT DialogUnits(HWND dialog, int x, int y, int width, int height) {
  RECT origin{x, y, width, height};
  MapDialogRect(dialog, &origin);
  return RECT{origin.left, origin.top, origin.left + origin.right, origin.top + origin.bottom};
}

RECT RectInDialog(HWND dialog, HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// ---------------------------------------------------------------- closing

TEST_F(MainWindowTest, EscapeEndsTheRunWithCancel) {
  const int code = RunMainWindowWithScript(library_, [](HWND window) { PostKey(window, VK_ESCAPE); });
  EXPECT_EQ(code, IDCANCEL);
}

TEST_F(MainWindowTest, CloseBoxAndCloseMessageEndTheRunWithCancel) {
  EXPECT_EQ(RunMainWindowWithScript(library_, [](HWND window) {
              PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            }),
            IDCANCEL);
  EXPECT_EQ(RunMainWindowWithScript(library_, [](HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); }),
            IDCANCEL);
}

TEST_F(MainWindowTest, EnterInTheMessageBoxEndsTheRunWithOk) {
  const int code = RunMainWindowWithScript(library_, [](HWND window) {
    HWND log = Item(window, IDC_MESSAGE_LOG);
    SetFocus(log);
    EXPECT_EQ(GetFocus(), log);
    PostKey(log, VK_RETURN);
  });
  EXPECT_EQ(code, IDOK);
}

TEST_F(MainWindowTest, ClosingDestroysTheWindowBeforeTheLoopEnds) {
  HWND seen = nullptr;
  RunMainWindowWithScript(library_, [&](HWND window) {
    seen = window;
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindow(window)) << "OK and Cancel destroy the window at once";
  });
  EXPECT_NE(seen, nullptr);
}

// ---------------------------------------------------------------- layout

TEST_F(MainWindowTest, ControlsFollowTheTemplateInTabOrder) {
  struct Expected {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    bool enabled;
    RECT dialogUnits;  // x, y, width, height
  };
  const Expected expected[] = {
      {ID_APP_ABOUT, L"Button", L"&About", true, {401, 311, 82, 14}},
      {IDC_MESSAGE_LOG, L"Edit", L"", true, {26, 178, 343, 149}},
      {IDC_REFRESH, L"Button", L"Refresh", false, {400, 88, 82, 14}},
      {IDC_TOKEN_LIST, L"SysListView32", L"", true, {26, 24, 343, 115}},
      {IDC_CLEAR, L"Button", L"Clear", true, {401, 180, 80, 14}},
      {IDC_RESET, L"Button", L"Reset", false, {400, 125, 82, 14}},
      {IDC_GET_OTP, L"Button", L"Get OTP", false, {400, 67, 82, 14}},
      {IDC_NEW_TOKEN, L"Button", L"New Token", false, {400, 25, 82, 14}},
      {-1, L"Static", L"Tokens:", true, {26, 13, 58, 8}},
      {-1, L"Static", L"Messages:", true, {26, 162, 58, 8}},
      {IDC_SET_ENTER, L"Button", L"Set ENTER", false, {400, 46, 82, 14}},
      {IDC_STATUS_LINE, L"Static", L"", true, {26, 147, 343, 8}},
  };

  library_.listDeviceStatuses = {CV_ERR_NO_DEVICE};  // buttons keep their template states
  RunMainWindowWithScript(library_, [&](HWND window) {
    HWND child = GetWindow(window, GW_CHILD);
    for (const Expected& want : expected) {
      ASSERT_NE(child, nullptr) << "missing control " << want.id;
      EXPECT_EQ(GetDlgCtrlID(child), want.id);
      EXPECT_EQ(ClassName(child), want.className) << want.id;
      if (want.id != IDC_MESSAGE_LOG) {
        EXPECT_EQ(WindowText(child), want.text) << want.id;
      }
      EXPECT_EQ(IsWindowEnabled(child) != FALSE, want.enabled) << want.id;
      const RECT& u = want.dialogUnits;
      const RECT wantRect = DialogUnits(window, u.left, u.top, u.right, u.bottom);
      const RECT got = RectInDialog(window, child);
      EXPECT_EQ(got.left, wantRect.left) << want.id;
      EXPECT_EQ(got.top, wantRect.top) << want.id;
      EXPECT_EQ(got.right, wantRect.right) << want.id;
      EXPECT_EQ(got.bottom, wantRect.bottom) << want.id;
      const LONG style = GetWindowLongW(child, GWL_STYLE);
      if (ClassName(child) == L"Button") {
        EXPECT_TRUE(style & WS_TABSTOP) << want.id;
        EXPECT_EQ(style & 0x0F, BS_PUSHBUTTON) << "no default button: " << want.id;
      }
      child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "more controls than the template";

    const LONG logStyle = GetWindowLongW(Item(window, IDC_MESSAGE_LOG), GWL_STYLE);
    EXPECT_EQ(logStyle & (ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_TABSTOP),
              ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_TABSTOP);
    const LONG listStyle = GetWindowLongW(Item(window, IDC_TOKEN_LIST), GWL_STYLE);
    EXPECT_EQ(listStyle & (LVS_TYPEMASK | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP),
              LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP);

    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "fixed size";
    EXPECT_EQ(GetFocus(), Item(window, ID_APP_ABOUT)) << "focus starts on the first tab stop";
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);
    PostKey(window, VK_ESCAPE);
  });
}

TEST_F(MainWindowTest, TemplateCreatesTheWindowHidden) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_MAINDLG), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  ASSERT_NE(found, nullptr);
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
  ASSERT_NE(bytes, nullptr);
  // DLGTEMPLATEEX: version, signature 0xFFFF, help id, extended style, style.
  WORD signature = 0;
  DWORD style = 0;
  std::memcpy(&signature, bytes + 2, sizeof signature);
  std::memcpy(&style, bytes + 12, sizeof style);
  ASSERT_EQ(signature, 0xFFFF);
  EXPECT_FALSE(style & WS_VISIBLE);
  EXPECT_TRUE(style & DS_SETFONT);
}

TEST_F(MainWindowTest, TokenListHasSixFixedColumnsAndFullRowSelection) {
  struct Column {
    const wchar_t* header;
    int width;
  };
  const Column expected[] = {{L"Serial Number", 180}, {L"Active", 60}, {L"OTP", 60},
                             {L"Hash", 60},           {L"Digits", 60}, {L"Interval", 60}};
  RunMainWindowWithScript(library_, [&](HWND window) {
    HWND list = Item(window, IDC_TOKEN_LIST);
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 6);
    for (int i = 0; i < 6; ++i) {
      wchar_t text[64] = {};
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT | LVCF_FMT;
      column.pszText = text;
      column.cchTextMax = 64;
      ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)));
      EXPECT_STREQ(text, expected[i].header);
      EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
      EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0), expected[i].width) << i;
    }
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);
    PostKey(window, VK_ESCAPE);
  });
}

TEST_F(MainWindowTest, WindowIsCentredInTheWorkArea) {
  RunMainWindowWithScript(library_, [](HWND window) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT rect{};
    GetWindowRect(window, &rect);
    const POINT want = CentredOrigin(rect, work, work);
    EXPECT_EQ(rect.left, want.x);
    EXPECT_EQ(rect.top, want.y);
    EXPECT_EQ(rect.left, (work.left + work.right) / 2 - (rect.right - rect.left) / 2);
    PostKey(window, VK_ESCAPE);
  });
}

// ---------------------------------------------------------------- start-up and rows

TEST_F(MainWindowTest, KeyFoundEnablesTheButtonsAndShowsItsTokens) {
  library_.listDeviceStatuses = {CV_OK};
  library_.tokens = {MakeTokenRecord("ALPHA-1", TOTP, HASH_SHA256, 8, 60),
                     MakeTokenRecord("BETA-2", HOTP, HASH_SHA1, 6, 45)};
  RunMainWindowWithScript(library_, [](HWND window) {
    for (int id : {IDC_NEW_TOKEN, IDC_SET_ENTER, IDC_REFRESH, IDC_GET_OTP, IDC_RESET, IDC_CLEAR, ID_APP_ABOUT}) {
      EXPECT_TRUE(IsWindowEnabled(Item(window, id))) << id;
    }
    HWND list = Item(window, IDC_TOKEN_LIST);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    auto cell = [list](int row, int column) {
      wchar_t text[64] = {};
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = text;
      item.cchTextMax = 64;
      SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
      return std::wstring(text);
    };
    const std::vector<std::wstring> first = {L"ALPHA-1", L"X", L"TOTP", L"SHA-256", L"8", L"60"};
    const std::vector<std::wstring> second = {L"BETA-2", L"", L"HOTP", L"SHA-1", L"6", L""};
    for (int column = 0; column < 6; ++column) {
      EXPECT_EQ(cell(0, column), first[column]) << column;
      EXPECT_EQ(cell(1, column), second[column]) << column;
    }
    EXPECT_EQ(LogText(window), L"Found a Corvane/Meridia device.\r\nList tokens succeeded!\r\n");
    PostKey(window, VK_ESCAPE);
  });
}

TEST_F(MainWindowTest, NoKeyLogsBothOutcomesAndLeavesTheStatusLineEmpty) {
  library_.listDeviceStatuses = {CV_ERR_NO_DEVICE};
  library_.listStatus = 0x80000001;
  RunMainWindowWithScript(library_, [](HWND window) {
    EXPECT_EQ(LogText(window), std::wstring(kNotFound) + kListFailed);
    EXPECT_EQ(WindowText(Item(window, IDC_STATUS_LINE)), L"");
    PostKey(window, VK_ESCAPE);
  });
}

TEST_F(MainWindowTest, CommandsOfDisabledButtonsAreIgnored) {
  library_.listDeviceStatuses = {CV_ERR_NO_DEVICE};
  RunMainWindowWithScript(library_, [this](HWND window) {
    const int listCalls = library_.listCalls;
    const std::wstring log = LogText(window);
    for (int id : {IDC_REFRESH, IDC_RESET, IDC_GET_OTP, IDC_SET_ENTER, IDC_NEW_TOKEN}) {
      ASSERT_FALSE(IsWindowEnabled(Item(window, id)));
      SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }
    EXPECT_EQ(library_.listCalls, listCalls);
    EXPECT_EQ(LogText(window), log);
    PostKey(window, VK_ESCAPE);
  });
}

TEST_F(MainWindowTest, LoadProblemIsLoggedFirst) {
  RunMainWindowWithScript(
      library_,
      [](HWND window) {
        EXPECT_EQ(LogText(window).rfind(L"The library is missing.\r\n" + std::wstring(kNotFound), 0), 0u);
        PostKey(window, VK_ESCAPE);
      },
      {}, u"The library is missing.\r\n");
}

TEST_F(MainWindowTest, FailedRefreshShowsTheRedWarningInTheStatusLine) {
  library_.listDeviceStatuses = {CV_OK};
  RunMainWindowWithScript(library_, [this](HWND window) {
    library_.listStatus = 0x80000001;
    Click(window, IDC_REFRESH);
    EXPECT_EQ(WindowText(Item(window, IDC_STATUS_LINE)), L"You must run this tool as administrator!");
    EXPECT_TRUE(EndsWith(LogText(window), kListFailed));
    PostKey(window, VK_ESCAPE);
  });
}

TEST_F(MainWindowTest, DeviceRemovalEmptiesTheListAndIgnoresOtherBroadcasts) {
  library_.listDeviceStatuses = {CV_OK};
  library_.tokens = {MakeTokenRecord("ALPHA-1", HOTP, HASH_SHA1, 6, 30)};
  RunMainWindowWithScript(library_, [](HWND window) {
    HWND list = Item(window, IDC_TOKEN_LIST);
    const std::wstring logBefore = LogText(window);

    // Events without a header, and headers too short to hold one, change nothing.
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
    DEV_BROADCAST_HDR tiny{};
    tiny.dbch_size = 4;
    tiny.dbch_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&tiny));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);

    const std::wstring path = L"\\\\?\\USB#VID_096E&PID_0858#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    std::vector<BYTE> buffer(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                             (path.size() + 1) * sizeof(wchar_t));
    auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(buffer.data());
    broadcast->dbcc_size = static_cast<DWORD>(buffer.size());
    broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    broadcast->dbcc_classguid = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
    std::memcpy(broadcast->dbcc_name, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(broadcast));

    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(LogText(window), logBefore) << "removal logs nothing";
    EXPECT_TRUE(IsWindowEnabled(Item(window, IDC_GET_OTP)));
    PostKey(window, VK_ESCAPE);
  });
}

// ---------------------------------------------------------------- message box

TEST_F(MainWindowTest, AppendingGoesToTheEndAndScrollsItIntoView) {
  library_.listDeviceStatuses = {CV_OK};  // each Refresh appends the two "no token" lines
  RunMainWindowWithScript(library_, [](HWND window) {
    HWND log = Item(window, IDC_MESSAGE_LOG);
    for (int i = 0; i < 40; ++i) {
      Click(window, IDC_REFRESH);
    }
    // The user looks at the top and selects the first three characters.
    SendMessageW(log, WM_VSCROLL, SB_TOP, 0);
    SendMessageW(log, EM_SETSEL, 0, 3);
    ASSERT_EQ(SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    const std::wstring before = LogText(window);

    Click(window, IDC_REFRESH);

    const std::wstring after = LogText(window);
    EXPECT_EQ(after, before + kListedNothing) << "the selection is not replaced";
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(log, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, after.size());
    EXPECT_EQ(end, after.size());

    // The caret's line (the last one) is visible.
    HDC dc = GetDC(log);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(log, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, oldFont);
    ReleaseDC(log, dc);
    RECT format{};
    SendMessageW(log, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    const LRESULT visibleLines = (format.bottom - format.top) / metrics.tmHeight;
    const LRESULT caretLine = SendMessageW(log, EM_LINEFROMCHAR, static_cast<WPARAM>(-1), 0);
    const LRESULT firstVisible = SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0);
    EXPECT_EQ(caretLine, SendMessageW(log, EM_GETLINECOUNT, 0, 0) - 1);
    EXPECT_GT(firstVisible, 0);
    EXPECT_GE(caretLine, firstVisible);
    EXPECT_LT(caretLine, firstVisible + visibleLines);
    PostKey(window, VK_ESCAPE);
  });
}

TEST_F(MainWindowTest, ClearEmptiesTheBoxAndTheNextMessageStartsAtTheTop) {
  library_.listDeviceStatuses = {CV_OK};
  RunMainWindowWithScript(library_, [](HWND window) {
    ASSERT_GT(LogLength(window), 0);
    Click(window, IDC_CLEAR);
    EXPECT_EQ(LogLength(window), 0);
    Click(window, IDC_REFRESH);
    EXPECT_EQ(LogText(window), kListedNothing);
    PostKey(window, VK_ESCAPE);
  });
}

TEST_F(MainWindowTest, LongSessionsKeepEveryCharacter) {
  library_.listDeviceStatuses = {CV_OK};
  RunMainWindowWithScript(library_, [](HWND window) {
    const std::size_t start = static_cast<std::size_t>(LogLength(window));
    const std::size_t perRefresh = std::wcslen(kListedNothing);
    const int refreshes = 100000 / static_cast<int>(perRefresh) + 1;
    for (int i = 0; i < refreshes; ++i) {
      Click(window, IDC_REFRESH);
    }
    const std::size_t expected = start + perRefresh * static_cast<std::size_t>(refreshes);
    ASSERT_GT(expected, 100000u);
    EXPECT_EQ(static_cast<std::size_t>(LogLength(window)), expected);
    EXPECT_TRUE(EndsWith(LogText(window), kListedNothing));
    PostKey(window, VK_ESCAPE);
  });
}

// ---------------------------------------------------------------- colours

TEST_F(MainWindowTest, OnlyTheStatusLineIsRed) {
  RunMainWindowWithScript(library_, [](HWND window) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HDC reference = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    const auto dialogProc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(window, DWLP_DLGPROC));

    const COLORREF sentinel = RGB(1, 2, 3);
    SetTextColor(dc, sentinel);
    HWND status = Item(window, IDC_STATUS_LINE);
    const LRESULT brush = SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(status));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), GetSysColorBrush(COLOR_WINDOW));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_WINDOW));

    // Everything else gets the platform's colours: the dialog answers 0 and
    // the default handling gives what it gives any dialog.
    HWND tokens = GetWindow(Item(window, IDC_NEW_TOKEN), GW_HWNDNEXT);
    HWND messages = GetWindow(tokens, GW_HWNDNEXT);
    ASSERT_EQ(WindowText(tokens), L"Tokens:");
    ASSERT_EQ(WindowText(messages), L"Messages:");
    for (HWND control : {tokens, messages, Item(window, IDC_MESSAGE_LOG)}) {
      SetTextColor(dc, sentinel);
      EXPECT_EQ(dialogProc(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(control)),
                0);
      EXPECT_EQ(GetTextColor(dc), sentinel);
      const LRESULT answer = SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                          reinterpret_cast<LPARAM>(control));
      const LRESULT platform = DefWindowProcW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(reference),
                                              reinterpret_cast<LPARAM>(control));
      EXPECT_EQ(answer, platform);
      EXPECT_EQ(GetTextColor(dc), GetTextColor(reference));
      EXPECT_NE(GetTextColor(dc), RGB(255, 0, 0));
    }
    DeleteDC(dc);
    DeleteDC(reference);
    PostKey(window, VK_ESCAPE);
  });
}

// ---------------------------------------------------------------- commands

TEST_F(MainWindowTest, ResetDisablesItselfAndShowsThePromptWhileTheKeyIsAwaited) {
  library_.listDeviceStatuses = {CV_OK};
  library_.tokens = {MakeTokenRecord("ALPHA-1", HOTP, HASH_SHA1, 6, 30)};
  HWND mainWindow = nullptr;
  bool resetEnabledMeanwhile = true;
  std::wstring statusMeanwhile;
  std::wstring logMeanwhile;
  library_.duringReset = [&] {
    resetEnabledMeanwhile = IsWindowEnabled(Item(mainWindow, IDC_RESET)) != FALSE;
    statusMeanwhile = WindowText(Item(mainWindow, IDC_STATUS_LINE));
    logMeanwhile = LogText(mainWindow);
  };
  RunMainWindowWithScript(library_, [&](HWND window) {
    mainWindow = window;
    Click(window, IDC_RESET);
    EXPECT_FALSE(resetEnabledMeanwhile);
    EXPECT_EQ(statusMeanwhile, L"Please touch the key...");
    EXPECT_TRUE(EndsWith(logMeanwhile, L"Please touch the key!...\r\n"));
    EXPECT_TRUE(IsWindowEnabled(Item(window, IDC_RESET)));
    EXPECT_FALSE(IsWindowEnabled(Item(window, IDC_GET_OTP)));
    EXPECT_EQ(WindowText(Item(window, IDC_STATUS_LINE)), L"");
    EXPECT_EQ(SendMessageW(Item(window, IDC_TOKEN_LIST), LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_TRUE(EndsWith(LogText(window), L"Reset Succeeded!\r\n"));
    PostKey(window, VK_ESCAPE);
  });
}

TEST_F(MainWindowTest, AboutBoxIsModalAndClosesWithOkOrEscape) {
  RunMainWindowWithScript(library_, [](HWND window) {
    for (UINT closeKey : {static_cast<UINT>(VK_RETURN), static_cast<UINT>(VK_ESCAPE)}) {
      bool opened = false;
      WhenDialogOpens(L"About", [&, closeKey](HWND about) {
        opened = true;
        EXPECT_FALSE(IsWindowEnabled(window)) << "the owner is disabled while the box is open";
        EXPECT_EQ(GetWindow(about, GW_OWNER), window);
        HWND text = GetWindow(GetWindow(Item(about, IDOK), GW_HWNDNEXT), GW_HWNDNEXT);
        EXPECT_EQ(WindowText(text).rfind(L"Quendrix Personalization v2.0\n\n", 0), 0u);
        EXPECT_EQ(GetFocus(), Item(about, IDOK));
        // Centred on the main window.
        RECT owner{};
        RECT box{};
        GetWindowRect(window, &owner);
        GetWindowRect(about, &box);
        EXPECT_EQ(box.left, (owner.left + owner.right) / 2 - (box.right - box.left) / 2);
        EXPECT_EQ(box.top, (owner.top + owner.bottom) / 2 - (box.bottom - box.top) / 2);
        PostKey(closeKey == VK_RETURN ? Item(about, IDOK) : about, closeKey);
      });
      Click(window, ID_APP_ABOUT);  // returns when the box has closed
      EXPECT_TRUE(opened);
      EXPECT_EQ(FindThreadWindow(L"About"), nullptr);
      EXPECT_TRUE(IsWindowEnabled(window));
    }
    PostKey(window, VK_ESCAPE);
  });
}

TEST_F(MainWindowTest, SetEnterStartsCheckedAndSavesTheCheckBox) {
  library_.listDeviceStatuses = {CV_OK};
  RunMainWindowWithScript(library_, [this](HWND window) {
    // Unchecked, then Enter (the default button "Save").
    WhenDialogOpens(L"Set ENTER", [](HWND dialog) {
      HWND box = Item(dialog, IDC_APPEND_ENTER);
      EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
      EXPECT_EQ(GetFocus(), Item(dialog, IDOK));
      SendMessageW(box, BM_CLICK, 0, 0);
      EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
      PostKey(Item(dialog, IDOK), VK_RETURN);
    });
    Click(window, IDC_SET_ENTER);
    ASSERT_EQ(library_.setEnterValues, std::vector<std::uint32_t>{0});
    EXPECT_TRUE(EndsWith(LogText(window), L"Set C/R succeeded!\r\n"));

    // Checked again on the next opening, whatever was sent before.
    WhenDialogOpens(L"Set ENTER", [](HWND dialog) {
      EXPECT_EQ(SendMessageW(Item(dialog, IDC_APPEND_ENTER), BM_GETCHECK, 0, 0), BST_CHECKED);
      Click(dialog, IDOK);
    });
    Click(window, IDC_SET_ENTER);
    EXPECT_EQ(library_.setEnterValues, (std::vector<std::uint32_t>{0, 1}));

    // Esc and the close box send nothing and log nothing.
    const std::wstring logBefore = LogText(window);
    WhenDialogOpens(L"Set ENTER", [](HWND dialog) { PostKey(dialog, VK_ESCAPE); });
    Click(window, IDC_SET_ENTER);
    WhenDialogOpens(L"Set ENTER", [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); });
    Click(window, IDC_SET_ENTER);
    EXPECT_EQ(library_.setEnterValues.size(), 2u);
    EXPECT_EQ(LogText(window), logBefore);
    PostKey(window, VK_ESCAPE);
  });
}

TEST_F(MainWindowTest, NewTokenFormIsOwnedByTheMainWindowAndItsResultIsLogged) {
  library_.listDeviceStatuses = {CV_OK};
  HWND formOwner = nullptr;
  HWND mainWindow = nullptr;
  auto form = [&](HWND owner) {
    formOwner = owner;
    NewTokenResult result;
    result.resultStatus = kTokenSaved;
    result.resultMessage = u"Token saved.\r\n";
    result.appendEnter = false;
    return result;
  };
  RunMainWindowWithScript(
      library_,
      [&](HWND window) {
        mainWindow = window;
        library_.tokens = {MakeTokenRecord("NEW-1", TOTP, HASH_SHA1, 6, 30)};
        Click(window, IDC_NEW_TOKEN);
        EXPECT_TRUE(EndsWith(LogText(window), L"Token saved.\r\nSet C/R succeeded!\r\nList tokens succeeded!\r\n"));
        EXPECT_EQ(SendMessageW(Item(window, IDC_TOKEN_LIST), LVM_GETITEMCOUNT, 0, 0), 1);
        PostKey(window, VK_ESCAPE);
      },
      form);
  EXPECT_EQ(formOwner, mainWindow);
  EXPECT_EQ(library_.setEnterValues, std::vector<std::uint32_t>{0});
}

}  // namespace
