#include "app/busy_token_library.h"

#include "framework/busy_scope.h"

CvStatus BusyTokenLibrary::ListDevice(std::uint32_t* output) { return library_.ListDevice(output); }

CvStatus BusyTokenLibrary::GetDeviceInfo(DeviceInfo* info) { return library_.GetDeviceInfo(info); }

CvStatus BusyTokenLibrary::OtpList(std::uint32_t selector, TokenRecord* records) {
  return library_.OtpList(selector, records);
}

CvStatus BusyTokenLibrary::OtpCalculate(TokenRecord token, const char* challenge, std::uint32_t challengeLength,
                                        char* otp, std::uint32_t* otpLength) {
  BusyScope busy;
  return library_.OtpCalculate(token, challenge, challengeLength, otp, otpLength);
}

CvStatus BusyTokenLibrary::OtpPersonalize(TokenRecord token, std::uint32_t option) {
  BusyScope busy;
  return library_.OtpPersonalize(token, option);
}

CvStatus BusyTokenLibrary::OtpReset() {
  BusyScope busy;
  return library_.OtpReset();
}

CvStatus BusyTokenLibrary::OtpSetValueWithEnter(std::uint32_t appendEnter) {
  return library_.OtpSetValueWithEnter(appendEnter);
}
