#include "mainwindow/win/about_dlg.h"

#include "framework/centre_window.h"

LRESULT CAboutDlg::OnInitDialog(WPARAM, LPARAM) {
  CentreWindow(Window(), GetParent(Window()));
  return TRUE;  // focus on the first tab stop
}

void CAboutDlg::OnCloseCmd(int id) { EndDialog(id); }
