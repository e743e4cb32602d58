// The real OtpTool.exe with the real virtual key, driven from outside.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <filesystem>
#include <fstream>

#include "resources/resource.h"
#include "tests/e2e/e2e_test_support.h"

namespace {

const std::wstring kFound = L"Found a Corvane/Meridia device.\r\n";
const std::wstring kListed = L"List tokens succeeded!\r\n";

void AddToken(const ToolFolder& folder, const std::wstring& serial, const std::wstring& type) {
  ASSERT_EQ(0, folder.VirtualKey(L"add-token --type " + type + L" --hash sha1 --digits 6 --step 30 --serial " + serial +
                                 L" --seed 3132333435363738393031323334353637383930"));
}

TEST(ToolStartUp, KeyWithTokensIsListedAndEscapeEndsWithTwo) {
  ToolFolder folder;
  AddToken(folder, L"0000111111111", L"hotp");
  AddToken(folder, L"0000222222222", L"totp");
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());

  EXPECT_EQ(kFound + kListed, tool.LogText());
  ASSERT_EQ(2, tool.RowCount());
  // The token stored last is the active one, listed first.
  EXPECT_EQ(L"0000222222222", tool.Cell(0, 0));
  EXPECT_EQ(L"X", tool.Cell(0, 1));
  EXPECT_EQ(L"TOTP", tool.Cell(0, 2));
  EXPECT_EQ(L"SHA-1", tool.Cell(0, 3));
  EXPECT_EQ(L"6", tool.Cell(0, 4));
  EXPECT_EQ(L"30", tool.Cell(0, 5));
  EXPECT_EQ(L"", tool.Cell(1, 1));
  EXPECT_EQ(L"HOTP", tool.Cell(1, 2));
  for (int id : {IDC_NEW_TOKEN, IDC_SET_ENTER, IDC_REFRESH, IDC_GET_OTP, IDC_RESET, IDC_CLEAR, ID_APP_ABOUT}) {
    EXPECT_TRUE(tool.IsButtonEnabled(id)) << id;
  }
  EXPECT_EQ(L"", tool.StatusText());
  EXPECT_EQ(2, tool.CloseWithEscape());
}

TEST(ToolStartUp, NoKeyReportsNotFoundAndKeepsButtonsDisabled) {
  ToolFolder folder;
  ASSERT_EQ(0, folder.VirtualKey(L"unplug"));
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());

  const std::wstring log = tool.LogText();
  const std::wstring notFound =
      L"Corvane/Meridia device not found.\r\nYou may need to run this tool as administrator "
      L"(error= 0x80435602)\r\n";
  EXPECT_EQ(0u, log.find(notFound)) << ToUtf8(log);
  // The listing is still tried, and its failure follows.
  EXPECT_NE(std::wstring::npos, log.find(L"Failed to list tokens (error = 0x", notFound.size()));
  EXPECT_NE(std::wstring::npos, log.find(L"You must run this tool as administrator!\r\n"));
  EXPECT_EQ(0, tool.RowCount());
  for (int id : {IDC_NEW_TOKEN, IDC_SET_ENTER, IDC_REFRESH, IDC_GET_OTP, IDC_RESET}) {
    EXPECT_FALSE(tool.IsButtonEnabled(id)) << id;
  }
  EXPECT_TRUE(tool.IsButtonEnabled(IDC_CLEAR));
  EXPECT_TRUE(tool.IsButtonEnabled(ID_APP_ABOUT));
  // Initialisation clears the warning that the failed listing put there.
  EXPECT_EQ(L"", tool.StatusText());
  EXPECT_EQ(2, tool.CloseWithCloseBox());
}

TEST(ToolStartUp, TwoKeysAreReported) {
  ToolFolder folder;
  ASSERT_EQ(0, folder.VirtualKey(L"devices 2"));
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  EXPECT_EQ(0u, tool.LogText().find(L"Multiple Corvane/Meridia devices found (Error= 0x80435603)\r\n"))
      << ToUtf8(tool.LogText());
  EXPECT_FALSE(tool.IsButtonEnabled(IDC_NEW_TOKEN));
}

