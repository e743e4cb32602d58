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
#include "resources/resource.h"
#include "tests/support/scripted_token_library.h"

namespace form_test {

// The controls as the operator sees them, with steps that can be made to fail.
class FakeFormControls : public INewTokenFormControls {
 public:
  struct Shown {
    MessageText serial, seed, userName;
    std::int32_t hash = kNoChoice, digits = kNoChoice, algorithm = kNoChoice,
                 interval = kNoChoice;
    bool appendEnter = false;
  } shown;

  bool saveEnabled = false;  // as in the template
  int focusedId = 0;
  int beeps = 0;
  std::optional<int> endResult;
  int callsAfterEnd = 0;
  int failReadAt = 0;   // control id of the read step that fails; 0 none
  int failWriteAt = 0;  // likewise for writes
  int writes = 0;

  bool ReadFields(NewTokenFormState& state, int& failedControlId) override {
    NoteCall();
    return Transfer(state, true, failReadAt, failedControlId);
  }

  bool WriteFields(const NewTokenFormState& state, int& failedControlId) override {
    NoteCall();
    ++writes;
    NewTokenFormState source = state;
    return Transfer(source, false, failWriteAt, failedControlId);
  }

  void Beep() override { NoteCall(); ++beeps; }
  void Focus(int controlId) override { NoteCall(); focusedId = controlId; }
  void EnableSave(bool enabled) override { NoteCall(); saveEnabled = enabled; }
  void EndForm(int result) override {
    NoteCall();
    endResult = result;
  }

 private:
  // Field by field in the window's order, stopping at the one made to fail.
  bool Transfer(NewTokenFormState& state, bool toState, int failAt, int& failedControlId) {
    auto field = [&](int id, auto& inState, auto& onScreen) {
      if (id == failAt) {
        failedControlId = id;
        return false;
      }
      if (toState) inState = onScreen; else onScreen = inState;
      return true;
    };
    return field(IDC_SERIAL_NUMBER, state.serialText, shown.serial) &&
           field(IDC_SEED, state.seedText, shown.seed) &&
           field(IDC_USER_NAME, state.userName, shown.userName) &&
           field(IDC_HASH_SHA1, state.hashChoice, shown.hash) &&
           field(IDC_DIGITS_6, state.digitsChoice, shown.digits) &&
           field(IDC_ALGORITHM_HOTP, state.algorithmChoice, shown.algorithm) &&
           field(IDC_INTERVAL_30, state.intervalChoice, shown.interval) &&
           field(IDC_APPEND_ENTER, state.appendEnter, shown.appendEnter);
  }
  void NoteCall() {
    if (endResult) ++callsAfterEnd;
  }
};

// Generators with known output and a seed export that only records.
struct ScriptedServices {
  std::string serial = "0000123456789";
  bool serialFails = false;
  bool seedFails = false;
  std::uint8_t nextSeedByte = 0xA0;  // each seed continues where the last one ended
  std::vector<std::int32_t> seedCounts;
  std::vector<std::pair<std::filesystem::path, ExportedToken>> exports;
  std::vector<MessageText> exportFailureLines;

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
    services.appendSeedFiles = [this](const std::filesystem::path& folder, const ExportedToken& token) {
      exports.emplace_back(folder, token);
      return exportFailureLines;
    };
    return services;
  }
};

}  // namespace form_test
