#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/virtualkey/token_records.h"
#include "virtualkey/control_commands.h"
#include "virtualkey/key_state_xml.h"
#include "virtualkey/state_file.h"
#include "virtualkey/virtual_key.h"

namespace {

using Statuses = std::vector<CvStatus>;

class VirtualKeyTest : public ::testing::Test {
 protected:
  std::filesystem::path StatePath() const { return folder_.Path() / "virtual-key.xml"; }

  // A new VirtualKey for every call, as the DLL makes one: nothing survives
  // in memory, everything must come back from the file.
  VirtualKey Key() const { return VirtualKey(StatePath()); }

  CvStatus Personalize(const TokenRecord& record) { return Key().OtpPersonalize(record, 1); }
  CvStatus Personalize(const char* serial) { return Personalize(Seeded(MakeTokenRecord(serial))); }

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

  // The OTP for the token named by `serial`; checks the status, the length and
  // that nothing is written past the terminator.
  std::string Otp(const char* serial, const std::string& challenge, CvStatus expected = CV_OK) {
    char buffer[2 * kOtpBufferSize];
    std::memset(buffer, '#', sizeof buffer);
    std::uint32_t length = 0;
    EXPECT_EQ(Key().OtpCalculate(MakeTokenRecord(serial), challenge.c_str(),
                                 static_cast<std::uint32_t>(challenge.size()), buffer, &length),
              expected);
    if (expected != CV_OK) return "";
    const std::size_t end = strnlen(buffer, sizeof buffer);
    EXPECT_EQ(length, end);
    for (std::size_t i = end + 1; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << i;
    return std::string(buffer, end);
  }

  // The seven functions in one fixed order; a personalize or reset that gets
  // through changes the key.
  Statuses AllStatuses() {
    std::uint32_t devices = 0;
    DeviceInfo info{};
    TokenRecord records[kMaxTokens];
    char otp[kOtpBufferSize] = {};
    return {Key().ListDevice(&devices),
            Key().GetDeviceInfo(&info),
            Key().OtpList(0, records),
            Key().OtpCalculate(MakeTokenRecord("A"), "", 0, otp, nullptr),
            Key().OtpSetValueWithEnter(1),
            Personalize("B"),
            Key().OtpReset()};
  }

  // Gives a command as virtualkey gives it, under the state file's lock.
  bool Control(const std::vector<std::string>& command) const {
    KeyState applied;
    std::string problem;
    const bool done = ApplyControlCommandToFile(ParseControlCommand(command).command.value(), StateFile(StatePath()),
                                                applied, problem);
    EXPECT_TRUE(done) << problem;
    return done;
  }

  // Runs `call` while, 80 ms into its wait for the touch, another thread
  // gives the control program's `command`.
  CvStatus DuringTouchWait(const std::vector<std::string>& command, const std::function<CvStatus()>& call) {
    std::thread control([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(80));
      Control(command);
    });
    const CvStatus status = call();
    control.join();
    return status;
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
  EXPECT_NE(std::memchr(info.deviceName, 0, sizeof info.deviceName), nullptr);
  EXPECT_TRUE(folder_.Entries().empty());

  Change([](KeyState& s) { s.serialNumber = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"; });  // 31, the most
  ASSERT_EQ(Key().GetDeviceInfo(&info), CV_OK);
  EXPECT_STREQ(info.sn, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234");
}

TEST_F(VirtualKeyTest, PersonalizeMakesTheNewTokenActiveReplacesTheSameSerialAndHoldsTwenty) {
  for (const char* serial : {"A", "B", "C"}) ASSERT_EQ(Personalize(serial), CV_OK);
  // Same serial again, new settings: replaced, not added, and active.
  ASSERT_EQ(Personalize(Seeded(MakeTokenRecord("A", TOTP, HASH_SHA256, 8, 60), kRfcSha256Seed)), CV_OK);
  EXPECT_EQ(ListedSerials(), (std::vector<std::string>{"A", "C", "B"}));
  TokenRecord records[kMaxTokens];
  ASSERT_EQ(Key().OtpList(0, records), CV_OK);
  const TokenRecord listed = MakeTokenRecord("A", TOTP, HASH_SHA256, 8, 60);  // the seed stays on the key
  EXPECT_EQ(std::memcmp(&records[0], &listed, sizeof listed), 0);
  for (const TokenRecord& r : records) EXPECT_EQ(r.seed[0], 0);

  for (int i = 3; i < 20; ++i) ASSERT_EQ(Personalize(("T" + std::to_string(i)).c_str()), CV_OK);
  const std::string before = ReadBytes(StatePath());
  EXPECT_EQ(Personalize("T20"), VK_ERR_KEY_FULL);
  EXPECT_EQ(ReadBytes(StatePath()), before);
  // A serial already on the key may still be written again.
  EXPECT_EQ(Personalize("B"), CV_OK);
  EXPECT_EQ(ListedSerials().size(), 20u);
  EXPECT_EQ(ListedSerials().front(), "B");

  // Serial bytes that mean something in XML survive the state file.
  ASSERT_EQ(Key().OtpReset(), CV_OK);
  ASSERT_EQ(Personalize("\xC4\xE9-<&\">-'"), CV_OK);
  ASSERT_EQ(Personalize("x<&>\"'"), CV_OK);
  EXPECT_EQ(ListedSerials(), (std::vector<std::string>{"x<&>\"'", "\xC4\xE9-<&\">-'"}));
}

TEST_F(VirtualKeyTest, HotpCounterSurvivesReloadsRestartsWhenWrittenAgainAndResetKeepsEnter) {
  ASSERT_EQ(Personalize("H"), CV_OK);
  for (const char* value : {"755224", "287082", "359152"}) {  // RFC 4226 appendix D
    EXPECT_EQ(Otp("H", ""), value);
  }
  EXPECT_EQ(LoadState().tokens.at(0).counter, 3u);
  ASSERT_EQ(Personalize(Seeded(MakeTokenRecord("H", HOTP, HASH_SHA1, 8))), CV_OK);
  EXPECT_EQ(Otp("H", ""), "84755224");

  ASSERT_EQ(Key().OtpSetValueWithEnter(0), CV_OK);
  EXPECT_FALSE(LoadState().appendEnter);
  ASSERT_EQ(Key().OtpSetValueWithEnter(1), CV_OK);
  ASSERT_EQ(Key().OtpReset(), CV_OK);
  EXPECT_TRUE(ListedSerials().empty());
  EXPECT_TRUE(LoadState().appendEnter);
  Otp("H", "", VK_ERR_TOKEN_NOT_FOUND);
}

TEST_F(VirtualKeyTest, CalculateUsesTheStoredTokenOfEveryTypeNamedBySerial) {
  ASSERT_EQ(Personalize(Seeded(MakeTokenRecord("T", TOTP, HASH_SHA256, 8, 30), kRfcSha256Seed)), CV_OK);
  EXPECT_EQ(Otp("T", "2033-05-18 11:33:20"), "90698825");  // RFC 6238 appendix B

  // 60-second step: T = floor(59 / 60) = 0, the same as HOTP counter 0.
  ASSERT_EQ(Personalize(Seeded(MakeTokenRecord("T60", TOTP, HASH_SHA1, 6, 60))), CV_OK);
  EXPECT_EQ(Otp("T60", "1970-01-01 08:00:59"), "755224");
  EXPECT_EQ(Otp("T60", "1970-01-01 08:01:00"), "287082");
  // A malformed challenge fails and changes nothing.
  const std::string before = ReadBytes(StatePath());
  Otp("T60", "", VK_ERR_BAD_CHALLENGE);
  Otp("T60", "2024-02-30 08:00:00", VK_ERR_BAD_CHALLENGE);
  EXPECT_EQ(ReadBytes(StatePath()), before);

  ASSERT_EQ(Personalize(Seeded(MakeTokenRecord("S", STATIC_PASSWORD, 0, 0, 0), "open sesame")), CV_OK);
  EXPECT_EQ(Otp("S", ""), "open sesame");
  for (const char* password : {"tab\there", ""}) {
    EXPECT_EQ(Personalize(Seeded(MakeTokenRecord("S2", STATIC_PASSWORD, 0, 0, 0), password)), VK_ERR_INVALID_PARAMETER);
  }

  // A challenge-response over the 8 bytes of counter 1 is HOTP counter 1.
  ASSERT_EQ(Personalize(Seeded(MakeTokenRecord("C", CHALLENGE_RESPONSE))), CV_OK);
  EXPECT_EQ(Otp("C", std::string("\0\0\0\0\0\0\0\1", 8)), "287082");
  EXPECT_EQ(Otp("C", "").size(), 6u);  // the tool sends nothing
  char buffer[kOtpBufferSize];
  EXPECT_EQ(Key().OtpCalculate(MakeTokenRecord("C"), "x", 101, buffer, nullptr), VK_ERR_BAD_CHALLENGE);
}

TEST_F(VirtualKeyTest, UntrustedRecordsAreRejected) {
  TokenRecord unterminated = MakeTokenRecord("");
  std::memset(unterminated.serial, 'S', sizeof unterminated.serial);
  for (const TokenRecord& bad :
       {unterminated, MakeTokenRecord(""), MakeTokenRecord("X", 0x50), MakeTokenRecord("X", HOTP, 3),
        MakeTokenRecord("X", HOTP, HASH_SHA1, 5), MakeTokenRecord("X", HOTP, HASH_SHA1, 9),
        MakeTokenRecord("X", TOTP, HASH_SHA1, 6, 0)}) {
    EXPECT_EQ(Personalize(Seeded(bad)), VK_ERR_INVALID_PARAMETER)
        << bad.type << "/" << bad.hashAlgorithm << "/" << bad.digits << "/" << bad.timeStep;
  }
  EXPECT_TRUE(folder_.Entries().empty());

  ASSERT_EQ(Personalize("H"), CV_OK);
  char otp[kOtpBufferSize];
  EXPECT_EQ(Key().OtpCalculate(unterminated, "", 0, otp, nullptr), VK_ERR_INVALID_PARAMETER);
  Otp("other", "", VK_ERR_TOKEN_NOT_FOUND);
  EXPECT_EQ(Key().OtpCalculate(MakeTokenRecord("H"), "", 0, nullptr, nullptr), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().OtpList(0, nullptr), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Key().GetDeviceInfo(nullptr), VK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(LoadState().tokens.at(0).counter, 0u);
}

TEST_F(VirtualKeyTest, CorruptOrUnwritableStateFailsAndIsNeverOverwritten) {
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
    EXPECT_EQ(AllStatuses(), Statuses(7, VK_ERR_STATE_CORRUPT));
    EXPECT_EQ(ReadBytes(StatePath()), text);
    EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"virtual-key.xml"});
  }

  VirtualKey nowhere(folder_.Path() / "no such folder" / "virtual-key.xml");
  EXPECT_EQ(nowhere.OtpPersonalize(Seeded(MakeTokenRecord("A")), 1), VK_ERR_STATE_IO);
  EXPECT_EQ(nowhere.OtpSetValueWithEnter(1), VK_ERR_STATE_IO);
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"virtual-key.xml"});
}

TEST_F(VirtualKeyTest, DeviceTouchAndForcedStatusBehavioursFailTheirFunctionsAndChangeNothing) {
  ASSERT_EQ(Personalize("A"), CV_OK);
  ASSERT_EQ(Key().OtpSetValueWithEnter(1), CV_OK);
  const std::string healthy = ReadBytes(StatePath());
  const CvStatus ok = CV_OK, touch = VK_ERR_TOUCH_TIMEOUT, none = CV_ERR_NO_DEVICE;
  const struct {
    std::function<void(KeyState&)> change;
    Statuses expected;
  } cases[] = {
      {[](KeyState& s) { s.plugged = false; }, Statuses(7, none)},
      {[](KeyState& s) { s.deviceCount = 2; }, Statuses(7, CV_ERR_MULTIPLE_DEVICES)},
      {[](KeyState& s) { s.touchMode = TouchMode::Timeout; }, {ok, ok, ok, touch, ok, touch, touch}},
      // A forced status wins even over an unplugged key.
      {[](KeyState& s) {
         s.plugged = false;
         s.forcedStatuses["CV_ListDevice"] = 0x80435699;
         s.forcedStatuses["CV_OTP_Personalize"] = 0x8043569A;
       },
       {0x80435699, none, none, none, none, 0x8043569A, none}},
  };
  for (const auto& c : cases) {
    WriteBytes(StatePath(), healthy);
    Change(c.change);
    EXPECT_EQ(AllStatuses(), c.expected);
    const KeyState state = LoadState();
    ASSERT_EQ(state.tokens.size(), 1u);
    EXPECT_EQ(state.tokens[0].counter, 0u);
  }
  WriteBytes(StatePath(), healthy);  // nothing of it sticks, and no write leaves a temporary file
  EXPECT_EQ(AllStatuses(), Statuses(7, CV_OK));
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"virtual-key.xml"});

  Change([](KeyState& s) {
    s.touchMode = TouchMode::Delay;
    s.touchDelayMs = 150;
  });
  ASSERT_EQ(Personalize("A"), CV_OK);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Otp("A", ""), "755224");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
}

