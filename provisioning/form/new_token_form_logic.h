// The New Token form's behaviour: defaults, the two Generate buttons, Save
// and closing, written against INewTokenFormControls so that it runs and is
// tested without a window.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "provisioning/form/new_token_form_controls.h"
#include "provisioning/form/new_token_form_state.h"
#include "provisioning/form/save_refusal.h"
#include "provisioning/form/unused_serial.h"
#include "provisioning/form/new_token_result.h"
#include "provisioning/seed_files/save_journal.h"
#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_folder_context.h"
#include "vendor/token_library.h"

// The form's sources of random material and its seed export; tests replace them.
struct NewTokenFormServices {
  std::function<bool(char* buffer)> generateSerialNumber;
  std::function<bool(std::uint8_t* buffer, std::int32_t count)> generateSeedBytes;
  std::function<SeedExportReport(const std::filesystem::path& folder, const ExportedToken& token)> appendSeedFiles;
  // The journal of one save, begun before the key is written. Unset:
  // nothing is recorded.
  std::function<std::unique_ptr<SaveJournal>()> newSaveJournal;
  // What the run knows of the seed files already; none: the form reads
  // them for itself.
  std::shared_ptr<SeedFileCache> seedFileCache;

  // The secure generators, the real seed files and the real journal; a kept
  // leftover that the run of `seeds` reported already is not reported again,
  // and what the run read of the seed files is not read again.
  static NewTokenFormServices Standard(const SeedFolderContext& seeds);
  // The same with a memory of reported leftovers and a cache of their own.
  static NewTokenFormServices Standard();
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
  SeedFileSerialCache serials_;           // the seed files' serials, between clicks
  std::unique_ptr<SaveJournal> journal_;  // of the save begun, if any
};
