#include "mainwindow/win/set_enter_dlg.h"

#include "framework/centre_window.h"

LRESULT CSetEnterDlg::OnInitDialog(WPARAM, LPARAM) {
  CentreWindow(Window(), GetParent(Window()));
  // The key's current setting cannot be read: the box always starts checked.
  appendEnter_ = 1;
  WriteCheckBox();
  icons_.Apply(Window(), IDR_MAINFRAME);
  return TRUE;  // focus on the first tab stop, "Save"
}

void CSetEnterDlg::OnSave(int /*id*/) {
  ReadCheckBox();
  EndDialog(IDOK);
}

void CSetEnterDlg::OnCancel(int /*id*/) { EndDialog(IDCANCEL); }

void CSetEnterDlg::WriteCheckBox() {
  SendMessageW(GetDlgItem(IDC_APPEND_ENTER), BM_SETCHECK, appendEnter_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CSetEnterDlg::ReadCheckBox() {
  appendEnter_ = SendMessageW(GetDlgItem(IDC_APPEND_ENTER), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}
