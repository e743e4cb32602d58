// The New Token form's behaviour: defaults, the two Generate buttons, Save
// and closing, written against INewTokenFormControls so that it runs and is
// tested without a window.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "provisioning/form/new_token_form_controls.h"
#include "provisioning/form/new_token_form_state.h"
#include "provisioning/form/save_refusal.h"
#include "provisioning/form/unused_serial.h"
#include "provisioning/form/new_token_result.h"
#include "provisioning/seed_files/pending_save.h"
#include "provisioning/seed_files/seed_export.h"
#include "vendor/token_library.h"

// The form's sources of random material and its seed export; tests replace them.
struct NewTokenFormServices {
  std::function<bool(char* buffer)> generateSerialNumber;
  std::function<bool(std::uint8_t* buffer, std::int32_t count)> generateSeedBytes;
  std::function<SeedExportReport(const std::filesystem::path& folder, const ExportedToken& token)> appendSeedFiles;
  // Before the key is written: records the token durably beside the seed
  // files; the reason when it cannot, and then the key is not written.
  // Unset: nothing is recorded.
  std::function<std::optional<MessageText>(const std::filesystem::path& folder, const PendingSave& save)>
      recordPendingSave;
  // The key refused the token and does not list it: its record goes.
  std::function<void()> forgetPendingSave;
  // What the process knows of the seed files already; none: the form reads
  // them for itself.
  SeedFileCache* seedFileCache = nullptr;

  // The secure generators and the real seed files, known through `cache`;
  // the record of a save goes once appendSeedFiles wrote both files.
  static NewTokenFormServices Standard(SeedFileCache* cache = nullptr);
};

class NewTokenFormLogic {
 public:
  // `seedFolder` is where the seed export files live: the program's folder.
  NewTokenFormLogic(INewTokenFormControls& controls, ITokenLibrary& library, std::filesystem::path seedFolder,
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

  const NewTokenFormState& State() const { return state_; }
  // What the main window reads once the form has closed: part of the state.
  const NewTokenResult& Result() const { return state_; }

 private:
  void ReadFields();
  void WriteFields();
  void Refuse(const SaveRefusal& refusal);
  void ExportSeed(const TokenRecord& record);
  void SettleFailedWrite(const TokenRecord& record);
  std::string KeySerial();

  INewTokenFormControls& controls_;
  ITokenLibrary& library_;
  std::filesystem::path seedFolder_;
  NewTokenFormServices services_;
  NewTokenFormState state_;
  SeedFileSerialCache serials_;  // the seed files' serials, between clicks
};
