// Scripted stand-ins for the New Token form's window and services; the key
// is the shared ScriptedTokenLibrary.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "provisioning/form/new_token_form_controls.h"
#include "provisioning/form/new_token_form_logic.h"
#include "provisioning/seed_files/seed_folder.h"
#include "tests/support/scripted_token_library.h"
#include "tests/support/temp_folder.h"

namespace form_test {

// The controls as the operator sees them, with steps that can be made to fail.
class FakeFormControls : public INewTokenFormControls {
 public:
  struct Shown {
    MessageText serial, seed, userName;
    std::int32_t hash = kNoChoice, digits = kNoChoice, algorithm = kNoChoice, interval = kNoChoice;
    bool appendEnter = false;
  } shown;

  bool saveEnabled = false;  // as in the template
  std::optional<FormField> focused;
  struct Tip {
    FormField field;
    MessageText title, text;
  };
  std::vector<Tip> tips;
  int beeps = 0;
  std::optional<FormEnd> ended;
  int callsAfterEnd = 0;
  std::optional<FormField> failReadAt;   // the read step that fails
  std::optional<FormField> failWriteAt;  // likewise for writes
  int writes = 0;

  bool ReadFields(NewTokenFormState& state, FormField& failedField) override {
    NoteCall();
    return Transfer(state, true, failReadAt, failedField);
  }

  bool WriteFields(const NewTokenFormState& state, FormField& failedField) override {
    NoteCall();
    ++writes;
    NewTokenFormState source = state;
    return Transfer(source, false, failWriteAt, failedField);
  }

  void Beep() override {
    NoteCall();
    ++beeps;
  }
  void Focus(FormField field) override {
    NoteCall();
    focused = field;
  }
  void ShowTip(FormField field, const MessageText& title, const MessageText& text) override {
    NoteCall();
    tips.push_back({field, title, text});
  }
  void EnableSave(bool enabled) override {
    NoteCall();
    saveEnabled = enabled;
  }
  void EndForm(FormEnd how) override {
    NoteCall();
    ended = how;
  }

 private:
  // Field by field in the window's order, stopping at the one made to fail.
  bool Transfer(NewTokenFormState& state, bool toState, std::optional<FormField> failAt, FormField& failedField) {
    auto field = [&](FormField which, auto& inState, auto& onScreen) {
      if (which == failAt) {
        failedField = which;
        return false;
      }
      if (toState)
        inState = onScreen;
      else
        onScreen = inState;
      return true;
    };
    return field(FormField::SerialNumber, state.serialText, shown.serial) &&
           field(FormField::Seed, state.seedText, shown.seed) &&
           field(FormField::UserName, state.userName, shown.userName) &&
           field(FormField::Hash, state.hashChoice, shown.hash) &&
           field(FormField::Digits, state.digitsChoice, shown.digits) &&
           field(FormField::Algorithm, state.algorithmChoice, shown.algorithm) &&
           field(FormField::TimeInterval, state.intervalChoice, shown.interval) &&
           field(FormField::AppendEnter, state.appendEnter, shown.appendEnter);
  }
  void NoteCall() {
    if (ended) ++callsAfterEnd;
  }
};

// A seed folder of its own whose export only records: serials are checked
// and reserved for real.
class ScriptedSeedFolder : public SeedFolder {
 public:
  using SeedFolder::SeedFolder;
  std::vector<std::pair<std::filesystem::path, ExportedToken>> exports;
  std::vector<MessageText> exportFailureLines;
  SeedFileSet exportWritten{true, true};

  SeedExportReport Export(const ExportedToken& token) override {
    exports.emplace_back(Path(), token);
    return SeedExportReport{exportFailureLines, exportWritten};
  }
};

// Generators with known output, and a seed folder whose export only records.
struct ScriptedServices {
  std::string serial = "0000123456789";
  bool serialFails = false;
  bool seedFails = false;
  std::uint8_t nextSeedByte = 0xA0;  // each seed continues where the last one ended
  std::vector<std::int32_t> seedCounts;
  TempFolder folder;
  ScriptedSeedFolder seeds{folder.Path()};
  std::vector<std::pair<std::filesystem::path, ExportedToken>>& exports = seeds.exports;
  std::vector<MessageText>& exportFailureLines = seeds.exportFailureLines;
  SeedFileSet& exportWritten = seeds.exportWritten;

  NewTokenFormServices Bind() {
    NewTokenFormServices services;
    services.generateSerialNumber = [this](char* buffer) {
      if (serialFails) return false;
      std::memcpy(buffer, serial.data(), serial.size());
      return true;
    };
    services.generateSeedBytes = [this](std::uint8_t* buffer, std::int32_t count) {
      seedCounts.push_back(count);
      if (seedFails) {
        std::memset(buffer, 0xEE, static_cast<std::size_t>(count));  // garbage, must not be used
        return false;
      }
      for (std::int32_t i = 0; i < count; ++i) buffer[i] = nextSeedByte++;
      return true;
    };
    return services;
  }
};

}  // namespace form_test
