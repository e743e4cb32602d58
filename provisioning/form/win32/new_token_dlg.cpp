#include "provisioning/form/win32/new_token_dlg.h"

#include <utility>

#include "provisioning/form/win32/window_centring.h"

CNewTokenDlg::CNewTokenDlg(ITokenLibrary& library, std::filesystem::path seedFolder,
                           NewTokenFormServices services)
    : logic_(controls_, library, std::move(seedFolder), std::move(services)) {}

CNewTokenDlg::~CNewTokenDlg() {
  // The icons outlive the window that showed them; they go with the object.
  if (bigIcon_) DestroyIcon(bigIcon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
}

INT_PTR CNewTokenDlg::DoModal(HWND owner) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD), owner, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CNewTokenDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Each dialog window carries its own object; nothing is global.
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CNewTokenDlg*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    dialog->window_ = window;
    dialog->controls_.Attach(window);
  }
  auto* dialog = reinterpret_cast<CNewTokenDlg*>(GetWindowLongPtrW(window, DWLP_USER));
  return dialog ? dialog->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CNewTokenDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
  }
  return FALSE;
}

BOOL CNewTokenDlg::OnInitDialog() {
  CentreWindowOver(window_, GetParent(window_));
  logic_.StartUp();
  SetFormIcons();
  return TRUE;  // the dialog manager focuses the first tab stop
}

BOOL CNewTokenDlg::OnCommand(WORD controlId, WORD notification) {
  return logic_.HandleCommand(controlId, notification) ? TRUE : FALSE;
}

void CNewTokenDlg::OnDestroy() {
  controls_.Attach(nullptr);
  window_ = nullptr;
}

void CNewTokenDlg::SetFormIcons() {
  const HINSTANCE module = GetModuleHandleW(nullptr);
  bigIcon_ = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON),
                                           GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  smallIcon_ = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
}
