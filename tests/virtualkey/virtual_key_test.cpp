#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "tests/virtualkey/temp_folder.h"
#include "tests/virtualkey/token_records.h"
#include "virtualkey/file_io.h"
#include "virtualkey/state_file.h"
#include "virtualkey/virtual_key.h"

namespace {

class VirtualKeyTest : public ::testing::Test {
 protected:
  std::filesystem::path StatePath() const { return folder_.Path() / "virtual-key.xml"; }

  // A new VirtualKey for every call, as the DLL makes one: nothing survives
  // in memory, everything must come back from the file.
  VirtualKey Key() const { return VirtualKey(StatePath()); }

  KeyState LoadState() const {
    KeyState state;
    std::string problem;
    EXPECT_EQ(StateFile(StatePath()).Load(state, problem), StateLoadOutcome::Loaded) << problem;
    return state;
  }

  void SaveState(const KeyState& state) const {
    std::string problem;
    ASSERT_TRUE(StateFile(StatePath()).Save(state, problem)) << problem;
  }

  std::vector<std::string> ListedSerials() {
    TokenRecord records[kMaxTokens];
    EXPECT_EQ(Key().OtpList(0, records), CV_OK);
    std::vector<std::string> serials;
    for (const TokenRecord& r : records) {
      if (r.serial[0] == '\0') break;
      serials.emplace_back(r.serial);
    }
    return serials;
  }

  CvStatus Calculate(const TokenRecord& record, const std::string& challenge, std::string& otp) {
    char buffer[kOtpBufferSize] = {};
    std::uint32_t length = 0;
    const CvStatus status =
        Key().OtpCalculate(record, challenge.c_str(), static_cast<std::uint32_t>(challenge.size()),
                           buffer, &length);
    otp = buffer;
    if (status == CV_OK) {
      EXPECT_EQ(length, otp.size());
    }
    return status;
  }

  TempFolder folder_;
};

TEST_F(VirtualKeyTest, MissingStateFileIsOneKeyWithoutTokens) {
  std::uint32_t devices = 0;
  EXPECT_EQ(Key().ListDevice(&devices), CV_OK);
  EXPECT_EQ(devices, 1u);
  TokenRecord records[kMaxTokens];
  std::memset(records, 0xAB, sizeof records);
  EXPECT_EQ(Key().OtpList(0, records), CV_OK);
  const TokenRecord empty{};
  for (const TokenRecord& r : records) EXPECT_EQ(std::memcmp(&r, &empty, sizeof r), 0);
  // Reading creates nothing.
  EXPECT_TRUE(folder_.Entries().empty());
}

TEST_F(VirtualKeyTest, DeviceInfoDescribesTheKey) {
  DeviceInfo info;
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(Key().GetDeviceInfo(&info), CV_OK);
  EXPECT_STREQ(info.sn, "CVK0000000001");
  EXPECT_EQ(info.vid, 0x096Eu);
  EXPECT_EQ(info.pid, kVirtualKeyProductId);
  EXPECT_EQ(info.protocol, static_cast<std::uint32_t>(PROTOCOL_HID_CCID_OTP));
  // Every text is terminated inside its field.
  EXPECT_NE(std::memchr(info.cosVersion, 0, sizeof info.cosVersion), nullptr);
  EXPECT_NE(std::memchr(info.otpVersion, 0, sizeof info.otpVersion), nullptr);
  EXPECT_NE(std::memchr(info.deviceName, 0, sizeof info.deviceName), nullptr);
  EXPECT_GT(std::strlen(info.deviceName), 0u);

  KeyState state;
  state.serialNumber = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234";  // 31 characters, the most
  SaveState(state);
  ASSERT_EQ(Key().GetDeviceInfo(&info), CV_OK);
  EXPECT_STREQ(info.sn, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234");
}

TEST_F(VirtualKeyTest, PersonalizeMakesTheNewTokenActiveAndReplacesTheSameSerial) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("A"), 1), CV_OK);
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("B", TOTP), 1), CV_OK);
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("C"), 1), CV_OK);
  EXPECT_EQ(ListedSerials(), (std::vector<std::string>{"C", "B", "A"}));

  // Same serial again, new settings: replaced, not added, and active.
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("A", TOTP, HASH_SHA256, 8, 60, kRfcSha256Seed), 1),
            CV_OK);
  EXPECT_EQ(ListedSerials(), (std::vector<std::string>{"A", "C", "B"}));

  TokenRecord records[kMaxTokens];
  ASSERT_EQ(Key().OtpList(0, records), CV_OK);
  EXPECT_EQ(records[0].type, static_cast<std::uint32_t>(TOTP));
  EXPECT_EQ(records[0].hashAlgorithm, static_cast<std::uint32_t>(HASH_SHA256));
  EXPECT_EQ(records[0].digits, 8u);
  EXPECT_EQ(records[0].timeStep, 60u);
  // The seed stays on the key.
  for (const TokenRecord& r : records) {
    for (std::uint8_t byte : r.seed) ASSERT_EQ(byte, 0);
  }
}

