// What the New Token form's logic asks of its window. The Win32 binding
// implements it on dialog 130; tests script it.
#pragma once

#include "provisioning/form/new_token_form_state.h"

// The parts of the form that the logic names; the binding knows their controls.
enum class FormField {
  SerialNumber,
  Seed,
  UserName,
  Hash,
  Digits,
  Algorithm,
  TimeInterval,
  AppendEnter,
  GenerateSeed,  // the "Generate" button beside Seed/Secret
};

// How the form was closed: OK (Enter), Cancel (Esc, close box), its own
// "Cancel" button, or "Save".
enum class FormEnd { Ok, Cancel, CancelButton, Saved };

class INewTokenFormControls {
 public:
  virtual ~INewTokenFormControls() = default;

  // Controls into state. Stops at the first step that fails, reporting the
  // field of that step; the steps before it have been applied.
  virtual bool ReadFields(NewTokenFormState& state, FormField& failedField) = 0;
  // State into controls, likewise.
  virtual bool WriteFields(const NewTokenFormState& state, FormField& failedField) = 0;

  virtual void Beep() = 0;
  virtual void Focus(FormField field) = 0;
  // A balloon tip with `title` and `text` on the field's control.
  virtual void ShowTip(FormField field, const MessageText& title, const MessageText& text) = 0;
  virtual void EnableSave(bool enabled) = 0;
  // Closes the form; nothing runs in the form afterwards.
  virtual void EndForm(FormEnd how) = 0;
};
