#include "tests/e2e/e2e_test_support.h"

#include "resources/resource.h"

HWND FillNewTokenForm(ToolUnderTest& tool, const NewTokenChoices& choices, CreatedToken& created) {
  tool.Click(IDC_NEW_TOKEN);
  HWND form = tool.WaitForDialog(L"New Token");
  if (!form) return nullptr;

  ClickButton(form, choices.totp ? IDC_ALGORITHM_TOTP : IDC_ALGORITHM_HOTP);
  ClickButton(form, choices.sha256 ? IDC_HASH_SHA256 : IDC_HASH_SHA1);
  ClickButton(form, choices.eightDigits ? IDC_DIGITS_8 : IDC_DIGITS_6);
  ClickButton(form, choices.sixtySeconds ? IDC_INTERVAL_60 : IDC_INTERVAL_30);
  SetChecked(form, IDC_APPEND_ENTER, choices.appendEnter);
  SetWindowTextRemote(GetDlgItem(form, IDC_USER_NAME), choices.userName);

  const std::wstring keySerial = WindowText(GetDlgItem(form, IDC_SERIAL_NUMBER));
  PostCommand(form, IDC_GENERATE_SERIAL);
  for (int i = 0; i < 100; ++i) {
    created.serial = WindowText(GetDlgItem(form, IDC_SERIAL_NUMBER));
    if (created.serial != keySerial && created.serial.size() == 13) break;
    Sleep(50);
  }
  PostCommand(form, IDC_GENERATE_SEED);
  const size_t seedLength = choices.sha256 ? 64 : 40;
  for (int i = 0; i < 100; ++i) {
    created.seed = WindowText(GetDlgItem(form, IDC_SEED));
    if (created.seed.size() == seedLength && IsWindowEnabled(GetDlgItem(form, IDC_SAVE))) break;
    Sleep(50);
  }
  return form;
}

CreatedToken CreateToken(ToolUnderTest& tool, const NewTokenChoices& choices) {
  CreatedToken created;
  HWND form = FillNewTokenForm(tool, choices, created);
  if (!form) return created;
  PostCommand(form, IDC_SAVE);
  created.formClosed = tool.WaitForDialogGone(form);
  tool.WaitForQuiet();
  return created;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  do {
    if (condition()) return true;
    Sleep(25);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

std::wstring Unbroken(const std::wstring& log) {
  std::wstring joined;
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log.compare(i, 2, L"\r\n") == 0) {
      joined += L' ';
      ++i;
    } else {
      joined += log[i];
    }
  }
  return joined;
}

int Occurrences(const std::wstring& text, const std::wstring& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}
