// What the main window's logic asks of the window system around it. The Win32
// binding implements it; tests script it.
#pragma once

#include <cstdint>

#include "provisioning/form/new_token_result.h"
#include "provisioning/seed_files/settle_report.h"
#include "text/message_text.h"

class IMainWindowHost {
 public:
  virtual ~IMainWindowHost() = default;

  // Transfers the model into the controls now: the logic calls this before a
  // call that may block waiting for the key, so the prompt shows meanwhile.
  virtual void ShowModelNow() = 0;
  // Blocks the user-interface thread (the pause after a key arrives).
  virtual void Pause(std::uint32_t milliseconds) = 0;
  // Completes, drops or keeps what interrupted saves left beside the seed
  // files, and says so.
  virtual SettleReport SettleInterruptedSaves() = 0;
  // Runs the New Token form modally and returns what it left.
  virtual NewTokenResult RunNewTokenForm() = 0;
  // Runs the Set ENTER dialog modally; returns the dialog's result (1 for
  // "Save") and, for "Save", the check box state in `appendEnter`.
  virtual int RunSetEnterDialog(bool& appendEnter) = 0;
  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual std::int64_t CurrentUnixTime() = 0;
};
