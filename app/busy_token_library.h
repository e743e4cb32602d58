// The token library as the tool's windows use it: the calls that may wait
// for a touch of the key (Get OTP, Reset, the New Token form's "Save") run
// in a BusyScope, so that input made during the wait does not act afterwards.
#pragma once

#include "vendor/token_library.h"

class BusyTokenLibrary : public ITokenLibrary {
 public:
  explicit BusyTokenLibrary(ITokenLibrary& library) : library_(library) {}

  CvStatus ListDevice(std::uint32_t* output) override;
  CvStatus GetDeviceInfo(DeviceInfo* info) override;
  CvStatus OtpList(std::uint32_t selector, TokenRecord* records) override;
  CvStatus OtpCalculate(TokenRecord token, const char* challenge, std::uint32_t challengeLength, char* otp,
                        std::uint32_t* otpLength) override;
  CvStatus OtpPersonalize(TokenRecord token, std::uint32_t option) override;
  CvStatus OtpReset() override;
  CvStatus OtpSetValueWithEnter(std::uint32_t appendEnter) override;

 private:
  ITokenLibrary& library_;
};
