// The token list (a report-view list control) showing the model's rows.
#pragma once

#include <windows.h>

#include <vector>

#include "mainwindow/main_window_model.h"

class TokenListView {
 public:
  // Binds the list control, builds its six columns and selects whole rows.
  void Attach(HWND list);
  // Refills the list when the rows differ from those shown.
  void Show(const std::vector<TokenRow>& rows);

 private:
  void Fill(const std::vector<TokenRow>& rows);

  HWND list_ = nullptr;
  std::vector<TokenRow> shownRows_;
};
