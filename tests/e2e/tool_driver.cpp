#include "tests/e2e/tool_driver.h"

#include <commctrl.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "resources/version.h"
#include "tests/support/win/win_test_support.h"

namespace {

const wchar_t kMainTitle[] = OTP_MAIN_WINDOW_TITLE_W;

}  // namespace

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::int64_t UnixTimeNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void SetWindowTextRemote(HWND window, const std::wstring& text) {
  SendWithTimeout(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsChecked(HWND dialog, int id) {
  return SendWithTimeout(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked) {
  SendWithTimeout(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

namespace {

// The programs under test: the build's own, or an unpacked release named by
// OTP_TOOL_FOLDER.
std::filesystem::path ProgramsFolder() {
  if (const wchar_t* folder = _wgetenv(L"OTP_TOOL_FOLDER"); folder && *folder) return folder;
  return BuildOutputFolder();
}

}  // namespace

ToolFolder::ToolFolder(bool withLibrary) : path_(folder_.Path().wstring()) {
  const std::filesystem::path bin = ProgramsFolder();
  std::vector<const char*> names = {"OtpTool.exe", "virtualkey.exe"};
  if (withLibrary) names.push_back("CV_Manager.dll");
  for (const char* name : names) std::filesystem::copy_file(bin / name, folder_ / name);
}

bool ToolFolder::Exists(const std::wstring& name) const { return std::filesystem::exists(File(name)); }

std::string ToolFolder::ReadBytes(const std::wstring& name) const { return ::ReadBytes(File(name)); }

int ToolFolder::VirtualKey(const std::wstring& arguments, std::string* output) const {
  // The key's state is the file beside the DLL in this folder.
  SetEnvironmentVariableW(L"CV_VIRTUAL_KEY", nullptr);
  std::vector<std::wstring> words;
  std::wstringstream split(arguments);
  for (std::wstring word; split >> word;) words.push_back(word);
  ProgramRun run = RunProgram(File(L"virtualkey.exe"), words, path_);
  if (output) *output = run.output + run.errors;
  return static_cast<int>(run.exitCode);
}

ToolUnderTest::ToolUnderTest(const ToolFolder& folder, const std::wstring& keyState) {
  SetEnvironmentVariableW(L"CV_VIRTUAL_KEY", keyState.empty() ? nullptr : keyState.c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring command = L"\"" + folder.File(L"OtpTool.exe") + L"\"";
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.Path().c_str(), &startup,
                      &started)) {
    return;
  }
  process_ = StartedProcess(started);
  folderName_ = std::filesystem::path(folder.Path()).filename().wstring();
  for (int i = 0; i < 400 && !window_; ++i) {
    window_ = FindTopLevelWindow(process_.Id(), kMainTitle, true);
    if (!window_) Sleep(50);
  }
  // Start-up is over once the device search has logged its outcome.
  WaitForQuiet(700, 15000);
}

ToolUnderTest::~ToolUnderTest() {
  if (process_.Started() && WaitForSingleObject(process_.Handle(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.Handle(), 99);
    WaitForSingleObject(process_.Handle(), 5000);
  }
}

std::wstring ToolUnderTest::LogText() const { return WindowText(GetDlgItem(window_, 1003)); }

std::wstring ToolUnderTest::StatusText() const { return WindowText(GetDlgItem(window_, 1034)); }

bool ToolUnderTest::WaitForLog(const std::wstring& text, size_t from, DWORD timeoutMs) const {
  DWORD start = GetTickCount();
  do {
    std::wstring log = LogText();
    if (log.size() >= from && log.find(text, from) != std::wstring::npos) return true;
    Sleep(50);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

void ToolUnderTest::WaitForQuiet(DWORD quietMs, DWORD timeoutMs) const {
  if (!window_) return;
  DWORD start = GetTickCount();
  size_t lastLength = LogText().size();
  DWORD lastChange = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    Sleep(50);
    size_t length = LogText().size();
    if (length != lastLength) {
      lastLength = length;
      lastChange = GetTickCount();
    } else if (GetTickCount() - lastChange >= quietMs) {
      return;
    }
  }
}

int ToolUnderTest::RowCount() const {
  return static_cast<int>(SendWithTimeout(GetDlgItem(window_, 1007), LVM_GETITEMCOUNT, 0, 0));
}

std::wstring ToolUnderTest::Cell(int row, int column) const {
  // The list view's text lives in the tool's process: read it through a
  // buffer allocated there.
  constexpr size_t kChars = 256;
  HANDLE process = process_.Handle();
  auto* remote = static_cast<BYTE*>(
      VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kChars * 2, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!remote) return L"<no remote memory>";
  LVITEMW item{};
  item.iSubItem = column;
  item.cchTextMax = kChars;
  item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
  WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
  LRESULT length = SendWithTimeout(GetDlgItem(window_, 1007), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
  std::wstring text(kChars, L'\0');
  ReadProcessMemory(process, remote + sizeof(LVITEMW), text.data(), kChars * 2, nullptr);
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  text.resize(static_cast<size_t>(length) < kChars ? static_cast<size_t>(length) : 0);
  return text;
}

bool ToolUnderTest::IsButtonEnabled(int id) const { return IsWindowEnabled(GetDlgItem(window_, id)) != FALSE; }

void ToolUnderTest::Click(int id) const { PostCommand(window_, id); }

HWND ToolUnderTest::WaitForDialog(const std::wstring& title, DWORD timeoutMs) const {
  DWORD start = GetTickCount();
  do {
    if (HWND dialog = FindTopLevelWindow(process_.Id(), title, true)) return dialog;
    Sleep(50);
  } while (GetTickCount() - start < timeoutMs);
  return nullptr;
}

bool ToolUnderTest::WaitForDialogGone(HWND dialog, DWORD timeoutMs) const {
  DWORD start = GetTickCount();
  do {
    if (!IsWindow(dialog)) return true;
    Sleep(50);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

int ToolUnderTest::CloseWithEscape() {
  PostKey(GetDlgItem(window_, 57664), VK_ESCAPE);
  return WaitForExit();
}

int ToolUnderTest::CloseWithCloseBox() {
  PostMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
  return WaitForExit();
}

int ToolUnderTest::WaitForExit(DWORD timeoutMs) {
  if (WaitForSingleObject(process_.Handle(), timeoutMs) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_.Handle(), &code);
  return static_cast<int>(code);
}

bool ToolUnderTest::KillFromOutside() {
  if (!process_.Started() || folderName_.empty()) return false;
  // Wine starts a Unix program given by its path; the tool's Unix process
  // shows the Windows command line, which names its unique folder.
  std::wstring command = L"pkill -KILL -f " + folderName_ + L".OtpTool\\.exe";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(L"Z:\\usr\\bin\\pkill", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started)) {
    return false;
  }
  const StartedProcess pkill(started);
  WaitForSingleObject(pkill.Handle(), 10000);
  return WaitForSingleObject(process_.Handle(), 10000) == WAIT_OBJECT_0;
}

bool ToolUnderTest::Kill() {
  if (!process_.Started()) return false;
  TerminateProcess(process_.Handle(), 99);
  return WaitForSingleObject(process_.Handle(), 10000) == WAIT_OBJECT_0;
}
