// The message box (a read-only multi-line edit) showing the model's log. It
// remembers how much of the log it already shows and appends only the rest,
// always at the end and scrolled into view, whatever the user selected.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "text/message_text.h"

class MessageLogView {
 public:
  // Binds the edit control and lifts its text limit: the default of about
  // 32K characters would silently drop the messages of a long session.
  void Attach(HWND edit);
  void Show(const MessageText& logText, std::uint64_t logClears);
  HWND Control() const { return edit_; }

 private:
  void AppendAtEnd(const MessageText& text);

  HWND edit_ = nullptr;
  std::size_t shownLength_ = 0;
  std::uint64_t shownClears_ = 0;
};
