// The New Token form's behaviour: defaults, the two Generate buttons, Save
// and closing, written against INewTokenFormControls so that it runs and is
// tested without a window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "provisioning/form/new_token_form_controls.h"
#include "provisioning/form/new_token_form_state.h"
#include "provisioning/form/save_refusal.h"
#include "provisioning/form/unused_serial.h"
#include "provisioning/form/new_token_result.h"
#include "provisioning/seed_files/save_journal.h"
#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_folder.h"
#include "vendor/token_library.h"

// The form's sources of random material; tests replace them.
struct NewTokenFormServices {
  std::function<bool(char* buffer)> generateSerialNumber;
  std::function<bool(std::uint8_t* buffer, std::int32_t count)> generateSeedBytes;

  // The secure generators.
  static NewTokenFormServices Standard();
};

class NewTokenFormLogic {
 public:
  // `seeds` is the folder of the seed export files, the program's own,
  // which checks serials, records saves and takes the tokens.
  NewTokenFormLogic(INewTokenFormControls& controls, ITokenLibrary& library, SeedFolder& seeds,
                    NewTokenFormServices services = NewTokenFormServices::Standard());

  // Defaults and the key's own serial number; the window centres itself and
  // sets its icons around this.
  void StartUp();

  // The form's commands, one operation each.
  // OK, Cancel or the "Cancel" button: closes the form; nothing is saved.
  void Close(FormEnd how);
  void GenerateSerial();
  void GenerateSeed();
  void SaveToken();

  // What the main window reads once the form has closed: part of the state.
  const NewTokenResult& Result() const { return state_; }

 private:
  void ReadFields();
  void WriteFields();
  void Refuse(const SaveRefusal& refusal);
  void TellWhenKeySerialIsTaken();
  void ExportSeed(const TokenRecord& record);
  void SettleFailedWrite(const TokenRecord& record);
  std::string KeySerial();

  INewTokenFormControls& controls_;
  ITokenLibrary& library_;
  SeedFolder& seeds_;
  NewTokenFormServices services_;
  NewTokenFormState state_;
  std::unique_ptr<SaveJournal> journal_;  // of the save begun, if any
};
