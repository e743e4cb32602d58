#include "mainwindow/win/main_dlg.h"

#include <dbt.h>

#include <cstring>
#include <utility>

#include "framework/app_module.h"
#include "framework/busy_scope.h"
#include "framework/centre_window.h"
#include "framework/dialog_focus.h"
#include "mainwindow/device_broadcast.h"
#include "mainwindow/win/about_dlg.h"
#include "mainwindow/win/set_enter_dlg.h"
#include "provisioning/seed_files/save_settling.h"
#include "text/code_page.h"

namespace {

struct ButtonControl {
  MainButton button;
  int id;
};

constexpr ButtonControl kButtons[] = {
    {MainButton::NewToken, IDC_NEW_TOKEN}, {MainButton::SetEnter, IDC_SET_ENTER}, {MainButton::Refresh, IDC_REFRESH},
    {MainButton::GetOtp, IDC_GET_OTP},     {MainButton::Reset, IDC_RESET},        {MainButton::Clear, IDC_CLEAR},
    {MainButton::About, ID_APP_ABOUT},
};

const wchar_t* Wide(const MessageText& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

}  // namespace

CMainDlg::CMainDlg(ITokenLibrary& library, MessageText loadProblem, SeedFolder& seeds,
                   NewTokenFormRunner runNewTokenForm)
    : library_(library),
      logic_(model_, library, *this),
      loadProblem_(std::move(loadProblem)),
      seeds_(seeds),
      runNewTokenForm_(std::move(runNewTokenForm)) {}

CMainDlg::~CMainDlg() {
  // The window's handlers use this object: it must not outlive it.
  if (Window() != nullptr) {
    DestroyWindow(Window());
  }
}

LRESULT CMainDlg::OnInitDialog(WPARAM, LPARAM) {
  RegisterForDeviceNotifications();
  CentreWindow(Window());
  icons_.Apply(Window(), IDR_MAINFRAME);

  if (CMessageLoop* loop = AppModule().FindLoop()) {
    loop->AddFilter(this);
    loop->AddIdle(this);
  }

  tokenList_.Attach(GetDlgItem(IDC_TOKEN_LIST));
  messageLog_.Attach(GetDlgItem(IDC_MESSAGE_LOG));
  statusLine_ = GetDlgItem(IDC_STATUS_LINE);

  // The serials read ahead for the first form; the start-up's settling leaves
  // the leftovers to it, so that the window shows at once.
  const HWND window = Window();
  seeds_.ReadAhead(FixedCodePage(kThreadAnsiCodePage), [window] { PostMessageW(window, kLeftoversToldMessage, 0, 0); });
  logic_.Initialise(loadProblem_);
  TransferModelToControls();
  return TRUE;  // focus on the first tab stop, "&About"
}

void CMainDlg::RegisterForDeviceNotifications() {
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof(filter);
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  static_assert(sizeof filter.dbcc_classguid == sizeof kUsbDeviceInterfaceGuid);
  std::memcpy(&filter.dbcc_classguid, kUsbDeviceInterfaceGuid, sizeof kUsbDeviceInterfaceGuid);
  // A failure is silent: the window then never hears of arrivals and removals.
  deviceNotification_ = RegisterDeviceNotificationW(Window(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

LRESULT CMainDlg::OnDestroy(WPARAM, LPARAM) {
  if (deviceNotification_ != nullptr) {
    UnregisterDeviceNotification(deviceNotification_);
    deviceNotification_ = nullptr;
  }
  if (CMessageLoop* loop = AppModule().FindLoop()) {
    loop->RemoveFilter(this);
    loop->RemoveIdle(this);
  }
  return 0;
}

LRESULT CMainDlg::OnDeviceChange(WPARAM eventKind, LPARAM header) {
  // Some events carry no header; a header is read only within its own size.
  const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_HDR*>(header);
  const std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
  if (broadcast != nullptr && broadcast->dbch_size >= sizeof(DEV_BROADCAST_HDR)) {
    bytes = reinterpret_cast<const std::uint8_t*>(broadcast);
    size = broadcast->dbch_size;
  }
  logic_.OnDeviceChange(static_cast<std::uint32_t>(eventKind), bytes, size);
  TransferModelToControls();
  return 0;
}

LRESULT CMainDlg::OnCtlColorStatic(WPARAM dc, LPARAM control) {
  if (statusLine_ == nullptr || reinterpret_cast<HWND>(control) != statusLine_) {
    return 0;  // the platform's colours
  }
  return reinterpret_cast<LRESULT>(statusColours_.Apply(reinterpret_cast<HDC>(dc)));
}

void CMainDlg::OnAbout(int /*id*/) {
  CAboutDlg about;
  about.DoModal(GetActiveWindow());
}

void CMainDlg::OnNewToken(int) { RunButtonCommand(MainButton::NewToken, &MainWindowLogic::NewToken); }
void CMainDlg::OnSetEnter(int) { RunButtonCommand(MainButton::SetEnter, &MainWindowLogic::SetEnter); }
void CMainDlg::OnRefresh(int) { RunButtonCommand(MainButton::Refresh, &MainWindowLogic::ListTokens); }
void CMainDlg::OnClear(int) { RunButtonCommand(MainButton::Clear, &MainWindowLogic::ClearLog); }
void CMainDlg::OnReset(int) { RunButtonCommand(MainButton::Reset, &MainWindowLogic::ResetDevice); }
void CMainDlg::OnGetOtp(int) { RunButtonCommand(MainButton::GetOtp, &MainWindowLogic::GetOtp); }

void CMainDlg::RunButtonCommand(MainButton button, void (MainWindowLogic::*command)()) {
  // A command posted for a disabled button (not a click) is ignored.
  if (!IsButtonEnabled(model_, button)) {
    return;
  }
  (logic_.*command)();
  TransferModelToControls();
}

void CMainDlg::OnCloseCmd(int id) {
  DestroyWindow(Window());
  PostQuitMessage(id);
}

bool CMainDlg::FilterMessage(MSG* message) {
  if (Window() == nullptr) {
    return false;
  }
  if (message->message == WM_KEYDOWN && message->wParam == VK_RETURN && message->hwnd == messageLog_.Control()) {
    // A multi-line edit without ES_WANTRETURN leaves Enter to the dialog on
    // Windows, which makes it command 1 (there is no default button); Wine's
    // edit keeps the key to itself. Do what Windows does on both.
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return true;
  }
  return IsDialogMessageW(Window(), message);
}

LRESULT CMainDlg::OnLeftoversTold(WPARAM, LPARAM) {
  leftoversToSettle_ = true;
  return 0;
}

bool CMainDlg::DoIdleWork() {
  if (leftoversToSettle_) {
    leftoversToSettle_ = false;
    logic_.SettleInterruptedSaves();
    TransferModelToControls();
  }
  return false;
}

void CMainDlg::ShowModelNow() {
  TransferModelToControls();
  UpdateWindow(Window());
}

void CMainDlg::Pause(std::uint32_t milliseconds) {
  BusyScope busy;
  Sleep(milliseconds);
}

SettleReport CMainDlg::SettleInterruptedSaves() {
  if (seeds_.Path().empty()) return SettleReport{{}, {}, false};
  BusyScope busy;  // it reads the seed files and asks the key
  return seeds_.Settle(library_);
}

NewTokenResult CMainDlg::RunNewTokenForm() {
  if (!runNewTokenForm_) {
    return NewTokenResult{};
  }
  return runNewTokenForm_(GetActiveWindow(), seeds_);
}

int CMainDlg::RunSetEnterDialog(bool& appendEnter) {
  CSetEnterDlg dialog;
  const int result = static_cast<int>(dialog.DoModal(GetActiveWindow()));
  if (result == IDOK) {
    appendEnter = dialog.AppendEnter() != 0;
  }
  return result;
}

std::int64_t CMainDlg::CurrentUnixTime() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  constexpr std::uint64_t kTicksPerSecond = 10000000;            // 100 ns ticks
  constexpr std::uint64_t kUnixEpochTicks = 116444736000000000;  // 1601 to 1970
  return static_cast<std::int64_t>((ticks - kUnixEpochTicks) / kTicksPerSecond);
}

void CMainDlg::TransferModelToControls() {
  tokenList_.Show(model_.rows);
  messageLog_.Show(model_.logText, model_.logClears);
  ShowStatus();
  ShowButtonStates();
}

void CMainDlg::ShowStatus() {
  if (statusLine_ == nullptr || model_.statusText == shownStatus_) {
    return;
  }
  SetWindowTextW(statusLine_, Wide(model_.statusText));
  shownStatus_ = model_.statusText;
}

void CMainDlg::ShowButtonStates() {
  // Enabling comes first, so that the focus leaving a button that is being
  // disabled may land on a button that has just become enabled.
  for (const bool enable : {true, false}) {
    for (const ButtonControl& control : kButtons) {
      if (IsButtonEnabled(model_, control.button) != enable) continue;
      if (HWND button = GetDlgItem(control.id)) EnableDialogControl(button, enable);
    }
  }
}