TEST_F(VirtualKeyTest, TwentyOneTokensDoNotFit) {
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(Key().OtpPersonalize(MakeRecord("T" + std::to_string(i)), 1), CV_OK) << i;
  }
  const std::string before = ReadBytes(StatePath());
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("T20"), 1), VK_ERR_KEY_FULL);
  EXPECT_EQ(ReadBytes(StatePath()), before);
  EXPECT_EQ(ListedSerials().size(), 20u);
  EXPECT_EQ(ListedSerials().front(), "T19");

  // A serial already on the key may still be written again.
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("T3", TOTP), 1), CV_OK);
  const auto serials = ListedSerials();
  EXPECT_EQ(serials.size(), 20u);
  EXPECT_EQ(serials.front(), "T3");
}

TEST_F(VirtualKeyTest, EnterSettingIsStoredAndSurvivesAReset) {
  ASSERT_EQ(Key().OtpSetValueWithEnter(0), CV_OK);
  EXPECT_FALSE(LoadState().appendEnter);
  ASSERT_EQ(Key().OtpSetValueWithEnter(1), CV_OK);
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("A"), 1), CV_OK);
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("B"), 1), CV_OK);
  ASSERT_EQ(Key().OtpReset(), CV_OK);
  EXPECT_TRUE(ListedSerials().empty());
  EXPECT_TRUE(LoadState().appendEnter);
  std::string otp;
  EXPECT_EQ(Calculate(MakeRecord("A"), "", otp), VK_ERR_TOKEN_NOT_FOUND);
}

TEST_F(VirtualKeyTest, HotpCounterAdvancesAndSurvivesReloads) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("H"), 1), CV_OK);
  for (const char* value : {"755224", "287082", "359152"}) {  // RFC 4226 appendix D
    std::string otp;
    ASSERT_EQ(Calculate(MakeRecord("H"), "", otp), CV_OK);
    EXPECT_EQ(otp, value);
  }
  EXPECT_EQ(LoadState().tokens.at(0).counter, 3u);

  // Writing the token again starts its counter afresh.
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("H"), 1), CV_OK);
  std::string otp;
  ASSERT_EQ(Calculate(MakeRecord("H"), "", otp), CV_OK);
  EXPECT_EQ(otp, "755224");
}

TEST_F(VirtualKeyTest, CalculateUsesTheStoredTokenNamedBySerialAndItsStep) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("H"), 1), CV_OK);
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("T", TOTP, HASH_SHA256, 8, 30, kRfcSha256Seed), 1),
            CV_OK);
  // The record as listed carries no seed; the key uses its own.
  TokenRecord listed[kMaxTokens];
  ASSERT_EQ(Key().OtpList(0, listed), CV_OK);
  std::string otp;
  ASSERT_EQ(Calculate(listed[0], "2033-05-18 11:33:20", otp), CV_OK);
  EXPECT_EQ(otp, "90698825");  // RFC 6238 appendix B
  ASSERT_EQ(Calculate(listed[1], "", otp), CV_OK);
  EXPECT_EQ(otp, "755224");

  // 60-second step: T = floor(59 / 60) = 0, the same as HOTP counter 0.
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("T60", TOTP, HASH_SHA1, 6, 60), 1), CV_OK);
  ASSERT_EQ(Calculate(MakeRecord("T60"), "1970-01-01 08:00:59", otp), CV_OK);
  EXPECT_EQ(otp, "755224");
  ASSERT_EQ(Calculate(MakeRecord("T60"), "1970-01-01 08:01:00", otp), CV_OK);
  EXPECT_EQ(otp, "287082");

  // A malformed challenge fails and changes nothing.
  const std::string before = ReadBytes(StatePath());
  EXPECT_EQ(Calculate(MakeRecord("T60"), "", otp), VK_ERR_BAD_CHALLENGE);
  EXPECT_EQ(Calculate(MakeRecord("T60"), "2024-02-30 08:00:00", otp), VK_ERR_BAD_CHALLENGE);
  EXPECT_EQ(otp, "");
  EXPECT_EQ(ReadBytes(StatePath()), before);
}

TEST_F(VirtualKeyTest, CalculateWritesOnlyTheTerminatedOtp) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("H", HOTP, HASH_SHA1, 8), 1), CV_OK);
  char buffer[2 * kOtpBufferSize];
  std::memset(buffer, '#', sizeof buffer);
  std::uint32_t length = 0;
  ASSERT_EQ(Key().OtpCalculate(MakeRecord("H"), "", 0, buffer, &length), CV_OK);
  EXPECT_STREQ(buffer, "84755224");
  EXPECT_EQ(length, 8u);
  for (std::size_t i = 9; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << i;
}

