// Dialog 130's controls as the form's logic sees them: the two field
// transfers with their radio-group walks, focus, beep, Save and closing.
#pragma once

#include <windows.h>

#include "provisioning/form/new_token_form_controls.h"

class NewTokenFormWindowControls : public INewTokenFormControls {
 public:
  void Attach(HWND dialog) { dialog_ = dialog; }

  bool ReadFields(NewTokenFormState& state, FormField& failedField) override;
  bool WriteFields(const NewTokenFormState& state, FormField& failedField) override;
  void Beep() override;
  void Focus(FormField field) override;
  void EnableSave(bool enabled) override;
  void EndForm(FormEnd how) override;

 private:
  // The transfers by control id; the failing step's control is reported.
  bool ReadControls(NewTokenFormState& state, int& failedControlId);
  bool WriteControls(const NewTokenFormState& state, int& failedControlId);

  HWND dialog_ = nullptr;
};
