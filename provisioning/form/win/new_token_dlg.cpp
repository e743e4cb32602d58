#include "provisioning/form/win/new_token_dlg.h"

#include <utility>

#include "framework/busy_scope.h"
#include "framework/centre_window.h"

CNewTokenDlg::CNewTokenDlg(ITokenLibrary& library, SeedFolder& seeds, NewTokenFormServices services)
    : logic_(controls_, library, seeds, std::move(services)) {}

LRESULT CNewTokenDlg::OnInitDialog(WPARAM, LPARAM) {
  controls_.Attach(Window());
  CentreWindow(Window(), GetParent(Window()));
  {
    BusyScope busy;  // it asks the key and looks its serial up in the seed files
    logic_.StartUp();
  }
  icons_.Apply(Window(), IDR_MAINFRAME);
  return TRUE;  // the dialog manager focuses the first tab stop
}

LRESULT CNewTokenDlg::OnDestroy(WPARAM, LPARAM) {
  controls_.Attach(nullptr);
  return 0;
}

LRESULT CNewTokenDlg::OnTimer(WPARAM timer, LPARAM) {
  controls_.OnTimer(timer);
  return 0;
}

void CNewTokenDlg::OnOk(int) { logic_.Close(FormEnd::Ok); }
void CNewTokenDlg::OnCancel(int) { logic_.Close(FormEnd::Cancel); }
void CNewTokenDlg::OnCancelButton(int) { logic_.Close(FormEnd::CancelButton); }
// Both read the seed files, which may be large, and ask the key: keys pressed
// meanwhile must not act afterwards on whatever then has the focus.
void CNewTokenDlg::OnGenerateSerial(int) {
  BusyScope busy;
  logic_.GenerateSerial();
}
void CNewTokenDlg::OnGenerateSeed(int) { logic_.GenerateSeed(); }
void CNewTokenDlg::OnSave(int) {
  BusyScope busy;  // the key's wait and the seed files after it, as one
  logic_.SaveToken();
}
