// Scripted stand-ins for the vendor library and the window around the logic.
// Both write into one shared event list so tests can check the order of
// prompts, transfers and library calls.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mainwindow/main_window_host.h"
#include "mainwindow/main_window_logic.h"
#include "mainwindow/main_window_model.h"
#include "vendor/token_library.h"

inline TokenRecord MakeToken(const char* serial, std::uint32_t type = HOTP,
                             std::uint32_t hash = HASH_SHA1, std::uint32_t digits = 6,
                             std::uint32_t timeStep = 30) {
  TokenRecord record{};
  record.type = type;
  record.hashAlgorithm = hash;
  record.digits = digits;
  record.timeStep = timeStep;
  std::strncpy(record.serial, serial, sizeof record.serial - 1);
  return record;
}

struct CalculateCall {
  TokenRecord token;
  std::string challenge;  // the bytes up to challengeLength
  bool challengeTerminated;
  std::uint32_t challengeLength;
  std::string statusTextAtCall;  // narrow copy of model.statusText (ASCII)
  std::string logTextAtCall;
};

class FakeTokenLibrary : public ITokenLibrary {
 public:
  explicit FakeTokenLibrary(std::vector<std::string>& events) : events_(events) {}

  // Script.
  std::vector<CvStatus> listDeviceStatuses{CV_OK};  // last one repeats
  CvStatus listStatus = CV_OK;
  std::vector<TokenRecord> tokens;                 // what OtpList writes (at most 20)
  CvStatus calculateStatus = CV_OK;
  std::string otpBytes = "123456";                 // written without an extra NUL
  CvStatus resetStatus = CV_OK;
  CvStatus setEnterStatus = CV_OK;
  const MainWindowModel* observedModel = nullptr;  // read at call time

  // Record.
  int listDeviceCalls = 0;
  int listCalls = 0;
  std::vector<std::uint32_t> listSelectors;
  bool everyListingBufferZeroed = true;
  std::vector<CalculateCall> calculateCalls;
  std::vector<bool> resetRunningAtReset;
  std::vector<std::uint32_t> setEnterValues;

  CvStatus ListDevice(std::uint32_t* output) override {
    events_.push_back("ListDevice");
    if (output == nullptr || *output != 0) return 0xDEADBEEF;
    const std::size_t i = std::min<std::size_t>(listDeviceCalls, listDeviceStatuses.size() - 1);
    ++listDeviceCalls;
    return listDeviceStatuses[i];
  }

  CvStatus GetDeviceInfo(DeviceInfo*) override {
    events_.push_back("GetDeviceInfo");
    return 0xDEADBEEF;
  }

  CvStatus OtpList(std::uint32_t selector, TokenRecord* records) override {
    events_.push_back("OtpList");
    ++listCalls;
    listSelectors.push_back(selector);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(records);
    if (!std::all_of(bytes, bytes + kMaxTokens * sizeof(TokenRecord), [](std::uint8_t b) { return b == 0; })) {
      everyListingBufferZeroed = false;
    }
    if (listStatus != CV_OK) return listStatus;
    const std::size_t count = std::min(tokens.size(), kMaxTokens);
    if (count > 0) std::memcpy(records, tokens.data(), count * sizeof(TokenRecord));
    return CV_OK;
  }

  CvStatus OtpCalculate(TokenRecord token, const char* challenge, std::uint32_t challengeLength,
                        char* otp, std::uint32_t* otpLength) override {
    events_.push_back("OtpCalculate");
    CalculateCall call{token, std::string(challenge, challengeLength),
                       challenge[challengeLength] == '\0', challengeLength, {}, {}};
    if (observedModel) {
      call.statusTextAtCall = Ascii(observedModel->statusText);
      call.logTextAtCall = Ascii(observedModel->logText);
    }
    calculateCalls.push_back(call);
    if (otpLength == nullptr || *otpLength != 0) return 0xDEADBEEF;
    if (calculateStatus == CV_OK) {
      std::memcpy(otp, otpBytes.data(), std::min(otpBytes.size(), kOtpBufferSize));
    }
    return calculateStatus;
  }

  CvStatus OtpPersonalize(TokenRecord, std::uint32_t) override {
    events_.push_back("OtpPersonalize");
    return 0xDEADBEEF;
  }

  CvStatus OtpReset() override {
    events_.push_back("OtpReset");
    if (observedModel) resetRunningAtReset.push_back(observedModel->resetRunning);
    return resetStatus;
  }

  CvStatus OtpSetValueWithEnter(std::uint32_t appendEnter) override {
    events_.push_back("OtpSetValueWithEnter");
    setEnterValues.push_back(appendEnter);
    return setEnterStatus;
  }

  static std::string Ascii(const MessageText& text) { return std::string(text.begin(), text.end()); }

 private:
  std::vector<std::string>& events_;
};

struct ButtonStates {
  bool newToken, setEnter, refresh, getOtp, reset, clear, about;
  bool operator==(const ButtonStates& o) const {
    return newToken == o.newToken && setEnter == o.setEnter && refresh == o.refresh &&
           getOtp == o.getOtp && reset == o.reset && clear == o.clear && about == o.about;
  }
};

inline ButtonStates ButtonsOf(const MainWindowModel& model) {
  return {IsButtonEnabled(model, MainButton::NewToken), IsButtonEnabled(model, MainButton::SetEnter),
          IsButtonEnabled(model, MainButton::Refresh),  IsButtonEnabled(model, MainButton::GetOtp),
          IsButtonEnabled(model, MainButton::Reset),    IsButtonEnabled(model, MainButton::Clear),
          IsButtonEnabled(model, MainButton::About)};
}

struct ModelSnapshot {
  std::string statusText;
  std::string logText;
  ButtonStates buttons;
};

class FakeMainWindowHost : public IMainWindowHost {
 public:
  FakeMainWindowHost(std::vector<std::string>& events, const MainWindowModel& model)
      : events_(events), model_(model) {}

  NewTokenResult newTokenResult;
  int setEnterResult = 2;
  bool setEnterChoice = true;
  std::int64_t now = 1704067200;  // 2024-01-01 00:00:00 UTC

  std::vector<std::uint32_t> pauses;
  std::vector<ModelSnapshot> shownModels;
  std::vector<bool> setEnterInitialChoices;

  void ShowModelNow() override {
    events_.push_back("ShowModelNow");
    shownModels.push_back({FakeTokenLibrary::Ascii(model_.statusText),
                           FakeTokenLibrary::Ascii(model_.logText), ButtonsOf(model_)});
  }
  void Pause(std::uint32_t milliseconds) override {
    events_.push_back("Pause");
    pauses.push_back(milliseconds);
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
  FakeTokenLibrary library{events};
  FakeMainWindowHost host{events, model};
  MainWindowLogic logic{model, library, host};

  MainWindowRig() { library.observedModel = &model; }

  std::string Log() const { return FakeTokenLibrary::Ascii(model.logText); }
  std::string Status() const { return FakeTokenLibrary::Ascii(model.statusText); }
  std::string Cell(std::size_t row, int column) const {
    return FakeTokenLibrary::Ascii(model.rows.at(row)[static_cast<std::size_t>(column)]);
  }
};
