#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
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

  // Changes the stored state as the control program would.
  void Change(const std::function<void(KeyState&)>& change) const {
    KeyState state;
    std::string problem;
    StateFile(StatePath()).Load(state, problem);  // a missing file is a new key
    change(state);
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

  // The OTP for `record`, checking the status and that the length matches.
  std::string Otp(const TokenRecord& record, const std::string& challenge, CvStatus expected = CV_OK) {
    char buffer[kOtpBufferSize] = {};
    std::uint32_t length = 0;
    EXPECT_EQ(Key().OtpCalculate(record, challenge.c_str(), static_cast<std::uint32_t>(challenge.size()),
                                 buffer, &length),
              expected);
    if (expected == CV_OK) {
      EXPECT_EQ(length, std::strlen(buffer));
    }
    return buffer;
  }

  TempFolder folder_;
};

TEST_F(VirtualKeyTest, MissingStateFileIsOneKeyWithoutTokensAndReadingCreatesNothing) {
  std::uint32_t devices = 0;
  EXPECT_EQ(Key().ListDevice(&devices), CV_OK);
  EXPECT_EQ(devices, 1u);
  TokenRecord records[kMaxTokens];
  std::memset(records, 0xAB, sizeof records);
  EXPECT_EQ(Key().OtpList(0, records), CV_OK);
  const TokenRecord empty{};
  for (const TokenRecord& r : records) EXPECT_EQ(std::memcmp(&r, &empty, sizeof r), 0);

  DeviceInfo info;
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(Key().GetDeviceInfo(&info), CV_OK);
  EXPECT_STREQ(info.sn, "CVK0000000001");
  EXPECT_EQ(info.vid, 0x096Eu);
  EXPECT_EQ(info.pid, kVirtualKeyProductId);
  // Every text is terminated inside its field.
  EXPECT_NE(std::memchr(info.cosVersion, 0, sizeof info.cosVersion), nullptr);
  EXPECT_NE(std::memchr(info.otpVersion, 0, sizeof info.otpVersion), nullptr);
  EXPECT_NE(std::memchr(info.deviceName, 0, sizeof info.deviceName), nullptr);
  EXPECT_TRUE(folder_.Entries().empty());

  Change([](KeyState& s) { s.serialNumber = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"; });  // 31, the most
  ASSERT_EQ(Key().GetDeviceInfo(&info), CV_OK);
  EXPECT_STREQ(info.sn, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234");
}

TEST_F(VirtualKeyTest, PersonalizeMakesTheNewTokenActiveReplacesTheSameSerialAndHoldsTwenty) {
  for (const char* serial : {"A", "B", "C"}) ASSERT_EQ(Key().OtpPersonalize(MakeRecord(serial), 1), CV_OK);
  // Same serial again, new settings: replaced, not added, and active.
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("A", TOTP, HASH_SHA256, 8, 60, kRfcSha256Seed), 1), CV_OK);
  EXPECT_EQ(ListedSerials(), (std::vector<std::string>{"A", "C", "B"}));
  TokenRecord records[kMaxTokens];
  ASSERT_EQ(Key().OtpList(0, records), CV_OK);
  EXPECT_EQ(records[0].type, static_cast<std::uint32_t>(TOTP));
  EXPECT_EQ(records[0].hashAlgorithm, static_cast<std::uint32_t>(HASH_SHA256));
  EXPECT_EQ(records[0].digits, 8u);
  EXPECT_EQ(records[0].timeStep, 60u);
  for (const TokenRecord& r : records) {  // the seed stays on the key
    for (std::uint8_t byte : r.seed) ASSERT_EQ(byte, 0);
  }

  for (int i = 3; i < 20; ++i) ASSERT_EQ(Key().OtpPersonalize(MakeRecord("T" + std::to_string(i)), 1), CV_OK);
  const std::string before = ReadBytes(StatePath());
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("T20"), 1), VK_ERR_KEY_FULL);
  EXPECT_EQ(ReadBytes(StatePath()), before);
  // A serial already on the key may still be written again.
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("B"), 1), CV_OK);
  EXPECT_EQ(ListedSerials().size(), 20u);
  EXPECT_EQ(ListedSerials().front(), "B");
}

