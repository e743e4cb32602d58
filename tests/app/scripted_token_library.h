// A token library that answers from a script and remembers what it was asked,
// so the real main window can be driven without a key.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "vendor/token_library.h"

inline TokenRecord MakeTokenRecord(const char* serial, std::uint32_t type, std::uint32_t hash,
                                   std::uint32_t digits, std::uint32_t timeStep) {
  TokenRecord record{};
  record.type = type;
  record.hashAlgorithm = hash;
  record.digits = digits;
  record.timeStep = timeStep;
  std::strncpy(record.serial, serial, sizeof record.serial - 1);
  return record;
}

class ScriptedTokenLibrary : public ITokenLibrary {
 public:
  // Script.
  CvStatus listDeviceStatus = CV_ERR_NO_DEVICE;
  CvStatus listStatus = CV_OK;
  std::vector<TokenRecord> tokens;
  CvStatus resetStatus = CV_OK;
  CvStatus setEnterStatus = CV_OK;
  std::function<void()> duringReset;  // runs while the "key" is awaited

  // Record.
  int listCalls = 0;
  std::vector<std::uint32_t> setEnterValues;

  CvStatus ListDevice(std::uint32_t* output) override {
    *output = 0;
    return listDeviceStatus;
  }
  CvStatus GetDeviceInfo(DeviceInfo* info) override {
    *info = DeviceInfo{};
    return CV_OK;
  }
  CvStatus OtpList(std::uint32_t /*selector*/, TokenRecord* records) override {
    ++listCalls;
    if (listStatus != CV_OK) {
      return listStatus;
    }
    for (std::size_t i = 0; i < tokens.size() && i < kMaxTokens; ++i) {
      records[i] = tokens[i];
    }
    return CV_OK;
  }
  CvStatus OtpCalculate(TokenRecord, const char*, std::uint32_t, char* otp, std::uint32_t*) override {
    std::strcpy(otp, "123456");
    return CV_OK;
  }
  CvStatus OtpPersonalize(TokenRecord, std::uint32_t) override { return CV_OK; }
  CvStatus OtpReset() override {
    if (duringReset) {
      duringReset();
    }
    return resetStatus;
  }
  CvStatus OtpSetValueWithEnter(std::uint32_t appendEnter) override {
    setEnterValues.push_back(appendEnter);
    return setEnterStatus;
  }
};
