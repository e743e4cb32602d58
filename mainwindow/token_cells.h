// The texts that one listed token shows in the token list's six columns.
#pragma once

#include "mainwindow/main_window_model.h"
#include "vendor/cv_manager.h"

enum TokenColumn : int {
  kSerialColumn = 0,
  kActiveColumn = 1,
  kTypeColumn = 2,
  kHashColumn = 3,
  kDigitsColumn = 4,
  kIntervalColumn = 5,
};

// The list ends at the first record whose serial is empty.
bool HasSerial(const TokenRecord& record);

// `active` marks the key's active token (the first row) with "X".
TokenRow MakeTokenRow(const TokenRecord& record, bool active);

MessageText TokenTypeText(std::uint32_t type);
MessageText HashAlgorithmText(std::uint32_t hashAlgorithm);
MessageText DigitsText(std::uint32_t digits);
MessageText TimeStepText(std::uint32_t timeStep);