TEST_F(VirtualKeyTest, EnterSettingIsStoredAndSurvivesAReset) {
  ASSERT_EQ(Key().OtpSetValueWithEnter(0), CV_OK);
  EXPECT_FALSE(LoadState().appendEnter);
  ASSERT_EQ(Key().OtpSetValueWithEnter(1), CV_OK);
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("A"), 1), CV_OK);
  ASSERT_EQ(Key().OtpReset(), CV_OK);
  EXPECT_TRUE(ListedSerials().empty());
  EXPECT_TRUE(LoadState().appendEnter);
  EXPECT_EQ(Otp(MakeRecord("A"), "", VK_ERR_TOKEN_NOT_FOUND), "");
}

TEST_F(VirtualKeyTest, HotpCounterAdvancesSurvivesReloadsAndRestartsWhenWrittenAgain) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("H"), 1), CV_OK);
  for (const char* value : {"755224", "287082", "359152"}) {  // RFC 4226 appendix D
    EXPECT_EQ(Otp(MakeRecord("H"), ""), value);
  }
  EXPECT_EQ(LoadState().tokens.at(0).counter, 3u);
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("H"), 1), CV_OK);
  EXPECT_EQ(Otp(MakeRecord("H"), ""), "755224");
}

TEST_F(VirtualKeyTest, CalculateUsesTheStoredTokenNamedBySerialAndItsStep) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("H"), 1), CV_OK);
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("T", TOTP, HASH_SHA256, 8, 30, kRfcSha256Seed), 1), CV_OK);
  // The record as listed carries no seed; the key uses its own.
  TokenRecord listed[kMaxTokens];
  ASSERT_EQ(Key().OtpList(0, listed), CV_OK);
  EXPECT_EQ(Otp(listed[0], "2033-05-18 11:33:20"), "90698825");  // RFC 6238 appendix B
  EXPECT_EQ(Otp(listed[1], ""), "755224");

  // 60-second step: T = floor(59 / 60) = 0, the same as HOTP counter 0.
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("T60", TOTP, HASH_SHA1, 6, 60), 1), CV_OK);
  EXPECT_EQ(Otp(MakeRecord("T60"), "1970-01-01 08:00:59"), "755224");
  EXPECT_EQ(Otp(MakeRecord("T60"), "1970-01-01 08:01:00"), "287082");

  // A malformed challenge fails and changes nothing.
  const std::string before = ReadBytes(StatePath());
  EXPECT_EQ(Otp(MakeRecord("T60"), "", VK_ERR_BAD_CHALLENGE), "");
  EXPECT_EQ(Otp(MakeRecord("T60"), "2024-02-30 08:00:00", VK_ERR_BAD_CHALLENGE), "");
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
  for (const TokenRecord& bad :
       {unterminated, MakeRecord(""), MakeRecord("X", 0x50), MakeRecord("X", HOTP, 3),
        MakeRecord("X", HOTP, HASH_SHA1, 5), MakeRecord("X", HOTP, HASH_SHA1, 9),
        MakeRecord("X", TOTP, HASH_SHA1, 6, 0)}) {
    EXPECT_EQ(Key().OtpPersonalize(bad, 1), VK_ERR_INVALID_PARAMETER)
        << bad.type << "/" << bad.hashAlgorithm << "/" << bad.digits << "/" << bad.timeStep;
  }
  EXPECT_TRUE(folder_.Entries().empty());

  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("H"), 1), CV_OK);
  EXPECT_EQ(Otp(unterminated, "", VK_ERR_INVALID_PARAMETER), "");
  EXPECT_EQ(Otp(MakeRecord("other"), "", VK_ERR_TOKEN_NOT_FOUND), "");
  EXPECT_EQ(Key().OtpCalculate(MakeRecord("H"), "", 0, nullptr, nullptr), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().OtpList(0, nullptr), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().GetDeviceInfo(nullptr), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(LoadState().tokens.at(0).counter, 0u);
}