TEST_F(VirtualKeyTest, UntrustedRecordsAreRejected) {
  TokenRecord unterminated = MakeRecord("");
  std::memset(unterminated.serial, 'S', sizeof unterminated.serial);
  EXPECT_EQ(Key().OtpPersonalize(unterminated, 1), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord(""), 1), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("X", 0x50), 1), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("X", HOTP, 3), 1), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("X", HOTP, HASH_SHA1, 5), 1), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("X", HOTP, HASH_SHA1, 9), 1), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("X", TOTP, HASH_SHA1, 6, 0), 1),
            VK_ERR_INVALID_PARAMETER);
  EXPECT_TRUE(folder_.Entries().empty());

  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("H"), 1), CV_OK);
  std::string otp;
  EXPECT_EQ(Calculate(unterminated, "", otp), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Calculate(MakeRecord("other"), "", otp), VK_ERR_TOKEN_NOT_FOUND);
  EXPECT_EQ(Key().OtpCalculate(MakeRecord("H"), "", 0, nullptr, nullptr), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().OtpList(0, nullptr), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().GetDeviceInfo(nullptr), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(LoadState().tokens.at(0).counter, 0u);
}

TEST_F(VirtualKeyTest, StaticPasswordAndChallengeResponse) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("S", STATIC_PASSWORD, 0, 0, 0, "open sesame"), 1),
            CV_OK);
  std::string otp;
  ASSERT_EQ(Calculate(MakeRecord("S"), "", otp), CV_OK);
  EXPECT_EQ(otp, "open sesame");
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("S2", STATIC_PASSWORD, 0, 0, 0, "tab\there"), 1),
            VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("S3", STATIC_PASSWORD, 0, 0, 0, ""), 1),
            VK_ERR_INVALID_PARAMETER);

  // A challenge-response over the 8 bytes of counter 1 is HOTP counter 1.
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("C", CHALLENGE_RESPONSE), 1), CV_OK);
  ASSERT_EQ(Calculate(MakeRecord("C"), std::string("\0\0\0\0\0\0\0\1", 8), otp), CV_OK);
  EXPECT_EQ(otp, "287082");
  ASSERT_EQ(Calculate(MakeRecord("C"), "", otp), CV_OK);  // the tool sends nothing
  EXPECT_EQ(otp.size(), 6u);
  char buffer[kOtpBufferSize];
  EXPECT_EQ(Key().OtpCalculate(MakeRecord("C"), "x", 101, buffer, nullptr), VK_ERR_BAD_CHALLENGE);
}

TEST_F(VirtualKeyTest, CorruptStateFileIsReportedAndNeverOverwritten) {
  std::string tooMany = "<virtualKey version=\"1\"><tokens>";
  for (int i = 0; i < 21; ++i) tooMany += "<token serial=\"T" + std::to_string(i) + "\" seed=\"31\"/>";
  const std::string corrupt[] = {
      "<virtualKey version=\"1\"><tokens><token serial=\"A\" seed=\"31\"",  // truncated
      "<otherRoot version=\"1\"/>",
      "<virtualKey version=\"1\"><tokens><token serial=\"A\" seed=\"3G\"/></tokens></virtualKey>",
      "<virtualKey version=\"1\"><tokens><token serial=\"A\" seed=\"31\"/>"
      "<token serial=\"A\" seed=\"32\"/></tokens></virtualKey>",
      "<virtualKey version=\"1\"><device plugged=\"maybe\"/></virtualKey>",
      "<virtualKey version=\"1\"><forcedStatuses><status function=\"CV_Nothing\" "
      "value=\"0x1\"/></forcedStatuses></virtualKey>",
      tooMany + "</tokens></virtualKey>",
  };
  for (const std::string& text : corrupt) {
    WriteBytes(StatePath(), text);
    std::uint32_t devices = 0;
    DeviceInfo info{};
    TokenRecord records[kMaxTokens];
    char otp[kOtpBufferSize] = {};
    EXPECT_EQ(Key().ListDevice(&devices), VK_ERR_STATE_CORRUPT) << text;
    EXPECT_EQ(Key().GetDeviceInfo(&info), VK_ERR_STATE_CORRUPT);
    EXPECT_EQ(Key().OtpList(0, records), VK_ERR_STATE_CORRUPT);
    EXPECT_EQ(Key().OtpCalculate(MakeRecord("A"), "", 0, otp, nullptr), VK_ERR_STATE_CORRUPT);
    EXPECT_EQ(Key().OtpPersonalize(MakeRecord("B"), 1), VK_ERR_STATE_CORRUPT);
    EXPECT_EQ(Key().OtpReset(), VK_ERR_STATE_CORRUPT);
    EXPECT_EQ(Key().OtpSetValueWithEnter(1), VK_ERR_STATE_CORRUPT);
    EXPECT_EQ(ReadBytes(StatePath()), text);
    EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"virtual-key.xml"});
  }
}

