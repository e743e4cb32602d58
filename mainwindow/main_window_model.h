// Plain model of the main window: rows of the token list, the message box
// text, the status line and what decides the buttons' enabled states. The
// Win32 binding transfers it into the controls; tests read it directly.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "text/message_text.h"

constexpr int kTokenListColumns = 6;
using TokenRow = std::array<MessageText, kTokenListColumns>;

enum class MainButton { NewToken, SetEnter, Refresh, GetOtp, Reset, Clear, About };

struct MainWindowModel {
  std::vector<TokenRow> rows;
  MessageText logText;          // the whole text of the message box
  std::uint64_t logClears = 0;  // counts "Clear"s, so a binding knows to start afresh
  MessageText statusText;
  // A token not in every seed file yet: what the status line shows when
  // nothing else is said there, until settling finds it resolved.
  MessageText seedWarning;
  std::int32_t activeIndex = -1;  // -1 until a listing has put a first row

  // What the enabled states are computed from (IsButtonEnabled).
  bool deviceFound = false;    // a device search had status 0
  bool getOtpAllowed = false;  // set by a device search or a saved token, cleared by a reset
  bool resetRunning = false;   // a reset is waiting for the key
};

// The one place where the buttons' enabled states are decided.
bool IsButtonEnabled(const MainWindowModel& model, MainButton button);
