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
#include "support/scripted_token_library.h"

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
    return Step(IDC_SERIAL_NUMBER, failReadAt, failedControlId, [&] { state.serialText = shown.serial; }) &&
           Step(IDC_SEED, failReadAt, failedControlId, [&] { state.seedText = shown.seed; }) &&
           Step(IDC_USER_NAME, failReadAt, failedControlId, [&] { state.userName = shown.userName; }) &&
           Step(IDC_HASH_SHA1, failReadAt, failedControlId, [&] { state.hashChoice = shown.hash; }) &&
           Step(IDC_DIGITS_6, failReadAt, failedControlId, [&] { state.digitsChoice = shown.digits; }) &&
           Step(IDC_ALGORITHM_HOTP, failReadAt, failedControlId, [&] { state.algorithmChoice = shown.algorithm; }) &&
           Step(IDC_INTERVAL_30, failReadAt, failedControlId, [&] { state.intervalChoice = shown.interval; }) &&
           Step(IDC_APPEND_ENTER, failReadAt, failedControlId, [&] { state.appendEnter = shown.appendEnter; });
  }

  bool WriteFields(const NewTokenFormState& state, int& failedControlId) override {
    NoteCall();
    ++writes;
    return Step(IDC_SERIAL_NUMBER, failWriteAt, failedControlId, [&] { shown.serial = state.serialText; }) &&
           Step(IDC_SEED, failWriteAt, failedControlId, [&] { shown.seed = state.seedText; }) &&
           Step(IDC_USER_NAME, failWriteAt, failedControlId, [&] { shown.userName = state.userName; }) &&
           Step(IDC_HASH_SHA1, failWriteAt, failedControlId, [&] { shown.hash = state.hashChoice; }) &&
           Step(IDC_DIGITS_6, failWriteAt, failedControlId, [&] { shown.digits = state.digitsChoice; }) &&
           Step(IDC_ALGORITHM_HOTP, failWriteAt, failedControlId, [&] { shown.algorithm = state.algorithmChoice; }) &&
           Step(IDC_INTERVAL_30, failWriteAt, failedControlId, [&] { shown.interval = state.intervalChoice; }) &&
           Step(IDC_APPEND_ENTER, failWriteAt, failedControlId, [&] { shown.appendEnter = state.appendEnter; });
  }

  void Beep() override { NoteCall(); ++beeps; }
  void Focus(int controlId) override { NoteCall(); focusedId = controlId; }
  void EnableSave(bool enabled) override { NoteCall(); saveEnabled = enabled; }
  void EndForm(int result) override {
    NoteCall();
    endResult = result;
  }

 private:
  template <typename Apply>
  static bool Step(int controlId, int failAt, int& failedControlId, Apply apply) {
    if (controlId == failAt) {
      failedControlId = controlId;
      return false;
    }
    apply();
    return true;
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
