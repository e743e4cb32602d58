// Dialog 130's controls as the form's logic sees them: the two field
// transfers with their radio-group walks, focus, beep, Save and closing.
#pragma once

#include <windows.h>

#include "provisioning/form/new_token_form_controls.h"

class NewTokenFormWindowControls : public INewTokenFormControls {
 public:
  void Attach(HWND dialog) { dialog_ = dialog; }

  bool ReadFields(NewTokenFormState& state, int& failedControlId) override;
  bool WriteFields(const NewTokenFormState& state, int& failedControlId) override;
  void Beep() override;
  void Focus(int controlId) override;
  void EnableSave(bool enabled) override;
  void EndForm(int result) override;

 private:
  HWND dialog_ = nullptr;
};
