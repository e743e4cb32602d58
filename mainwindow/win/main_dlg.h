// The main window (dialog 129): binds the window model to its controls and
// hands commands and device notifications to MainWindowLogic. It is the
// loop's message filter (dialog keyboard handling) and an idle handler.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "framework/ctl_colored.h"
#include "framework/dialog_impl.h"
#include "framework/message_loop.h"
#include "framework/message_map.h"
#include "framework/window_icons.h"
#include "mainwindow/main_window_host.h"
#include "mainwindow/main_window_logic.h"
#include "mainwindow/main_window_model.h"
#include "mainwindow/win/message_log_view.h"
#include "mainwindow/win/token_list_view.h"
#include "provisioning/seed_files/seed_folder.h"
#include "resources/resource.h"
#include "vendor/token_library.h"

class CMainDlg : public CDialogImpl<CMainDlg>, public CMessageFilter, public CIdleHandler, public IMainWindowHost {
 public:
  enum { IDD = IDD_MAINDLG };
  // Posted by the seed files' read-ahead once it has told their leftovers.
  static constexpr UINT kLeftoversToldMessage = WM_APP + 1;

  // Hands the seed folder on to the form it runs.
  using NewTokenFormRunner = std::function<NewTokenResult(HWND owner, SeedFolder& seeds)>;

  // `loadProblem` is logged first when not empty (the library failed to load).
  // `seeds` is where settling looks and what the form gets; it outlives the window.
  CMainDlg(ITokenLibrary& library, MessageText loadProblem, SeedFolder& seeds, NewTokenFormRunner runNewTokenForm);
  ~CMainDlg() override;

  bool FilterMessage(MSG* message) override;
  bool DoIdleWork() override;

  BEGIN_MSG_MAP(CMainDlg)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  MESSAGE_HANDLER(WM_DEVICECHANGE, OnDeviceChange)
  MESSAGE_HANDLER(WM_CTLCOLORSTATIC, OnCtlColorStatic)
  MESSAGE_HANDLER(kLeftoversToldMessage, OnLeftoversTold)
  COMMAND_ID_HANDLER(ID_APP_ABOUT, OnAbout)
  COMMAND_ID_HANDLER(IDC_NEW_TOKEN, OnNewToken)
  COMMAND_ID_HANDLER(IDC_SET_ENTER, OnSetEnter)
  COMMAND_ID_HANDLER(IDC_REFRESH, OnRefresh)
  COMMAND_ID_HANDLER(IDC_CLEAR, OnClear)
  COMMAND_ID_HANDLER(IDC_RESET, OnReset)
  COMMAND_ID_HANDLER(IDC_GET_OTP, OnGetOtp)
  COMMAND_ID_HANDLER(IDOK, OnCloseCmd)
  COMMAND_ID_HANDLER(IDCANCEL, OnCloseCmd)
  END_MSG_MAP()

 private:
  LRESULT OnInitDialog(WPARAM, LPARAM);
  LRESULT OnDestroy(WPARAM, LPARAM);
  LRESULT OnDeviceChange(WPARAM eventKind, LPARAM header);
  LRESULT OnCtlColorStatic(WPARAM dc, LPARAM control);
  LRESULT OnLeftoversTold(WPARAM, LPARAM);

  void OnAbout(int id);
  void OnNewToken(int id);
  void OnSetEnter(int id);
  void OnRefresh(int id);
  void OnClear(int id);
  void OnReset(int id);
  void OnGetOtp(int id);
  void OnCloseCmd(int id);

  // IMainWindowHost
  void ShowModelNow() override;
  void Pause(std::uint32_t milliseconds) override;
  SettleReport SettleInterruptedSaves() override;
  NewTokenResult RunNewTokenForm() override;
  int RunSetEnterDialog(bool& appendEnter) override;
  std::int64_t CurrentUnixTime() override;

  void RegisterForDeviceNotifications();
  // Runs a command of one of the model's buttons, unless the model has it disabled.
  void RunButtonCommand(MainButton button, void (MainWindowLogic::*command)());
  // Model into controls. The controls only display: nothing flows back.
  void TransferModelToControls();
  void ShowStatus();
  void ShowButtonStates();

  MainWindowModel model_;
  ITokenLibrary& library_;
  MainWindowLogic logic_;
  MessageText loadProblem_;
  SeedFolder& seeds_;
  NewTokenFormRunner runNewTokenForm_;

  TokenListView tokenList_;
  MessageLogView messageLog_;
  HWND statusLine_ = nullptr;
  MessageText shownStatus_;
  HDEVNOTIFY deviceNotification_ = nullptr;
  // Settled at the main loop's next idle, never inside a dialog or a key call.
  bool leftoversToSettle_ = false;

  CCtlColored statusColours_{RGB(255, 0, 0), COLOR_WINDOW};
  WindowIcons icons_;
};
