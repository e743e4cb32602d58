#include "provisioning/form/win/new_token_dlg.h"

#include <utility>

#include "app/framework/centre_window.h"

CNewTokenDlg::CNewTokenDlg(ITokenLibrary& library, std::filesystem::path seedFolder,
                           NewTokenFormServices services)
    : logic_(controls_, library, std::move(seedFolder), std::move(services)) {}

LRESULT CNewTokenDlg::OnInitDialog(WPARAM, LPARAM) {
  controls_.Attach(Window());
  CentreWindow(Window(), GetParent(Window()));
  logic_.StartUp();
  icons_.Apply(Window(), IDR_MAINFRAME);
  return TRUE;  // the dialog manager focuses the first tab stop
}

LRESULT CNewTokenDlg::OnDestroy(WPARAM, LPARAM) {
  controls_.Attach(nullptr);
  return 0;
}

void CNewTokenDlg::OnOk(int) { logic_.Close(FormEnd::Ok); }
void CNewTokenDlg::OnCancel(int) { logic_.Close(FormEnd::Cancel); }
void CNewTokenDlg::OnCancelButton(int) { logic_.Close(FormEnd::CancelButton); }
void CNewTokenDlg::OnGenerateSerial(int) { logic_.GenerateSerial(); }
void CNewTokenDlg::OnGenerateSeed(int) { logic_.GenerateSeed(); }
void CNewTokenDlg::OnSave(int) { logic_.SaveToken(); }
