// CV_Manager.dll: the seven library functions, each acting on the virtual
// key's state file. Nothing is kept in memory between calls, and no
// exception leaves the DLL.
#include <new>

#include "vendor/cv_manager.h"
#include "vendor/module_path_win.h"
#include "virtualkey/state_location_win.h"
#include "virtualkey/virtual_key.h"

namespace {

const int kInsideThisDll = 0;

template <typename Operation>
CvStatus WithKey(Operation operation) {
  try {
    const auto statePath = VirtualKeyStatePath(ModuleContaining(&kInsideThisDll));
    if (!statePath) return VK_ERR_STATE_IO;
    VirtualKey key(*statePath);
    return operation(key);
  } catch (...) {
    return VK_ERR_INTERNAL;
  }
}

}  // namespace

extern "C" {

CvStatus CV_CALL CV_ListDevice(std::uint32_t* output) {
  return WithKey([&](VirtualKey& key) { return key.ListDevice(output); });
}

CvStatus CV_CALL CV_GetDeviceInfo(DeviceInfo* info) {
  return WithKey([&](VirtualKey& key) { return key.GetDeviceInfo(info); });
}

CvStatus CV_CALL CV_OTP_List(std::uint32_t selector, TokenRecord* records) {
  return WithKey([&](VirtualKey& key) { return key.OtpList(selector, records); });
}

CvStatus CV_CALL CV_OTP_Calculate(TokenRecord token, const char* challenge, std::uint32_t challengeLength, char* otp,
                                  std::uint32_t* otpLength) {
  return WithKey([&](VirtualKey& key) { return key.OtpCalculate(token, challenge, challengeLength, otp, otpLength); });
}

CvStatus CV_CALL CV_OTP_Personalize(TokenRecord token, std::uint32_t option) {
  return WithKey([&](VirtualKey& key) { return key.OtpPersonalize(token, option); });
}

CvStatus CV_CALL CV_OTP_Reset(void) {
  return WithKey([](VirtualKey& key) { return key.OtpReset(); });
}

CvStatus CV_CALL CV_OTP_SetValueWithEnter(std::uint32_t appendEnter) {
  return WithKey([&](VirtualKey& key) { return key.OtpSetValueWithEnter(appendEnter); });
}

}  // extern "C"