TEST_F(VirtualKeyTest, StaticPasswordAndChallengeResponse) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("S", STATIC_PASSWORD, 0, 0, 0, "open sesame"), 1), CV_OK);
  EXPECT_EQ(Otp(MakeRecord("S"), ""), "open sesame");
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("S2", STATIC_PASSWORD, 0, 0, 0, "tab\there"), 1),
            VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("S3", STATIC_PASSWORD, 0, 0, 0, ""), 1),
            VK_ERR_INVALID_PARAMETER);

  // A challenge-response over the 8 bytes of counter 1 is HOTP counter 1.
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("C", CHALLENGE_RESPONSE), 1), CV_OK);
  EXPECT_EQ(Otp(MakeRecord("C"), std::string("\0\0\0\0\0\0\0\1", 8)), "287082");
  EXPECT_EQ(Otp(MakeRecord("C"), "").size(), 6u);  // the tool sends nothing
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
    SCOPED_TRACE(text);
    WriteBytes(StatePath(), text);
    std::uint32_t devices = 0;
    DeviceInfo info{};
    TokenRecord records[kMaxTokens];
    char otp[kOtpBufferSize] = {};
    EXPECT_EQ(Key().ListDevice(&devices), VK_ERR_STATE_CORRUPT);
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
  for (const char* serial : {"A", "B"}) {
    ASSERT_EQ(Key().OtpPersonalize(MakeRecord(serial), 1), CV_OK);
    EXPECT_EQ(Otp(MakeRecord("A"), "").size(), 6u);
  }
  ASSERT_EQ(Key().OtpReset(), CV_OK);
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"virtual-key.xml"});

  VirtualKey nowhere(folder_.Path() / "no such folder" / "virtual-key.xml");
  EXPECT_EQ(nowhere.OtpPersonalize(MakeRecord("A"), 1), VK_ERR_STATE_IO);
  EXPECT_EQ(nowhere.OtpSetValueWithEnter(1), VK_ERR_STATE_IO);
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"virtual-key.xml"});
}

TEST_F(VirtualKeyTest, UnpluggedOrSeveralDevicesFailEveryFunction) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("A"), 1), CV_OK);
  Change([](KeyState& s) { s.plugged = false; });
  std::uint32_t devices = 7;
  TokenRecord records[kMaxTokens];
  EXPECT_EQ(Key().ListDevice(&devices), CV_ERR_NO_DEVICE);
  EXPECT_EQ(Key().OtpList(0, records), CV_ERR_NO_DEVICE);
  EXPECT_EQ(Otp(MakeRecord("A"), "", CV_ERR_NO_DEVICE), "");
  EXPECT_EQ(Key().OtpReset(), CV_ERR_NO_DEVICE);

  Change([](KeyState& s) { s.plugged = true; s.deviceCount = 2; });
  EXPECT_EQ(Key().ListDevice(&devices), CV_ERR_MULTIPLE_DEVICES);
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("B"), 1), CV_ERR_MULTIPLE_DEVICES);
  EXPECT_EQ(LoadState().tokens.size(), 1u);

  Change([](KeyState& s) { s.deviceCount = 1; });
  EXPECT_EQ(Key().ListDevice(&devices), CV_OK);
  EXPECT_EQ(devices, 1u);
}

TEST_F(VirtualKeyTest, TouchTimeoutFailsTheTouchingCallsAndADelayIsWaitedFor) {
  ASSERT_EQ(Key().OtpPersonalize(MakeRecord("A"), 1), CV_OK);
  Change([](KeyState& s) { s.touchMode = TouchMode::Timeout; });
  EXPECT_EQ(Otp(MakeRecord("A"), "", VK_ERR_TOUCH_TIMEOUT), "");
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("B"), 1), VK_ERR_TOUCH_TIMEOUT);
  EXPECT_EQ(Key().OtpReset(), VK_ERR_TOUCH_TIMEOUT);
  EXPECT_EQ(ListedSerials(), std::vector<std::string>{"A"});  // needs no touch
  EXPECT_EQ(LoadState().tokens.at(0).counter, 0u);

  Change([](KeyState& s) { s.touchMode = TouchMode::Delay; s.touchDelayMs = 150; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Otp(MakeRecord("A"), ""), "755224");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
}

TEST_F(VirtualKeyTest, ForcedStatusesWinOverEverythingUntilCleared) {
  Change([](KeyState& s) {
    s.plugged = false;
    s.forcedStatuses["CV_ListDevice"] = 0x80435699;
    s.forcedStatuses["CV_OTP_Personalize"] = 0x8043569A;
  });
  std::uint32_t devices = 0;
  EXPECT_EQ(Key().ListDevice(&devices), 0x80435699u);
  Change([](KeyState& s) { s.plugged = true; });
  EXPECT_EQ(Key().OtpPersonalize(MakeRecord("A"), 1), 0x8043569Au);
  EXPECT_TRUE(LoadState().tokens.empty());
  EXPECT_EQ(Key().OtpSetValueWithEnter(1), CV_OK);

  Change([](KeyState& s) { s.forcedStatuses.clear(); });
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
