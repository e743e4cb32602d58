// The window logic talks to the key through this interface, so that tests can
// put a scripted library in place of the loaded DLL.
#pragma once

#include <string>

#include "vendor/cv_manager.h"

class ITokenLibrary {
 public:
  virtual ~ITokenLibrary() = default;

  virtual CvStatus ListDevice(std::uint32_t* output) = 0;
  virtual CvStatus GetDeviceInfo(DeviceInfo* info) = 0;
  virtual CvStatus OtpList(std::uint32_t selector, TokenRecord* records) = 0;
  virtual CvStatus OtpCalculate(TokenRecord token, const char* challenge, std::uint32_t challengeLength, char* otp,
                                std::uint32_t* otpLength) = 0;
  virtual CvStatus OtpPersonalize(TokenRecord token, std::uint32_t option) = 0;
  virtual CvStatus OtpReset() = 0;
  virtual CvStatus OtpSetValueWithEnter(std::uint32_t appendEnter) = 0;
};