TEST_F(VirtualKeyTest, WritesLeaveNoTemporaryFilesAndAFailedWriteNothingAtAll) {
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Key().OtpPersonalize(MakeRecord("T" + std::to_string(i)), 1), CV_OK);
    std::string otp;
    ASSERT_EQ(Calculate(MakeRecord("T0"), "", otp), CV_OK);
  }
  ASSERT_EQ(Key().OtpReset(), CV_OK);
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"virtual-key.xml"});

  VirtualKey nowhere(folder_.Path() / "no such folder" / "virtual-key.xml");
  EXPECT_EQ(nowhere.OtpPersonalize(MakeRecord("A"), 1), VK_ERR_STATE_IO);
  EXPECT_EQ(nowhere.OtpSetValueWithEnter(1), VK_ERR_STATE_IO);
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"virtual-key.xml"});
}

TEST_F(VirtualKeyTest, UnpluggedOrSeveralDevices) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("A"), 1), CV_OK);
  KeyState state = LoadState();
  state.plugged = false;
  SaveState(state);
  std::uint32_t devices = 7;
  TokenRecord records[kMaxTokens];
  char otp[kOtpBufferSize] = {};
  EXPECT_EQ(Key().ListDevice(&devices), CV_ERR_NO_DEVICE);
  EXPECT_EQ(Key().OtpList(0, records), CV_ERR_NO_DEVICE);
  EXPECT_EQ(Key().OtpCalculate(MakeRecord("A"), "", 0, otp, nullptr), CV_ERR_NO_DEVICE);
  EXPECT_EQ(Key().OtpReset(), CV_ERR_NO_DEVICE);
  EXPECT_EQ(LoadState().tokens.size(), 1u);

  state.plugged = true;
  state.deviceCount = 2;
  SaveState(state);
  EXPECT_EQ(Key().ListDevice(&devices), CV_ERR_MULTIPLE_DEVICES);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("B"), 1), CV_ERR_MULTIPLE_DEVICES);
  EXPECT_EQ(LoadState().tokens.size(), 1u);

  state.deviceCount = 1;
  SaveState(state);
  EXPECT_EQ(Key().ListDevice(&devices), CV_OK);
  EXPECT_EQ(devices, 1u);
}

TEST_F(VirtualKeyTest, TouchModes) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("A"), 1), CV_OK);
  KeyState state = LoadState();
  state.touchMode = TouchMode::Timeout;
  SaveState(state);
  std::string otp;
  EXPECT_EQ(Calculate(MakeRecord("A"), "", otp), VK_ERR_TOUCH_TIMEOUT);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("B"), 1), VK_ERR_TOUCH_TIMEOUT);
  EXPECT_EQ(Key().OtpReset(), VK_ERR_TOUCH_TIMEOUT);
  // Calls that need no touch still work.
  EXPECT_EQ(ListedSerials(), std::vector<std::string>{"A"});
  EXPECT_EQ(LoadState().tokens.at(0).counter, 0u);

  state = LoadState();
  state.touchMode = TouchMode::Delay;
  state.touchDelayMs = 150;
  SaveState(state);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Calculate(MakeRecord("A"), "", otp), CV_OK);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_EQ(otp, "755224");
}

TEST_F(VirtualKeyTest, ForcedStatusesWinUntilCleared) {
  KeyState state;
  state.plugged = false;
  state.forcedStatuses["CV_ListDevice"] = 0x80435699;
  state.forcedStatuses["CV_OTP_Personalize"] = 0x8043569A;
  SaveState(state);
  std::uint32_t devices = 0;
  EXPECT_EQ(Key().ListDevice(&devices), 0x80435699u);
  state.plugged = true;
  SaveState(state);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("A"), 1), 0x8043569Au);
  EXPECT_TRUE(LoadState().tokens.empty());
  EXPECT_EQ(Key().OtpSetValueWithEnter(1), CV_OK);

  state = LoadState();
  state.forcedStatuses.clear();
  SaveState(state);
  EXPECT_EQ(Key().ListDevice(&devices), CV_OK);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("A"), 1), CV_OK);
}

TEST_F(VirtualKeyTest, OddSerialBytesSurviveTheStateFile) {
  const std::string serial = "\xC4\xE9-<&\">-'";
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord(serial), 1), CV_OK);
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("x<&>\"'"), 1), CV_OK);
  EXPECT_EQ(ListedSerials(), (std::vector<std::string>{"x<&>\"'", serial}));
}

}  // namespace