TEST(ToolStartUp, MissingLibraryIsNamedAndTheToolStillCloses) {
  ToolFolder folder(/*withLibrary=*/false);
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  const std::wstring log = tool.LogText();
  EXPECT_NE(std::wstring::npos, log.find(L"CV_Manager.dll")) << ToUtf8(log);
  EXPECT_FALSE(tool.IsButtonEnabled(IDC_NEW_TOKEN));
  EXPECT_EQ(2, tool.CloseWithEscape());
}

// The DPI Wine gives the processes it starts from now on, for one test.
class ScreenDpi {
 public:
  explicit ScreenDpi(DWORD dpi) {
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE,
                    nullptr, &key_, nullptr);
    DWORD size = sizeof old_;
    hadOld_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) == 0;
    RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
  }
  ~ScreenDpi() {
    if (hadOld_) {
      RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
    } else {
      RegDeleteValueW(key_, L"LogPixels");
    }
    RegCloseKey(key_);
  }

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool hadOld_ = false;
};

// At 150 % the list's columns, laid out in pixels, are half as wide again as
// at 100 %, where they stay as they were; the window grows with its font.
TEST(TokenList, ColumnsScaleWithTheScreensDpi) {
  const int atNinetySix[] = {180, 60, 60, 60, 60, 60};
  RECT sizes[2]{};
  for (const DWORD dpi : {DWORD{96}, DWORD{144}}) {
    SCOPED_TRACE(dpi);
    ScreenDpi screen(dpi);
    ToolFolder folder;
    ToolUnderTest tool(folder);
    ASSERT_TRUE(tool.Started());
    const HWND list = GetDlgItem(tool.Window(), IDC_TOKEN_LIST);
    for (int column = 0; column < 6; ++column) {
      EXPECT_EQ(MulDiv(atNinetySix[column], static_cast<int>(dpi), 96),
                static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0)))
          << column;
    }
    GetWindowRect(tool.Window(), &sizes[dpi == 144]);
    EXPECT_EQ(2, tool.CloseWithEscape());
  }
  EXPECT_GT(sizes[1].right - sizes[1].left, (sizes[0].right - sizes[0].left) * 13 / 10);
}

TEST(TokenList, RefreshListsAgainWithoutSearching) {
  ToolFolder folder;
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  EXPECT_EQ(0, tool.RowCount());
  EXPECT_NE(std::wstring::npos, tool.LogText().find(L"But there is no OTP token in the device!\r\n"));

  AddToken(folder, L"0000333333333", L"hotp");
  const size_t before = tool.LogText().size();
  tool.Click(IDC_REFRESH);
  ASSERT_TRUE(tool.WaitForLog(kListed, before));
  EXPECT_EQ(kListed, tool.LogText().substr(before));
  ASSERT_EQ(1, tool.RowCount());
  EXPECT_EQ(L"0000333333333", tool.Cell(0, 0));
}

TEST(TokenList, UnplugEmptiesTheListAndPlugSearchesAgain) {
  ToolFolder folder;
  AddToken(folder, L"0000444444444", L"totp");
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  ASSERT_EQ(1, tool.RowCount());
  const std::wstring logBefore = tool.LogText();

  ASSERT_EQ(0, folder.VirtualKey(L"unplug"));
  for (int i = 0; i < 100 && tool.RowCount() != 0; ++i) Sleep(50);
  EXPECT_EQ(0, tool.RowCount());
  EXPECT_EQ(logBefore, tool.LogText());
  EXPECT_TRUE(tool.IsButtonEnabled(IDC_GET_OTP));
  EXPECT_TRUE(tool.IsButtonEnabled(IDC_RESET));

  ASSERT_EQ(0, folder.VirtualKey(L"plug"));
  ASSERT_TRUE(tool.WaitForLog(kFound + kListed, logBefore.size(), 20000)) << ToUtf8(tool.LogText());
  EXPECT_EQ(1, tool.RowCount());
}

