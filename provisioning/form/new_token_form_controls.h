// What the New Token form's logic asks of its window. The Win32 binding
// implements it on dialog 130; tests script it.
#pragma once

#include "provisioning/form/new_token_form_state.h"

class INewTokenFormControls {
 public:
  virtual ~INewTokenFormControls() = default;

  // Controls into state. Stops at the first step that fails, reporting the
  // control of that step; the steps before it have been applied.
  virtual bool ReadFields(NewTokenFormState& state, int& failedControlId) = 0;
  // State into controls, likewise.
  virtual bool WriteFields(const NewTokenFormState& state, int& failedControlId) = 0;

  virtual void Beep() = 0;
  virtual void Focus(int controlId) = 0;
  virtual void EnableSave(bool enabled) = 0;
  // Closes the form with `result`; nothing runs in the form afterwards.
  virtual void EndForm(int result) = 0;
};
