// A stand-in CV_Manager.dll that lacks two of the seven functions, to check
// that the loader names what is missing and still binds the rest.
#include "vendor/cv_manager.h"

extern "C" {

CvStatus CV_CALL CV_ListDevice(std::uint32_t* output) {
  if (output != nullptr) *output = 1;
  return CV_OK;
}

CvStatus CV_CALL CV_GetDeviceInfo(DeviceInfo* info) {
  if (info != nullptr) info->vid = 0x096E;
  return CV_OK;
}

CvStatus CV_CALL CV_OTP_List(std::uint32_t, TokenRecord*) { return 0x80435677; }

CvStatus CV_CALL CV_OTP_Calculate(TokenRecord token, const char*, std::uint32_t challengeLength, char* otp,
                                  std::uint32_t*) {
  // Echoes what crossed the boundary, to check the by-value record and the
  // stdcall argument order.
  otp[0] = static_cast<char>('0' + token.digits);
  otp[1] = token.serial[0];
  otp[2] = static_cast<char>('0' + challengeLength % 10);
  otp[3] = '\0';
  return CV_OK;
}

CvStatus CV_CALL CV_OTP_Personalize(TokenRecord token, std::uint32_t option) {
  return 0x80430000u + token.timeStep * 16 + option;
}

}  // extern "C"
