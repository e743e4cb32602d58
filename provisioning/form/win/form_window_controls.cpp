#include "provisioning/form/win/form_window_controls.h"

#include <commctrl.h>

#include <string>

#include "framework/dialog_focus.h"
#include "framework/window_dpi.h"
#include "resources/resource.h"

namespace {

// Every field the form's logic names, with its control: the one place where
// the form's fields meet dialog 130's ids.
struct FieldControl {
  FormField field;
  int id;
};
constexpr FieldControl kFieldControls[] = {
    {FormField::SerialNumber, IDC_SERIAL_NUMBER},
    {FormField::Seed, IDC_SEED},
    {FormField::UserName, IDC_USER_NAME},
    {FormField::Hash, IDC_HASH_SHA1},
    {FormField::Digits, IDC_DIGITS_6},
    {FormField::Algorithm, IDC_ALGORITHM_HOTP},
    {FormField::TimeInterval, IDC_INTERVAL_30},
    {FormField::AppendEnter, IDC_APPEND_ENTER},
    {FormField::GenerateSeed, IDC_GENERATE_SEED},
};

int ControlOf(FormField field) {
  for (const FieldControl& entry : kFieldControls) {
    if (entry.field == field) return entry.id;
  }
  return 0;
}

// Polls, as the form opens, for it to be on screen.
constexpr UINT_PTR kPendingTipTimer = 2;
constexpr UINT kPendingTipPollMs = 50;

FormField FieldOf(int controlId) {
  for (const FieldControl& entry : kFieldControls) {
    if (entry.id == controlId) return entry.field;
  }
  return FormField::SerialNumber;  // not reached: the transfers only use controls of the table
}

// A control and the state member it transfers: an edit and its text, or a
// radio group (by its first button) and its checked index.
template <typename Member>
struct Transfer {
  int id;
  Member NewTokenFormState::*member;
};

// The order in which both transfers visit them.
constexpr Transfer<MessageText> kTextFields[] = {
    {IDC_SERIAL_NUMBER, &NewTokenFormState::serialText},
    {IDC_SEED, &NewTokenFormState::seedText},
    {IDC_USER_NAME, &NewTokenFormState::userName},
};
constexpr Transfer<std::int32_t> kRadioGroups[] = {
    {IDC_HASH_SHA1, &NewTokenFormState::hashChoice},
    {IDC_DIGITS_6, &NewTokenFormState::digitsChoice},
    {IDC_ALGORITHM_HOTP, &NewTokenFormState::algorithmChoice},
    {IDC_INTERVAL_30, &NewTokenFormState::intervalChoice},
};

// The dialog's result for each way of closing: the id of the command.
struct EndResult {
  FormEnd how;
  int result;
};
constexpr EndResult kEndResults[] = {
    {FormEnd::Ok, IDOK},
    {FormEnd::Cancel, IDCANCEL},
    {FormEnd::CancelButton, IDC_FORM_CANCEL},
    {FormEnd::Saved, IDC_SAVE},
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

bool NewTokenFormWindowControls::ReadFields(NewTokenFormState& state, FormField& failedField) {
  // Every command reads the fields first: the operator has acted, the tip of
  // an earlier refusal has done its job.
  HideOwnTip();
  DropPendingTip();
  int failedControlId = 0;
  const bool read = ReadControls(state, failedControlId);
  if (!read) failedField = FieldOf(failedControlId);
  return read;
}

bool NewTokenFormWindowControls::WriteFields(const NewTokenFormState& state, FormField& failedField) {
  int failedControlId = 0;
  const bool written = WriteControls(state, failedControlId);
  if (!written) failedField = FieldOf(failedControlId);
  return written;
}

bool NewTokenFormWindowControls::ReadControls(NewTokenFormState& state, int& failedControlId) {
  for (const auto& field : kTextFields) {
    if (!ReadEditText(dialog_, field.id, state.*field.member)) {
      failedControlId = field.id;
      return false;
    }
  }
  for (const auto& group : kRadioGroups) {
    std::int32_t& choice = state.*group.member;
    choice = kNoChoice;
    const bool walked = WalkRadioGroup(dialog_, group.id, failedControlId, [&](HWND button, std::int32_t index) {
      if (SendMessageW(button, BM_GETCHECK, 0, 0) != 0) choice = index;
    });
    if (!walked) return false;
  }
  const HWND appendEnter = ControlOrFail(dialog_, IDC_APPEND_ENTER, failedControlId);
  if (!appendEnter) return false;
  state.appendEnter = SendMessageW(appendEnter, BM_GETCHECK, 0, 0) == BST_CHECKED;
  return true;
}

bool NewTokenFormWindowControls::WriteControls(const NewTokenFormState& state, int& failedControlId) {
  for (const auto& field : kTextFields) {
    const MessageText& text = state.*field.member;
    if (!SetDlgItemTextW(dialog_, field.id, reinterpret_cast<const wchar_t*>(text.c_str()))) {
      failedControlId = field.id;
      return false;
    }
  }
  for (const auto& group : kRadioGroups) {
    const std::int32_t choice = state.*group.member;
    const bool walked = WalkRadioGroup(dialog_, group.id, failedControlId, [&](HWND button, std::int32_t index) {
      SendMessageW(button, BM_SETCHECK, index == choice ? BST_CHECKED : BST_UNCHECKED, 0);
    });
    if (!walked) return false;
  }
  const HWND appendEnter = ControlOrFail(dialog_, IDC_APPEND_ENTER, failedControlId);
  if (!appendEnter) return false;
  SendMessageW(appendEnter, BM_SETCHECK, state.appendEnter ? BST_CHECKED : BST_UNCHECKED, 0);
  return true;
}

void NewTokenFormWindowControls::Beep() { MessageBeep(0xFFFFFFFF); }

void NewTokenFormWindowControls::Focus(FormField field) {
  if (const HWND control = GetDlgItem(dialog_, ControlOf(field))) SetFocus(control);
}

void NewTokenFormWindowControls::OnTimer(UINT_PTR timer) {
  if (timer != kPendingTipTimer || !IsWindowVisible(dialog_)) return;
  const std::optional<Tip> tip = std::move(pendingTip_);
  DropPendingTip();
  if (tip) ShowTip(tip->field, tip->title, tip->text);
}

void NewTokenFormWindowControls::DropPendingTip() {
  pendingTip_.reset();
  if (dialog_) KillTimer(dialog_, kPendingTipTimer);
}

// The edit control shows the balloon itself (common controls 6, which the
// manifest selects) and hides it when the operator types or leaves the field.
// Where it does not (Wine's edit answers FALSE), a balloon of the form's own
// stands in, under the field.
void NewTokenFormWindowControls::ShowTip(FormField field, const MessageText& title, const MessageText& text) {
  HideOwnTip();
  // A balloon placed before the form is on screen would point nowhere.
  if (!IsWindowVisible(dialog_)) {
    pendingTip_ = Tip{field, title, text};
    SetTimer(dialog_, kPendingTipTimer, kPendingTipPollMs, nullptr);
    return;
  }
  const HWND control = GetDlgItem(dialog_, ControlOf(field));
  if (!control) return;
  EDITBALLOONTIP tip{};
  tip.cbStruct = sizeof tip;
  tip.pszTitle = reinterpret_cast<LPCWSTR>(title.c_str());
  tip.pszText = reinterpret_cast<LPCWSTR>(text.c_str());
  tip.ttiIcon = TTI_WARNING;
  if (SendMessageW(control, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&tip))) return;
  ShowOwnTip(control, title, text);
}

namespace {

constexpr UINT_PTR kOwnTipId = 1;
constexpr UINT_PTR kOwnTipTimer = 1;
constexpr UINT kOwnTipShowsMs = 10000;
constexpr int kOwnTipWidth = 320;  // pixels at 96 DPI

// The one tool of the form's own tooltip window, which tracks a position.
TTTOOLINFOW OwnTipTool(HWND tipWindow, LPWSTR text) {
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by common controls 5.8 and 6
  tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  tool.hwnd = GetWindow(tipWindow, GW_OWNER);
  tool.uId = kOwnTipId;
  tool.lpszText = text;
  return tool;
}

void CALLBACK HideOwnTipWhenShown(HWND tipWindow, UINT, UINT_PTR timer, DWORD) {
  KillTimer(tipWindow, timer);
  TTTOOLINFOW tool = OwnTipTool(tipWindow, nullptr);
  SendMessageW(tipWindow, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace

void NewTokenFormWindowControls::ShowOwnTip(HWND control, const MessageText& title, const MessageText& text) {
  if (!ownTip_) {
    INITCOMMONCONTROLSEX tooltips{sizeof tooltips, ICC_BAR_CLASSES};  // registers the tooltip class
    InitCommonControlsEx(&tooltips);
    // Owned by the form: it goes when the form goes.
    ownTip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_BALLOON | TTS_ALWAYSTIP | TTS_NOFADE | TTS_NOANIMATE,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_, nullptr, nullptr, nullptr);
    if (!ownTip_) return;
    SendMessageW(ownTip_, TTM_SETMAXTIPWIDTH, 0, ScaledForWindow(dialog_, kOwnTipWidth));
  }
  MessageText shown = text;
  TTTOOLINFOW tool = OwnTipTool(ownTip_, reinterpret_cast<LPWSTR>(shown.data()));
  SendMessageW(ownTip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(ownTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(ownTip_, TTM_SETTITLEW, TTI_WARNING, reinterpret_cast<LPARAM>(title.c_str()));
  RECT field{};
  GetWindowRect(control, &field);
  SendMessageW(ownTip_, TTM_TRACKPOSITION, 0, MAKELPARAM(field.left + (field.bottom - field.top) / 2, field.bottom));
  SendMessageW(ownTip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  SetWindowPos(ownTip_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetTimer(ownTip_, kOwnTipTimer, kOwnTipShowsMs, HideOwnTipWhenShown);
}

void NewTokenFormWindowControls::HideOwnTip() {
  if (ownTip_) HideOwnTipWhenShown(ownTip_, 0, kOwnTipTimer, 0);
}

void NewTokenFormWindowControls::EnableSave(bool enabled) {
  EnableDialogControl(GetDlgItem(dialog_, IDC_SAVE), enabled);
}

void NewTokenFormWindowControls::EndForm(FormEnd how) {
  for (const EndResult& end : kEndResults) {
    if (end.how == how) EndDialog(dialog_, end.result);
  }
}
