#include "provisioning/form/win/form_window_controls.h"

#include <string>

#include "app/framework/dialog_focus.h"
#include "resources/resource.h"

namespace {

// A radio group and the state field that holds its checked index.
struct RadioGroup {
  int firstButtonId;
  std::int32_t NewTokenFormState::*choice;
};

// The order in which both transfers visit the groups.
const RadioGroup kRadioGroups[] = {
    {IDC_HASH_SHA1, &NewTokenFormState::hashChoice},
    {IDC_DIGITS_6, &NewTokenFormState::digitsChoice},
    {IDC_ALGORITHM_HOTP, &NewTokenFormState::algorithmChoice},
    {IDC_INTERVAL_30, &NewTokenFormState::intervalChoice},
};

const int kTextFieldIds[] = {IDC_SERIAL_NUMBER, IDC_SEED, IDC_USER_NAME};

MessageText NewTokenFormState::*const kTextFields[] = {
    &NewTokenFormState::serialText,
    &NewTokenFormState::seedText,
    &NewTokenFormState::userName,
};

// The control `controlId` of the dialog; when it is missing, null, with its id
// reported as the step that failed.
HWND ControlOrFail(HWND dialog, int controlId, int& failedControlId) {
  const HWND control = GetDlgItem(dialog, controlId);
  if (!control) failedControlId = controlId;
  return control;
}

// Reads the whole text of an edit control; fails when the control delivers
// fewer characters than it announced.
bool ReadEditText(HWND dialog, int controlId, MessageText& text) {
  const HWND edit = GetDlgItem(dialog, controlId);
  if (!edit) return false;
  const int length = GetWindowTextLengthW(edit);
  if (length < 0) return false;
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  const int read = GetWindowTextW(edit, buffer.data(), length + 1);
  if (read < length) return false;
  buffer.resize(static_cast<std::size_t>(lstrlenW(buffer.c_str())));
  text.assign(reinterpret_cast<const char16_t*>(buffer.data()), buffer.size());
  return true;
}

// Visits the radio buttons of the group that starts at `firstButtonId`, in
// template order, with their index in the group. Other controls inside the
// group are skipped without counting; the walk ends before the next control
// that starts a group. Fails, reporting the first button, when it is missing.
template <typename Visit>
bool WalkRadioGroup(HWND dialog, int firstButtonId, int& failedControlId, Visit visit) {
  HWND control = ControlOrFail(dialog, firstButtonId, failedControlId);
  if (!control) return false;
  std::int32_t index = 0;
  for (;;) {
    if (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
      visit(control, index);
      ++index;
    }
    const HWND next = GetWindow(control, GW_HWNDNEXT);
    if (!next || (GetWindowLongW(next, GWL_STYLE) & WS_GROUP)) break;
    control = next;
  }
  return true;
}

}  // namespace

bool NewTokenFormWindowControls::ReadFields(NewTokenFormState& state, int& failedControlId) {
  for (std::size_t i = 0; i < std::size(kTextFieldIds); ++i) {
    if (!ReadEditText(dialog_, kTextFieldIds[i], state.*kTextFields[i])) {
      failedControlId = kTextFieldIds[i];
      return false;
    }
  }
  for (const RadioGroup& group : kRadioGroups) {
    std::int32_t& choice = state.*group.choice;
    choice = kNoChoice;
    const bool walked = WalkRadioGroup(dialog_, group.firstButtonId, failedControlId,
                                       [&](HWND button, std::int32_t index) {
                                         if (SendMessageW(button, BM_GETCHECK, 0, 0) != 0) choice = index;
                                       });
    if (!walked) return false;
  }
  const HWND appendEnter = ControlOrFail(dialog_, IDC_APPEND_ENTER, failedControlId);
  if (!appendEnter) return false;
  state.appendEnter = SendMessageW(appendEnter, BM_GETCHECK, 0, 0) == BST_CHECKED;
  return true;
}

bool NewTokenFormWindowControls::WriteFields(const NewTokenFormState& state, int& failedControlId) {
  for (std::size_t i = 0; i < std::size(kTextFieldIds); ++i) {
    const MessageText& text = state.*kTextFields[i];
    if (!SetDlgItemTextW(dialog_, kTextFieldIds[i], reinterpret_cast<const wchar_t*>(text.c_str()))) {
      failedControlId = kTextFieldIds[i];
      return false;
    }
  }
  for (const RadioGroup& group : kRadioGroups) {
    const std::int32_t choice = state.*group.choice;
    const bool walked = WalkRadioGroup(dialog_, group.firstButtonId, failedControlId,
                                       [&](HWND button, std::int32_t index) {
                                         SendMessageW(button, BM_SETCHECK,
                                                      index == choice ? BST_CHECKED : BST_UNCHECKED, 0);
                                       });
    if (!walked) return false;
  }
  const HWND appendEnter = ControlOrFail(dialog_, IDC_APPEND_ENTER, failedControlId);
  if (!appendEnter) return false;
  SendMessageW(appendEnter, BM_SETCHECK, state.appendEnter ? BST_CHECKED : BST_UNCHECKED, 0);
  return true;
}

void NewTokenFormWindowControls::Beep() { MessageBeep(0xFFFFFFFF); }

void NewTokenFormWindowControls::Focus(int controlId) {
  if (const HWND control = GetDlgItem(dialog_, controlId)) SetFocus(control);
}

void NewTokenFormWindowControls::EnableSave(bool enabled) {
  EnableDialogControl(GetDlgItem(dialog_, IDC_SAVE), enabled);
}

void NewTokenFormWindowControls::EndForm(int result) { EndDialog(dialog_, result); }
