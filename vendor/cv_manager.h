// The maker's token-management library CV_Manager: its records, its status
// codes and its seven functions. Everything here is plain data shared by the
// tool, its tests and the virtual key that stands in for the real library.
#pragma once

#include <cstddef>
#include <cstdint>

// 32-bit vendor DLLs use stdcall; this is the one place that says so.
#if defined(_WIN32) && !defined(_WIN64)
#define CV_CALL __stdcall
#else
#define CV_CALL
#endif

using CvStatus = std::uint32_t;

constexpr CvStatus CV_OK = 0;
constexpr CvStatus CV_ERR_NO_DEVICE = 0x80435602;
constexpr CvStatus CV_ERR_MULTIPLE_DEVICES = 0x80435603;

// Statuses of our own loader, reported when the library or one of its
// functions could not be loaded. They lie outside every outcome table.
constexpr CvStatus CV_ERR_LIBRARY_MISSING = 0x8043FF01;
constexpr CvStatus CV_ERR_FUNCTION_MISSING = 0x8043FF02;

enum TokenType : std::uint32_t {
  HOTP = 0x10,
  TOTP = 0x20,
  STATIC_PASSWORD = 0x30,
  CHALLENGE_RESPONSE = 0x40,
};

enum HashAlgorithm : std::uint32_t {
  HASH_SHA1 = 1,
  HASH_SHA256 = 2,
};

enum DeviceProtocol : std::uint32_t {
  PROTOCOL_OTP = 0x10,
  PROTOCOL_HID = 0x20,
  PROTOCOL_CCID = 0x40,
  PROTOCOL_HID_OTP = PROTOCOL_HID | PROTOCOL_OTP,
  PROTOCOL_CCID_OTP = PROTOCOL_CCID | PROTOCOL_OTP,
  PROTOCOL_HID_CCID = PROTOCOL_HID | PROTOCOL_CCID,
  PROTOCOL_HID_CCID_OTP = PROTOCOL_HID | PROTOCOL_CCID | PROTOCOL_OTP,
};

constexpr std::size_t kMaxTokens = 20;
constexpr std::size_t kOtpBufferSize = 100;
constexpr std::size_t kChallengeBufferSize = 100;

#pragma pack(push, 4)
struct TokenRecord {
  std::uint32_t reserved;
  std::uint32_t type;
  std::uint32_t hashAlgorithm;
  std::uint32_t digits;
  std::uint32_t timeStep;
  char serial[64];
  std::uint8_t seed[64];
};

struct DeviceInfo {
  std::uint32_t protocol;
  std::uint32_t pid;
  std::uint32_t vid;
  char cosVersion[8];
  char fidoVersion[5];
  char pivVersion[5];
  char openPgpVersion[5];
  char otpVersion[5];
  char sn[32];
  char deviceName[32];
};
#pragma pack(pop)

static_assert(sizeof(TokenRecord) == 148, "TokenRecord is 148 bytes");
static_assert(offsetof(TokenRecord, type) == 4);
static_assert(offsetof(TokenRecord, hashAlgorithm) == 8);
static_assert(offsetof(TokenRecord, digits) == 12);
static_assert(offsetof(TokenRecord, timeStep) == 16);
static_assert(offsetof(TokenRecord, serial) == 20);
static_assert(offsetof(TokenRecord, seed) == 84);

static_assert(sizeof(DeviceInfo) == 104, "DeviceInfo is 104 bytes");
static_assert(offsetof(DeviceInfo, pid) == 4);
static_assert(offsetof(DeviceInfo, vid) == 8);
static_assert(offsetof(DeviceInfo, cosVersion) == 12);
static_assert(offsetof(DeviceInfo, fidoVersion) == 20);
static_assert(offsetof(DeviceInfo, pivVersion) == 25);
static_assert(offsetof(DeviceInfo, openPgpVersion) == 30);
static_assert(offsetof(DeviceInfo, otpVersion) == 35);
static_assert(offsetof(DeviceInfo, sn) == 40);
static_assert(offsetof(DeviceInfo, deviceName) == 72);

// The seven functions, listed once: X(name, parameter list).
#define CV_MANAGER_FUNCTIONS(X)                                                                                     \
  X(CV_ListDevice, (std::uint32_t * output))                                                                        \
  X(CV_GetDeviceInfo, (DeviceInfo * info))                                                                          \
  X(CV_OTP_List, (std::uint32_t selector, TokenRecord * records))                                                   \
  X(CV_OTP_Calculate,                                                                                               \
    (TokenRecord token, const char* challenge, std::uint32_t challengeLength, char* otp, std::uint32_t* otpLength)) \
  X(CV_OTP_Personalize, (TokenRecord token, std::uint32_t option))                                                  \
  X(CV_OTP_Reset, (void))                                                                                           \
  X(CV_OTP_SetValueWithEnter, (std::uint32_t appendEnter))

extern "C" {
#define CV_DECLARE_FUNCTION(name, params) CvStatus CV_CALL name params;
CV_MANAGER_FUNCTIONS(CV_DECLARE_FUNCTION)
#undef CV_DECLARE_FUNCTION
}