TEST(SetEnter, SaveSendsTheCheckBoxAndCancelSendsNothing) {
  ToolFolder folder;
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());

  for (bool append : {false, true}) {
    const size_t before = tool.LogText().size();
    tool.Click(IDC_SET_ENTER);
    HWND dialog = tool.WaitForDialog(L"Set ENTER");
    ASSERT_NE(nullptr, dialog);
    // The box always opens checked, whatever was sent last.
    EXPECT_TRUE(IsChecked(dialog, IDC_APPEND_ENTER));
    SetChecked(dialog, IDC_APPEND_ENTER, append);
    PostCommand(dialog, IDOK);
    ASSERT_TRUE(tool.WaitForDialogGone(dialog));
    ASSERT_TRUE(tool.WaitForLog(L"Set C/R succeeded!\r\n", before));
    std::string shown;
    ASSERT_EQ(0, folder.VirtualKey(L"show", &shown));
    EXPECT_NE(std::string::npos, shown.find(append ? "Append ENTER: yes" : "Append ENTER: no")) << shown;
  }

  const std::wstring logBefore = tool.LogText();
  tool.Click(IDC_SET_ENTER);
  HWND dialog = tool.WaitForDialog(L"Set ENTER");
  ASSERT_NE(nullptr, dialog);
  SetChecked(dialog, IDC_APPEND_ENTER, false);
  PostCommand(dialog, IDCANCEL);
  ASSERT_TRUE(tool.WaitForDialogGone(dialog));
  tool.WaitForQuiet();
  EXPECT_EQ(logBefore, tool.LogText());
  std::string shown;
  ASSERT_EQ(0, folder.VirtualKey(L"show", &shown));
  EXPECT_NE(std::string::npos, shown.find("Append ENTER: yes")) << shown;
}

TEST(TokenOperations, ResetEmptiesTheKeyAndTheList) {
  ToolFolder folder;
  AddToken(folder, L"0000555555555", L"hotp");
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  ASSERT_EQ(1, tool.RowCount());

  const size_t before = tool.LogText().size();
  tool.Click(IDC_RESET);
  ASSERT_TRUE(tool.WaitForLog(L"Reset Succeeded!\r\n", before));
  EXPECT_EQ(L"Please touch the key!...\r\nReset Succeeded!\r\n", tool.LogText().substr(before));
  EXPECT_EQ(0, tool.RowCount());
  EXPECT_FALSE(tool.IsButtonEnabled(IDC_GET_OTP));
  EXPECT_TRUE(tool.IsButtonEnabled(IDC_RESET));
  EXPECT_TRUE(tool.IsButtonEnabled(IDC_NEW_TOKEN));
  EXPECT_EQ(L"", tool.StatusText());

  std::string shown;
  ASSERT_EQ(0, folder.VirtualKey(L"show", &shown));
  EXPECT_EQ(std::string::npos, shown.find("0000555555555")) << shown;
}

// A key that stores the token and loses its answer: the failure is shown as
// the key gave it, and the seed still reaches both files; no record is left.
TEST(TokenOperations, TokenStoredDespiteAFailedAnswerReachesTheSeedFiles) {
  ToolFolder folder;
  ASSERT_EQ(0, folder.VirtualKey(L"fail-after-write CV_OTP_Personalize 0x80435699"));
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  const size_t before = tool.LogText().size();
  CreatedToken token = CreateToken(tool, NewTokenChoices{});
  ASSERT_TRUE(token.formClosed);
  const std::wstring log = tool.LogText().substr(before);
  EXPECT_EQ(0u, log.find(L"Failed to save the new token (error = 0x80435699)\r\n")) << ToUtf8(log);
  std::string shown;
  ASSERT_EQ(0, folder.VirtualKey(L"show", &shown));
  EXPECT_NE(std::string::npos, shown.find(ToUtf8(token.serial))) << shown;
  EXPECT_NE(std::string::npos, folder.ReadBytes(L"hseeds.xml").find(ToUtf8(token.seed)));
  EXPECT_TRUE(folder.Exists(L"hseeds.csv"));
  WIN32_FIND_DATAW found;
  HANDLE records = FindFirstFileW(folder.File(L"*.pending-*").c_str(), &found);
  EXPECT_EQ(INVALID_HANDLE_VALUE, records) << "a record was left";
  if (records != INVALID_HANDLE_VALUE) FindClose(records);
}

