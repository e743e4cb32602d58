// The main window's behaviour, written against its model: device search,
// token listing, device arrival and removal, Get OTP, Reset, New Token and
// Set ENTER. Every outcome ends up as text in the model's message box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "mainwindow/main_window_host.h"
#include "mainwindow/main_window_model.h"
#include "provisioning/seed_files/settle_log.h"
#include "vendor/token_library.h"

class MainWindowLogic {
 public:
  MainWindowLogic(MainWindowModel& model, ITokenLibrary& library, IMainWindowHost& host);

  // Message box and status line. An empty status shows the seed files'
  // warning while there is one.
  void AppendLog(const MessageText& message);
  void ClearLog();
  void SetStatus(const MessageText& text);
  void SetSeedWarning(const MessageText& warning);

  // Start-up: everything after the controls exist (activeIndex, device search,
  // status line). `loadProblem` is logged first when not empty.
  void Initialise(const MessageText& loadProblem);

  void FindDevice();
  void ListTokens();
  // `header` points at the platform's device broadcast header, `size` is how
  // many bytes of it may be read (its own size field, checked by the caller
  // against nothing: the header is parsed within these bounds only).
  void OnDeviceChange(std::uint32_t eventKind, const std::uint8_t* header, std::size_t size);

  void GetOtp();
  void ResetDevice();
  void NewToken();
  void SetEnter();
  void SetAppendEnter(bool append);
  // Logs what settling interrupted saves says: at start-up, when a key
  // arrives and before a new token is made. A kept record's lines are
  // logged once, and again only when they change.
  void SettleInterruptedSaves();

 private:
  MainWindowModel& model_;
  ITokenLibrary& library_;
  IMainWindowHost& host_;
  SettleLog settleLog_;  // what settling said in this run
};