TEST_F(VirtualKeyTest, ACallThatWaitsForTheTouchSavesOnlyItsOwnChangeOnTheStateAfterTheWait) {
  char otp[kOtpBufferSize] = {};
  const std::function<CvStatus()> personalize = [&] { return Personalize("N"); },
                                  reset = [&] { return Key().OtpReset(); }, calculate = [&] {
                                    return Key().OtpCalculate(MakeTokenRecord("H"), "", 0, otp, nullptr);
                                  };
  const auto stored = [](KeyState& s) { StoreAsActiveToken(s, StoredToken{Seeded(MakeTokenRecord("N")), 0}); };
  const auto cleared = [](KeyState& s) { s.tokens.clear(); };
  const auto stepped = [](KeyState& s) { ++s.tokens.at(0).counter; };
  const struct {
    std::vector<std::string> command;
    std::function<CvStatus()> call;
    CvStatus expected;
    std::function<void(KeyState&)> ownChange;  // on top of the command's, when the call succeeds
    const char* otp;
  } cases[] = {
      // Pulled out, or made to fail, meanwhile: the key is gone for this call.
      {{"unplug"}, personalize, CV_ERR_NO_DEVICE, {}, ""},
      {{"fail", "CV_OTP_Personalize", "0x80435699"}, personalize, CV_ERR_NO_DEVICE, {}, ""},
      {{"unplug"}, reset, CV_ERR_NO_DEVICE, {}, ""},
      {{"fail", "CV_OTP_Calculate", "0x80435699"}, calculate, CV_ERR_NO_DEVICE, {}, ""},
      // Anything else given meanwhile stays, and the call's change lands on it.
      {{"fail", "CV_OTP_Reset", "0x80435699"}, personalize, CV_OK, stored, ""},
      {{"touch", "ok"}, personalize, CV_OK, stored, ""},
      {{"touch", "timeout"}, reset, CV_OK, cleared, ""},
      {{"add-token", "--serial", "H", "--counter", "5"}, calculate, CV_OK, stepped, "254676"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command[0] + (c.command.size() > 1 ? " " + c.command[1] : ""));
    std::filesystem::remove(StatePath());
    ASSERT_EQ(Personalize("H"), CV_OK);
    Change([](KeyState& s) {
      s.touchMode = TouchMode::Delay;
      s.touchDelayMs = 300;
    });
    KeyState expected = LoadState();
    std::string problem;
    ASSERT_TRUE(ApplyControlCommand(ParseControlCommand(c.command).command.value(), expected, problem));
    if (c.ownChange) c.ownChange(expected);
    std::memset(otp, 0, sizeof otp);

    EXPECT_EQ(DuringTouchWait(c.command, c.call), c.expected);
    EXPECT_STREQ(otp, c.otp);
    EXPECT_EQ(KeyStateToXml(LoadState()), KeyStateToXml(expected));
  }
}

TEST_F(VirtualKeyTest, ChangesWaitWhileAnotherProcessChangesTheStateUnderItsLock) {
  ASSERT_EQ(Personalize("A"), CV_OK);
  FileLock lock;
  std::string problem;
  ASSERT_TRUE(StateFile(StatePath()).Lock(lock, problem)) << problem;
  auto enter = std::async(std::launch::async, [&] { return Key().OtpSetValueWithEnter(1); });
  auto touch = std::async(std::launch::async, [&] { return Control({"touch", "timeout"}); });
  EXPECT_EQ(enter.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  EXPECT_FALSE(LoadState().appendEnter);
  EXPECT_EQ(LoadState().touchMode, TouchMode::Ok);
  lock.Release();
  EXPECT_EQ(enter.get(), CV_OK);
  EXPECT_TRUE(touch.get());
  EXPECT_TRUE(LoadState().appendEnter);
  EXPECT_EQ(LoadState().touchMode, TouchMode::Timeout);
}

}  // namespace
