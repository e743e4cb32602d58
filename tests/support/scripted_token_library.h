// A token library that answers from a script and records what it was asked,
// so the window logic, the New Token form and the real windows can be driven
// without a key. Every call answers CV_OK unless scripted otherwise; a test
// that must catch an unexpected call scripts a telling status or checks `events`.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "vendor/token_library.h"

inline TokenRecord MakeTokenRecord(const char* serial, std::uint32_t type = HOTP, std::uint32_t hash = HASH_SHA1,
                                   std::uint32_t digits = 6, std::uint32_t timeStep = 30) {
  TokenRecord record{};
  record.type = type;
  record.hashAlgorithm = hash;
  record.digits = digits;
  record.timeStep = timeStep;
  std::strncpy(record.serial, serial, sizeof record.serial - 1);
  return record;
}

struct CalculateCall {
  TokenRecord token;
  std::string challenge;  // the bytes up to challengeLength
  bool challengeTerminated;
  std::uint32_t challengeLength;
};

// Returned for calls made with arguments the real library would reject.
constexpr CvStatus kBadArguments = 0xDEADBEEF;

class ScriptedTokenLibrary : public ITokenLibrary {
 public:
  ScriptedTokenLibrary() = default;
  // The hooks usually capture the test's fixture.
  ScriptedTokenLibrary(const ScriptedTokenLibrary&) = delete;
  ScriptedTokenLibrary& operator=(const ScriptedTokenLibrary&) = delete;

  // Script.
  CvStatus listDeviceStatus = CV_OK;
  CvStatus deviceInfoStatus = CV_OK;
  DeviceInfo deviceInfo{};  // what GetDeviceInfo writes on CV_OK
  CvStatus listStatus = CV_OK;
  std::vector<TokenRecord> tokens;  // what OtpList writes (at most 20)
  CvStatus calculateStatus = CV_OK;
  std::string otpBytes = "123456";  // written without an extra NUL
  CvStatus personalizeStatus = CV_OK;
  CvStatus resetStatus = CV_OK;
  CvStatus setEnterStatus = CV_OK;
  // Run inside the call, while the "key" is awaited: what the caller shows meanwhile.
  std::function<void()> duringPersonalize;
  std::function<void()> duringReset;

  // Record.
  std::vector<std::string>* events = nullptr;  // call names, in a list other fakes may share
  int listCalls = 0;
  std::vector<std::uint32_t> listSelectors;
  bool everyListingBufferZeroed = true;
  bool deviceInfoZeroedOnEntry = true;
  std::vector<CalculateCall> calculateCalls;
  std::vector<std::pair<TokenRecord, std::uint32_t>> personalized;
  std::vector<std::uint32_t> setEnterValues;

  void SetSerial(const char* sn) {
    std::memset(deviceInfo.sn, 0, sizeof deviceInfo.sn);
    std::memcpy(deviceInfo.sn, sn, std::min(std::strlen(sn), sizeof deviceInfo.sn));
  }

  CvStatus ListDevice(std::uint32_t* output) override {
    Note("ListDevice");
    if (output == nullptr || *output != 0) return kBadArguments;
    return listDeviceStatus;
  }

  CvStatus GetDeviceInfo(DeviceInfo* info) override {
    Note("GetDeviceInfo");
    const DeviceInfo zero{};
    if (std::memcmp(info, &zero, sizeof zero) != 0) deviceInfoZeroedOnEntry = false;
    if (deviceInfoStatus == CV_OK) *info = deviceInfo;
    return deviceInfoStatus;
  }

  CvStatus OtpList(std::uint32_t selector, TokenRecord* records) override {
    Note("OtpList");
    ++listCalls;
    listSelectors.push_back(selector);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(records);
    if (!std::all_of(bytes, bytes + kMaxTokens * sizeof(TokenRecord), [](std::uint8_t b) { return b == 0; })) {
      everyListingBufferZeroed = false;
    }
    if (listStatus != CV_OK) return listStatus;
    const std::size_t count = std::min(tokens.size(), kMaxTokens);
    if (count > 0) std::memcpy(records, tokens.data(), count * sizeof(TokenRecord));
    return CV_OK;
  }

  CvStatus OtpCalculate(TokenRecord token, const char* challenge, std::uint32_t challengeLength, char* otp,
                        std::uint32_t* otpLength) override {
    Note("OtpCalculate");
    calculateCalls.push_back(
        {token, std::string(challenge, challengeLength), challenge[challengeLength] == '\0', challengeLength});
    if (otpLength == nullptr || *otpLength != 0) return kBadArguments;
    if (calculateStatus == CV_OK) {
      std::memcpy(otp, otpBytes.data(), std::min(otpBytes.size(), kOtpBufferSize));
    }
    return calculateStatus;
  }

  CvStatus OtpPersonalize(TokenRecord token, std::uint32_t option) override {
    Note("OtpPersonalize");
    personalized.emplace_back(token, option);
    if (duringPersonalize) duringPersonalize();
    return personalizeStatus;
  }

  CvStatus OtpReset() override {
    Note("OtpReset");
    if (duringReset) duringReset();
    return resetStatus;
  }

  CvStatus OtpSetValueWithEnter(std::uint32_t appendEnter) override {
    Note("OtpSetValueWithEnter");
    setEnterValues.push_back(appendEnter);
    return setEnterStatus;
  }

 private:
  void Note(const char* call) {
    if (events) events->push_back(call);
  }
};