TEST(TokenOperations, FailedPersonalisationTouchesNoFile) {
  ToolFolder folder;
  ASSERT_EQ(0, folder.VirtualKey(L"fail CV_OTP_Personalize 0x80435699"));
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());

  const size_t before = tool.LogText().size();
  CreatedToken token = CreateToken(tool, NewTokenChoices{});
  ASSERT_TRUE(token.formClosed);
  EXPECT_EQ(L"Failed to save the new token (error = 0x80435699)\r\n", tool.LogText().substr(before));
  for (const wchar_t* name : {L"hseeds.xml", L"hseeds.csv", L"tseeds.xml", L"tseeds.csv"}) {
    EXPECT_FALSE(folder.Exists(name)) << ToUtf8(name);
  }
  EXPECT_EQ(0, tool.RowCount());
}

TEST(TokenOperations, SavedTokenIsListedAndItsSeedExported) {
  ToolFolder folder;
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());

  const size_t before = tool.LogText().size();
  NewTokenChoices choices;
  choices.appendEnter = false;
  CreatedToken token = CreateToken(tool, choices);
  ASSERT_TRUE(token.formClosed);
  ASSERT_EQ(13u, token.serial.size());
  ASSERT_EQ(40u, token.seed.size());
  EXPECT_EQ(L"Save new token succeeded!\r\nSN=" + token.serial + L", SEED=" + token.seed +
                L"\r\nSet C/R succeeded!\r\n" + kListed,
            tool.LogText().substr(before));
  ASSERT_EQ(1, tool.RowCount());
  EXPECT_EQ(token.serial, tool.Cell(0, 0));
  EXPECT_EQ(L"HOTP", tool.Cell(0, 2));
  EXPECT_TRUE(tool.IsButtonEnabled(IDC_GET_OTP));
  EXPECT_TRUE(folder.Exists(L"hseeds.xml"));
  EXPECT_TRUE(folder.Exists(L"hseeds.csv"));
  EXPECT_FALSE(folder.Exists(L"tseeds.xml"));
  EXPECT_NE(std::string::npos, folder.ReadBytes(L"hseeds.xml").find(ToUtf8(token.seed)));

  std::string shown;
  ASSERT_EQ(0, folder.VirtualKey(L"show", &shown));
  EXPECT_NE(std::string::npos, shown.find("Append ENTER: no")) << shown;
}

