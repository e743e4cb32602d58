// The Set ENTER dialog (dialog 204): one check box, always starting checked.
// "Save" ends it with 1 and keeps the check box state; "Cancel" ends it with 2.
#pragma once

#include <cstdint>

#include "framework/dialog_impl.h"
#include "framework/message_map.h"
#include "framework/window_icons.h"
#include "resources/resource.h"

class CSetEnterDlg : public CDialogImpl<CSetEnterDlg> {
 public:
  enum { IDD = IDD_SETENTER };

  // The check box state read by "Save": 0 unchecked, 1 checked.
  std::int32_t AppendEnter() const { return appendEnter_; }

  BEGIN_MSG_MAP(CSetEnterDlg)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  COMMAND_ID_HANDLER(IDOK, OnSave)
  COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
  END_MSG_MAP()

 private:
  LRESULT OnInitDialog(WPARAM, LPARAM);
  void OnSave(int id);
  void OnCancel(int id);

  // The one transfer between the check box and appendEnter_.
  void WriteCheckBox();
  void ReadCheckBox();

  std::int32_t appendEnter_ = 1;
  WindowIcons icons_;
};
