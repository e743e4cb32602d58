// Scripted stand-ins for the vendor library and the window around the logic.
// Both write into one shared event list so tests can check the order of
// prompts, transfers and library calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mainwindow/main_window_host.h"
#include "mainwindow/main_window_logic.h"
#include "mainwindow/main_window_model.h"
#include "tests/support/scripted_token_library.h"

inline std::string Ascii(const MessageText& text) { return std::string(text.begin(), text.end()); }

// The enabled states as '1'/'0' in button order:
// New Token, Set ENTER, Refresh, Get OTP, Reset, Clear, About.
inline std::string ButtonsOf(const MainWindowModel& model) {
  std::string states;
  for (MainButton button : {MainButton::NewToken, MainButton::SetEnter, MainButton::Refresh, MainButton::GetOtp,
                            MainButton::Reset, MainButton::Clear, MainButton::About}) {
    states += IsButtonEnabled(model, button) ? '1' : '0';
  }
  return states;
}
const std::string kAllEnabled = "1111111";
const std::string kOnlyClearAndAbout = "0000011";

// What the window was asked to show at once (while the key is awaited).
struct ModelSnapshot {
  std::string statusText, logText, buttons;
};

class FakeMainWindowHost : public IMainWindowHost {
 public:
  FakeMainWindowHost(std::vector<std::string>& events, const MainWindowModel& model) : events_(events), model_(model) {}

  NewTokenResult newTokenResult;
  int setEnterResult = 2;
  bool setEnterChoice = true;
  std::int64_t now = 1704067200;  // 2024-01-01 00:00:00 UTC

  std::vector<std::uint32_t> pauses;
  std::vector<ModelSnapshot> shownModels;
  std::vector<bool> setEnterInitialChoices;

  void ShowModelNow() override {
    events_.push_back("ShowModelNow");
    shownModels.push_back({Ascii(model_.statusText), Ascii(model_.logText), ButtonsOf(model_)});
  }
  void Pause(std::uint32_t milliseconds) override {
    events_.push_back("Pause");
    pauses.push_back(milliseconds);
  }
  SettleReport settleReport;  // what each settling says
  SettleReport SettleInterruptedSaves() override {
    events_.push_back("SettleInterruptedSaves");
    return settleReport;
  }
  NewTokenResult RunNewTokenForm() override {
    events_.push_back("RunNewTokenForm");
    return newTokenResult;
  }
  int RunSetEnterDialog(bool& appendEnter) override {
    events_.push_back("RunSetEnterDialog");
    setEnterInitialChoices.push_back(appendEnter);
    if (setEnterResult == 1) appendEnter = setEnterChoice;
    return setEnterResult;
  }
  std::int64_t CurrentUnixTime() override { return now; }

 private:
  std::vector<std::string>& events_;
  const MainWindowModel& model_;
};

// One window's worth of logic wired to the fakes.
struct MainWindowRig {
  std::vector<std::string> events;
  MainWindowModel model;
  ScriptedTokenLibrary library;
  FakeMainWindowHost host{events, model};
  MainWindowLogic logic{model, library, host};

  MainWindowRig() {
    library.events = &events;
    // The window never asks for the device's details or writes tokens.
    library.deviceInfoStatus = kBadArguments;
    library.personalizeStatus = kBadArguments;
  }
  MainWindowRig(const MainWindowRig&) = delete;
  MainWindowRig& operator=(const MainWindowRig&) = delete;

  std::string Log() const { return Ascii(model.logText); }
  std::string Status() const { return Ascii(model.statusText); }
  // A row's cells joined with '|'.
  std::string Row(std::size_t row) const {
    std::string joined;
    for (std::size_t column = 0; column < kTokenListColumns; ++column) {
      joined += (column > 0 ? "|" : "") + Ascii(model.rows.at(row)[column]);
    }
    return joined;
  }
};
