// The software key behind our CV_Manager.dll: the seven library functions
// over a state file. Each call reads the state afresh, applies the behaviour
// that the control program set, acts, and saves only what it changed itself.
//
// Behaviour, in the order it is checked on every call:
//  1. A corrupt state file fails with VK_ERR_STATE_CORRUPT (and a line on
//     stderr); an unreadable one with VK_ERR_STATE_IO.
//  2. A status forced for the function is returned as it is, nothing done.
//  3. Unplugged: CV_ERR_NO_DEVICE; two or more devices:
//     CV_ERR_MULTIPLE_DEVICES - for every function, not just CV_ListDevice.
//  4. Arguments: null buffers, a serial with no terminator in its 64 bytes
//     or an unsupported record fail with VK_ERR_INVALID_PARAMETER.
//  5. Calculate, Personalize and Reset wait for the touch: at once, after the
//     set delay, or never (VK_ERR_TOUCH_TIMEOUT).
//  6. Calculate and the calls that change the key finish on the state read
//     again after the touch. If the key was unplugged, or this function made
//     to fail, meanwhile, the key is gone for this call: CV_ERR_NO_DEVICE,
//     nothing changed. Otherwise only the call's own change is saved (the new
//     token, the cleared tokens, the HOTP counter's step, the ENTER setting)
//     on that state, under the state file's lock: whatever virtualkey or
//     another call changed meanwhile stays. A touch setting given during a
//     wait holds from the next call on; more keys plugged in meanwhile do not
//     disturb the call under way.
//
// Token types:
//  - HOTP: RFC 4226 with the token's counter, which then advances and is
//    stored; the OTP is only returned once the advanced counter is saved.
//  - TOTP: RFC 6238 from the time in the challenge (UTC + 8 h, exactly
//    "YYYY-MM-DD HH:MM:SS"); any other challenge: VK_ERR_BAD_CHALLENGE.
//  - CHALLENGE_RESPONSE: the truncated HMAC of the challenge bytes (at most
//    100), as many digits as the token has.
//  - STATIC_PASSWORD: the seed bytes up to the first zero, which must be
//    printable ASCII; that text is the OTP.
// Hash 1 (SHA-1) or 2 (SHA-256) and 6 to 8 digits for the computed types; a
// TOTP step of at least one second. The HMAC key is the whole 64-byte seed:
// its trailing zeros are exactly HMAC's own key padding, so a 20- or 32-byte
// seed gives the same OTPs as any other implementation.
//
// Personalize stores the token as the active one (record 0), replacing a
// token with the same serial; a 21st serial fails with VK_ERR_KEY_FULL and
// changes nothing. Calculate uses the token as it is after the touch: its
// counter may have moved, it may have been replaced or removed. CV_OTP_List
// never returns seeds: the record's seed bytes are zero.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "vendor/token_library.h"
#include "virtualkey/key_state.h"
#include "virtualkey/state_file.h"
#include "virtualkey/virtual_key_status.h"

class VirtualKey : public ITokenLibrary {
 public:
  explicit VirtualKey(std::filesystem::path statePath) : file_(std::move(statePath)) {}

  CvStatus ListDevice(std::uint32_t* output) override;
  CvStatus GetDeviceInfo(DeviceInfo* info) override;
  CvStatus OtpList(std::uint32_t selector, TokenRecord* records) override;
  CvStatus OtpCalculate(TokenRecord token, const char* challenge, std::uint32_t challengeLength, char* otp,
                        std::uint32_t* otpLength) override;
  CvStatus OtpPersonalize(TokenRecord token, std::uint32_t option) override;
  CvStatus OtpReset() override;
  CvStatus OtpSetValueWithEnter(std::uint32_t appendEnter) override;

 private:
  // Makes this call's own change on the current state; sets `save` when
  // there is something to save.
  using Change = std::function<CvStatus(KeyState& state, bool& save)>;

  // Step 1.
  CvStatus Load(KeyState& state);
  // Steps 1 to 3 above; CV_OK means go on with `state`.
  CvStatus Begin(const char* function, KeyState& state);
  // Step 5.
  static CvStatus WaitForTouch(const KeyState& state);
  // Step 6.
  CvStatus Finish(const char* function, const Change& change);
  CvStatus Save(const KeyState& state);
  void Report(const std::string& problem) const;

  StateFile file_;
};

// The static password of a STATIC_PASSWORD record, if its seed holds one.
std::optional<std::string> StaticPassword(const TokenRecord& record);
