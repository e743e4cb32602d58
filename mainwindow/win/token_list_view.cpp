#include "mainwindow/win/token_list_view.h"

#include <commctrl.h>

#include <iterator>

#include "framework/window_dpi.h"

namespace {

struct ColumnSpec {
  const wchar_t* header;
  int width;  // pixels at 96 DPI
};

constexpr ColumnSpec kColumns[] = {
    {L"Serial Number", 180}, {L"Active", 60}, {L"OTP", 60}, {L"Hash", 60}, {L"Digits", 60}, {L"Interval", 60},
};
static_assert(std::size(kColumns) == kTokenListColumns, "one column description per model column");

wchar_t* CellText(const MessageText& text) {
  // The list control copies the text; it never writes through this pointer.
  return const_cast<wchar_t*>(reinterpret_cast<const wchar_t*>(text.c_str()));
}

}  // namespace

void TokenListView::Attach(HWND list) {
  list_ = list;
  shownRows_.clear();
  for (int i = 0; i < kTokenListColumns; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.pszText = const_cast<wchar_t*>(kColumns[i].header);
    SendMessageW(list_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
  for (int i = 0; i < kTokenListColumns; ++i) {
    SendMessageW(list_, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(ScaledForWindow(list_, kColumns[i].width), 0));
  }
  // Mask 0: full-row selection replaces every other extended style.
  SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
}

void TokenListView::Show(const std::vector<TokenRow>& rows) {
  if (list_ == nullptr || rows == shownRows_) {
    return;
  }
  Fill(rows);
  shownRows_ = rows;
}

void TokenListView::Fill(const std::vector<TokenRow>& rows) {
  SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.iSubItem = 0;
    item.pszText = CellText(rows[i][0]);
    const int row = static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) {
      continue;
    }
    for (int column = 1; column < kTokenListColumns; ++column) {
      LVITEMW cell{};
      cell.mask = LVIF_TEXT;
      cell.iItem = row;
      cell.iSubItem = column;
      cell.pszText = CellText(rows[i][static_cast<std::size_t>(column)]);
      SendMessageW(list_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&cell));
    }
  }
}
