#include "virtualkey/virtual_key.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "virtualkey/otp_algorithms.h"

namespace {

template <std::size_t N>
void CopyText(char (&target)[N], const char* text) {
  std::strncpy(target, text, N - 1);
  target[N - 1] = '\0';
}

std::optional<HmacHash> HashOf(const TokenRecord& record) {
  if (record.hashAlgorithm == HASH_SHA1) return HmacHash::Sha1;
  if (record.hashAlgorithm == HASH_SHA256) return HmacHash::Sha256;
  return std::nullopt;
}

bool HasSupportedDigits(const TokenRecord& record) { return record.digits >= 6 && record.digits <= 8; }

// Whether the key can hold and compute this record.
bool IsSupportedRecord(const TokenRecord& record) {
  const auto serial = TerminatedSerial(record);
  if (!serial || serial->empty()) return false;
  switch (record.type) {
    case HOTP:
    case CHALLENGE_RESPONSE: return HashOf(record) && HasSupportedDigits(record);
    case TOTP: return HashOf(record) && HasSupportedDigits(record) && record.timeStep >= 1;
    case STATIC_PASSWORD: return StaticPassword(record).has_value();
    default: return false;
  }
}

struct ComputedOtp {
  CvStatus status = CV_OK;
  std::string text;
};

ComputedOtp Fail(CvStatus status) { return {status, {}}; }

ComputedOtp FromOptional(const std::optional<std::string>& text) {
  return text ? ComputedOtp{CV_OK, *text} : Fail(VK_ERR_INTERNAL);
}

// Computes the OTP of a stored token; HOTP advances the token's counter.
ComputedOtp ComputeOtp(StoredToken& token, const char* challenge, std::uint32_t challengeLength) {
  const TokenRecord& r = token.record;
  if (!IsSupportedRecord(r)) return Fail(VK_ERR_INVALID_PARAMETER);
  switch (r.type) {
    case HOTP: return FromOptional(ComputeHotp(*HashOf(r), r.seed, sizeof r.seed, token.counter++, r.digits));
    case TOTP: {
      const auto utc = ChallengeToUtcSeconds(challenge, challengeLength);
      if (!utc) return Fail(VK_ERR_BAD_CHALLENGE);
      return FromOptional(ComputeHotp(*HashOf(r), r.seed, sizeof r.seed, TotpCounter(*utc, r.timeStep), r.digits));
    }
    case CHALLENGE_RESPONSE: {
      if (challengeLength > kChallengeBufferSize || (challengeLength != 0 && challenge == nullptr)) {
        return Fail(VK_ERR_BAD_CHALLENGE);
      }
      return FromOptional(ComputeTruncatedOtp(*HashOf(r), r.seed, sizeof r.seed,
                                              reinterpret_cast<const std::uint8_t*>(challenge), challengeLength,
                                              r.digits));
    }
    default: return FromOptional(StaticPassword(r));
  }
}

// Validation that needs no state: done before the touch.
bool IsValidChallengeFor(const TokenRecord& r, const char* challenge, std::uint32_t length) {
  if (r.type == TOTP) return ChallengeToUtcSeconds(challenge, length).has_value();
  if (r.type == CHALLENGE_RESPONSE) {
    return length <= kChallengeBufferSize && (length == 0 || challenge != nullptr);
  }
  return true;
}

}  // namespace

std::optional<std::string> StaticPassword(const TokenRecord& record) {
  const auto* begin = reinterpret_cast<const char*>(record.seed);
  const std::string password(begin, strnlen(begin, sizeof record.seed));
  if (password.empty()) return std::nullopt;
  for (char c : password) {
    if (c < 0x20 || c > 0x7E) return std::nullopt;
  }
  return password;
}

void VirtualKey::Report(const std::string& problem) const {
  std::fprintf(stderr, "virtual key: %s\n", problem.c_str());
}

CvStatus VirtualKey::Load(KeyState& state) {
  std::string problem;
  switch (file_.Load(state, problem)) {
    case StateLoadOutcome::Corrupt: Report(problem); return VK_ERR_STATE_CORRUPT;
    case StateLoadOutcome::Unreadable: Report(problem); return VK_ERR_STATE_IO;
    case StateLoadOutcome::Loaded: break;
  }
  return CV_OK;
}

CvStatus VirtualKey::Begin(const char* function, KeyState& state) {
  if (const CvStatus status = Load(state)) return status;
  const auto forced = state.forcedStatuses.find(function);
  if (forced != state.forcedStatuses.end()) return forced->second;
  if (!state.plugged) return CV_ERR_NO_DEVICE;
  if (state.deviceCount >= 2) return CV_ERR_MULTIPLE_DEVICES;
  return CV_OK;
}

// A call with nothing to save reads without the lock: a save replaces the
// whole file at once. One with something to save makes its change again on
// the state read under the lock, and saves that.
CvStatus VirtualKey::Finish(const char* function, const Change& change) {
  FileLock lock;
  for (bool locked = false;; locked = true) {
    KeyState state;
    if (const CvStatus status = Load(state)) return status;
    if (!state.plugged || state.forcedStatuses.count(function) != 0) return CV_ERR_NO_DEVICE;
    bool save = false;
    if (const CvStatus status = change(state, save)) return status;
    if (!save) return CV_OK;
    if (locked) {
      if (const CvStatus saved = Save(state)) return saved;
      const auto lost = state.failuresAfterWrite.find(function);
      return lost == state.failuresAfterWrite.end() ? CV_OK : lost->second;
    }
    std::string problem;
    if (!file_.Lock(lock, problem)) {
      Report(problem);
      return VK_ERR_STATE_IO;
    }
  }
}

