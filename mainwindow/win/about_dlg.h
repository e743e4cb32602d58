// The About box (dialog 100): centred on its parent, closed by OK or Esc.
#pragma once

#include "framework/dialog_impl.h"
#include "framework/message_map.h"
#include "resources/resource.h"

class CAboutDlg : public CDialogImpl<CAboutDlg> {
 public:
  enum { IDD = IDD_ABOUTBOX };

  BEGIN_MSG_MAP(CAboutDlg)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  COMMAND_ID_HANDLER(IDOK, OnCloseCmd)
  COMMAND_ID_HANDLER(IDCANCEL, OnCloseCmd)
  END_MSG_MAP()

 private:
  LRESULT OnInitDialog(WPARAM, LPARAM);
  void OnCloseCmd(int id);
};
