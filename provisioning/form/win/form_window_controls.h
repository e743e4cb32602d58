// Dialog 130's controls as the form's logic sees them: the two field
// transfers with their radio-group walks, focus, beep, Save and closing.
#pragma once

#include <windows.h>

#include <optional>

#include "provisioning/form/new_token_form_controls.h"

class NewTokenFormWindowControls : public INewTokenFormControls {
 public:
  void Attach(HWND dialog) {
    dialog_ = dialog;
    ownTip_ = nullptr;  // it belongs to the form that had it
    pendingTip_.reset();
  }

  bool ReadFields(NewTokenFormState& state, FormField& failedField) override;
  bool WriteFields(const NewTokenFormState& state, FormField& failedField) override;
  void Beep() override;
  void Focus(FormField field) override;
  void ShowTip(FormField field, const MessageText& title, const MessageText& text) override;
  void EnableSave(bool enabled) override;
  void EndForm(FormEnd how) override;

  // The dialog's WM_TIMER: shows a tip asked for while the form was not yet
  // on screen (as it opened), once it is.
  void OnTimer(UINT_PTR timer);

 private:
  // The transfers by control id; the failing step's control is reported.
  bool ReadControls(NewTokenFormState& state, int& failedControlId);
  bool WriteControls(const NewTokenFormState& state, int& failedControlId);

  void ShowOwnTip(HWND control, const MessageText& title, const MessageText& text);
  void HideOwnTip();
  void DropPendingTip();

  struct Tip {
    FormField field;
    MessageText title, text;
  };
  std::optional<Tip> pendingTip_;  // asked for before the form showed

  HWND dialog_ = nullptr;
  HWND ownTip_ = nullptr;  // the form's own balloon, where the edit shows none
};