CvStatus VirtualKey::WaitForTouch(const KeyState& state) {
  switch (state.touchMode) {
    case TouchMode::Timeout: return VK_ERR_TOUCH_TIMEOUT;
    case TouchMode::Delay: std::this_thread::sleep_for(std::chrono::milliseconds(state.touchDelayMs)); return CV_OK;
    case TouchMode::Ok: break;
  }
  return CV_OK;
}

CvStatus VirtualKey::Save(const KeyState& state) {
  std::string problem;
  if (file_.Save(state, problem)) return CV_OK;
  Report(problem);
  return VK_ERR_STATE_IO;
}

CvStatus VirtualKey::ListDevice(std::uint32_t* output) {
  KeyState state;
  if (const CvStatus status = Begin("CV_ListDevice", state)) return status;
  if (output != nullptr) *output = state.deviceCount;
  return CV_OK;
}

CvStatus VirtualKey::GetDeviceInfo(DeviceInfo* info) {
  KeyState state;
  if (const CvStatus status = Begin("CV_GetDeviceInfo", state)) return status;
  if (info == nullptr) return VK_ERR_INVALID_PARAMETER;
  *info = DeviceInfo{};
  info->protocol = PROTOCOL_HID_CCID_OTP;
  info->pid = kVirtualKeyProductId;
  info->vid = kVirtualKeyVendorId;
  CopyText(info->cosVersion, "1.2.0");
  CopyText(info->fidoVersion, "2.1");
  CopyText(info->pivVersion, "1.0");
  CopyText(info->openPgpVersion, "3.4");
  CopyText(info->otpVersion, "1.1");
  CopyText(info->sn, state.serialNumber.c_str());
  CopyText(info->deviceName, "Corvane/Meridia Virtual Key");
  return CV_OK;
}

CvStatus VirtualKey::OtpList(std::uint32_t /*selector*/, TokenRecord* records) {
  KeyState state;
  if (const CvStatus status = Begin("CV_OTP_List", state)) return status;
  if (records == nullptr) return VK_ERR_INVALID_PARAMETER;
  for (std::size_t i = 0; i < kMaxTokens; ++i) {
    records[i] = i < state.tokens.size() ? state.tokens[i].record : TokenRecord{};
    std::memset(records[i].seed, 0, sizeof records[i].seed);  // seeds never leave the key
  }
  return CV_OK;
}

CvStatus VirtualKey::OtpCalculate(TokenRecord token, const char* challenge, std::uint32_t challengeLength, char* otp,
                                  std::uint32_t* otpLength) {
  KeyState state;
  if (const CvStatus status = Begin("CV_OTP_Calculate", state)) return status;
  const auto serial = TerminatedSerial(token);
  if (otp == nullptr || !serial) return VK_ERR_INVALID_PARAMETER;
  StoredToken* stored = FindToken(state, *serial);
  if (stored == nullptr) return VK_ERR_TOKEN_NOT_FOUND;
  if (!IsSupportedRecord(stored->record)) return VK_ERR_INVALID_PARAMETER;
  if (!IsValidChallengeFor(stored->record, challenge, challengeLength)) return VK_ERR_BAD_CHALLENGE;
  if (const CvStatus status = WaitForTouch(state)) return status;

  ComputedOtp computed;
  const CvStatus status = Finish("CV_OTP_Calculate", [&](KeyState& now, bool& save) {
    StoredToken* current = FindToken(now, *serial);
    if (current == nullptr) return VK_ERR_TOKEN_NOT_FOUND;
    computed = ComputeOtp(*current, challenge, challengeLength);
    if (computed.status != CV_OK) return computed.status;
    if (computed.text.size() >= kOtpBufferSize) return VK_ERR_INTERNAL;
    // A counter that could not be saved would hand out the same OTP again.
    save = current->record.type == HOTP;
    return CV_OK;
  });
  if (status != CV_OK) return status;
  std::memcpy(otp, computed.text.c_str(), computed.text.size() + 1);
  if (otpLength != nullptr) *otpLength = static_cast<std::uint32_t>(computed.text.size());
  return CV_OK;
}

CvStatus VirtualKey::OtpPersonalize(TokenRecord token, std::uint32_t /*option*/) {
  KeyState state;
  if (const CvStatus status = Begin("CV_OTP_Personalize", state)) return status;
  if (!IsSupportedRecord(token)) return VK_ERR_INVALID_PARAMETER;
  if (FindToken(state, token.serial) == nullptr && state.tokens.size() >= kMaxTokens) {
    return VK_ERR_KEY_FULL;
  }
  if (const CvStatus status = WaitForTouch(state)) return status;
  return Finish("CV_OTP_Personalize", [&](KeyState& now, bool& save) {
    StoredToken stored;
    stored.record = token;
    if (!StoreAsActiveToken(now, stored)) return VK_ERR_KEY_FULL;
    save = true;
    return CV_OK;
  });
}

CvStatus VirtualKey::OtpReset() {
  KeyState state;
  if (const CvStatus status = Begin("CV_OTP_Reset", state)) return status;
  if (const CvStatus status = WaitForTouch(state)) return status;
  return Finish("CV_OTP_Reset", [](KeyState& now, bool& save) {
    now.tokens.clear();
    save = true;
    return CV_OK;
  });
}

CvStatus VirtualKey::OtpSetValueWithEnter(std::uint32_t appendEnter) {
  KeyState state;
  if (const CvStatus status = Begin("CV_OTP_SetValueWithEnter", state)) return status;
  return Finish("CV_OTP_SetValueWithEnter", [&](KeyState& now, bool& save) {
    now.appendEnter = appendEnter != 0;
    save = true;
    return CV_OK;
  });
}
