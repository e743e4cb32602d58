#include "mainwindow/win/message_log_view.h"

void MessageLogView::Attach(HWND edit) {
  edit_ = edit;
  SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);  // 0: as much as the control can hold
  shownLength_ = 0;
  shownClears_ = 0;
}

void MessageLogView::Show(const MessageText& logText, std::uint64_t logClears) {
  if (edit_ == nullptr) {
    return;
  }
  if (logClears != shownClears_ || logText.size() < shownLength_) {
    SetWindowTextW(edit_, L"");
    shownClears_ = logClears;
    shownLength_ = 0;
  }
  if (logText.size() > shownLength_) {
    AppendAtEnd(logText.substr(shownLength_));
    shownLength_ = logText.size();
  }
}

void MessageLogView::AppendAtEnd(const MessageText& text) {
  const int end = GetWindowTextLengthW(edit_);
  SendMessageW(edit_, EM_SETSEL, end, end);
  SendMessageW(edit_, EM_SCROLLCARET, 0, 0);
  // wParam 0: the insertion cannot be undone.
  SendMessageW(edit_, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(reinterpret_cast<const wchar_t*>(text.c_str())));
}
