// What the New Token form leaves for the main window once it has closed.
#pragma once

#include <cstdint>

#include "text/message_text.h"

enum NewTokenStatus : std::int32_t {
  kNothingSaved = 0,
  kWriteToKeyFailed = 1,
  kTokenSaved = 2,
};

struct NewTokenResult {
  std::int32_t resultStatus = kNothingSaved;
  MessageText resultMessage;  // one or more lines, each ending in "\r\n"
  bool appendEnter = true;
  // When the token is on the key but a seed file did not take it: the status
  // line's warning, naming the files; empty otherwise.
  MessageText seedFileWarning;
  // The key holds the token: saved, or it answered with an error but lists
  // the token (status 1, and the window follows up as after a save).
  bool keyHoldsToken = false;
};