// A seed file that did not take the token shows on the red status line too,
// and its line gives the system's words for the error. (A file that cannot
// be read when "Save" checks the serial refuses the save; this one goes bad
// while the key waits for its touch, after the check.)
TEST(TokenOperations, SeedFileNotWrittenIsOnTheStatusLineWithTheSystemsWords) {
  ToolFolder folder;
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  ASSERT_EQ(0, folder.VirtualKey(L"touch delay 3000"));
  const size_t before = tool.LogText().size();
  CreatedToken token;
  HWND form = FillNewTokenForm(tool, NewTokenChoices{}, token);
  ASSERT_NE(nullptr, form);
  PostCommand(form, IDC_SAVE);
  // The record is written once the serial is reserved, before the key is.
  const auto recorded = [&] {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(folder.File(L"hseeds.pending-*.record").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
  };
  ASSERT_TRUE(WaitUntil(recorded)) << "the save never reserved its serial";
  ASSERT_TRUE(CreateDirectoryW(folder.File(L"hseeds.xml").c_str(), nullptr));
  token.formClosed = tool.WaitForDialogGone(form);
  tool.WaitForQuiet();
  ASSERT_EQ(0, folder.VirtualKey(L"touch ok"));
  ASSERT_TRUE(token.formClosed);
  const std::wstring log = Unbroken(tool.LogText().substr(before));
  const std::wstring line = L"Could not add the token to hseeds.xml: the file could not be read (error 5: ";
  EXPECT_NE(std::wstring::npos, log.find(line)) << ToUtf8(log);
  EXPECT_EQ(std::wstring::npos, log.find(L"(error 5)")) << ToUtf8(log);
  EXPECT_EQ(L"The token is not in hseeds.xml: see the messages.", tool.StatusText());
  EXPECT_TRUE(folder.Exists(L"hseeds.csv"));

  // The warning lasts while the record is kept, a key's arrival included...
  const size_t beforeArrival = tool.LogText().size();
  ASSERT_EQ(0, folder.VirtualKey(L"unplug"));
  ASSERT_EQ(0, folder.VirtualKey(L"plug"));
  ASSERT_TRUE(tool.WaitForLog(L"List tokens succeeded!", beforeArrival));
  tool.WaitForQuiet();
  EXPECT_EQ(L"The token is not in hseeds.xml: see the messages.", tool.StatusText());

  // ...and goes once New Token completes it, which is logged before the form opens.
  ASSERT_TRUE(RemoveDirectoryW(folder.File(L"hseeds.xml").c_str()));
  const size_t beforeForm = tool.LogText().size();
  tool.Click(IDC_NEW_TOKEN);
  form = tool.WaitForDialog(L"New Token");
  ASSERT_NE(nullptr, form);
  const std::wstring settled = Unbroken(tool.LogText().substr(beforeForm));
  EXPECT_NE(std::wstring::npos, settled.find(L"was completed: the token was added to hseeds.xml")) << ToUtf8(settled);
  EXPECT_EQ(L"", tool.StatusText());
  PostCommand(form, IDCANCEL);
  ASSERT_TRUE(tool.WaitForDialogGone(form));
  EXPECT_NE(std::string::npos, folder.ReadBytes(L"hseeds.xml").find(ToUtf8(token.seed)));
}

// A serial the key lists is refused before the key is written: the form
// stays open with its values and the key keeps its token. A 60-second TOTP
// token is saved with the line that says where its interval is.
TEST(TokenOperations, SerialTheKeyListsIsRefusedAndSixtySecondTotpIsSavedWithItsLine) {
  ToolFolder folder;
  AddToken(folder, L"0000333333333", L"totp");
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  std::string keyBefore;
  ASSERT_EQ(0, folder.VirtualKey(L"show", &keyBefore));

  NewTokenChoices choices;
  choices.totp = true;
  choices.sixtySeconds = true;
  CreatedToken created;
  HWND form = FillNewTokenForm(tool, choices, created);
  ASSERT_NE(nullptr, form);
  SetWindowTextRemote(GetDlgItem(form, IDC_SERIAL_NUMBER), L"0000333333333");
  const size_t before = tool.LogText().size();
  PostCommand(form, IDC_SAVE);
  EXPECT_FALSE(tool.WaitForDialogGone(form, 1500)) << "the form closed";
  std::string keyAfter;
  ASSERT_EQ(0, folder.VirtualKey(L"show", &keyAfter));
  EXPECT_EQ(keyBefore, keyAfter);
  EXPECT_FALSE(folder.Exists(L"tseeds.xml"));
  EXPECT_EQ(L"0000333333333", WindowText(GetDlgItem(form, IDC_SERIAL_NUMBER)));

  // A fresh serial goes through.
  SetWindowTextRemote(GetDlgItem(form, IDC_SERIAL_NUMBER), created.serial);
  PostCommand(form, IDC_SAVE);
  ASSERT_TRUE(tool.WaitForDialogGone(form));
  tool.WaitForQuiet();
  const std::wstring log = tool.LogText().substr(before);
  EXPECT_NE(std::wstring::npos, log.find(L"Save new token succeeded!\r\nSN=" + created.serial)) << ToUtf8(log);
  EXPECT_NE(std::wstring::npos,
            Unbroken(log).find(L"tseeds.xml declares 30-second tokens: this token's 60-second interval is "
                               L"only in tseeds.csv, so import tseeds.csv for it. "))
      << ToUtf8(log);
  EXPECT_EQ(2, tool.RowCount());
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

// What a server imports stays one seed per serial and one encoding per file:
// a serial the key holds, with a trailing space, and one that only the other
// kind's CSV file holds are refused with the form kept open and no file
// touched; a name with an e-acute goes into a seed file of an older tool in that
// file's ANSI code page.
TEST(TokenOperations, ServerGetsOneSeedPerSerialAndOneEncodingPerFile) {
  ASSERT_NE(65001u, GetACP()) << "needs an 8-bit ANSI code page";
  ToolFolder folder;
  AddToken(folder, L"0000426125681", L"totp");
  const std::string ansiXml =
      "<?xml version=\"1.0\"?>\n<data>\n\t<header>\n\t\t<manufacturerCode>VT</manufacturerCode>\n"
      "\t\t<productCode>CT</productCode>\n\t\t<encode>HEX</encode>\n\t\t<timeWindow>30</timeWindow>\n"
      "\t\t<encrypt>NONE</encrypt>\n\t</header>\n\t<tokens>\n\t\t<token>\n\t\t\t<crypto>HmacSHA1</crypto>\n"
      "\t\t\t<name>Zo\xEB</name>\n\t\t\t<digits>6</digits>\n\t\t\t<serial>0000111111111</serial>\n"
      "\t\t\t<seed>3132333435363738393031323334353637383930</seed>\n\t\t</token>\n\t</tokens>\n</data>\n";
  WriteFileBytes(folder.File(L"tseeds.xml"), ansiXml);
  const std::wstring hotpCsv =
      L"Serial Number, Secret Key\r\n0000777777777,3132333435363738393031323334353637383930\r\n";
  WriteFileBytes(folder.File(L"hseeds.csv"),
                 std::string(reinterpret_cast<const char*>(hotpCsv.data()), hotpCsv.size() * sizeof(wchar_t)));
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());

  NewTokenChoices choices;
  choices.totp = true;
  choices.userName = L"Ren\u00E9";
  CreatedToken created;
  HWND form = FillNewTokenForm(tool, choices, created);
  ASSERT_NE(nullptr, form);
  for (const wchar_t* taken : {L"0000426125681 ", L"0000777777777"}) {
    SetWindowTextRemote(GetDlgItem(form, IDC_SERIAL_NUMBER), taken);
    PostCommand(form, IDC_SAVE);
    EXPECT_FALSE(tool.WaitForDialogGone(form, 1500)) << ToUtf8(taken) << " was saved";
    EXPECT_EQ(taken, WindowText(GetDlgItem(form, IDC_SERIAL_NUMBER)));
  }
  EXPECT_EQ(ansiXml, folder.ReadBytes(L"tseeds.xml"));
  EXPECT_FALSE(folder.Exists(L"tseeds.csv"));
  EXPECT_EQ(1, tool.RowCount());

  SetWindowTextRemote(GetDlgItem(form, IDC_SERIAL_NUMBER), created.serial);
  PostCommand(form, IDC_SAVE);
  ASSERT_TRUE(tool.WaitForDialogGone(form));
  tool.WaitForQuiet();
  char ansiName[16] = {};
  ASSERT_LT(0, WideCharToMultiByte(CP_ACP, 0, L"Ren\u00E9", -1, ansiName, sizeof ansiName, nullptr, nullptr));
  const std::string xml = folder.ReadBytes(L"tseeds.xml");
  EXPECT_NE(std::string::npos, xml.find(std::string("<name>") + ansiName + "</name>")) << xml;
  EXPECT_EQ(std::string::npos, xml.find("Ren\xC3\xA9")) << "UTF-8 in an ANSI file";
  EXPECT_NE(std::string::npos, xml.find("<serial>" + ToUtf8(created.serial) + "</serial>"));
  EXPECT_EQ(2, tool.RowCount());
}

}  // namespace
