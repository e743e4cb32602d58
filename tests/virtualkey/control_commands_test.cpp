#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/virtualkey/token_records.h"
#include "virtualkey/control_commands.h"
#include "virtualkey/key_state_xml.h"

namespace {

ControlCommand MustParse(std::vector<std::string> arguments) {
  const ParsedControlCommand parsed = ParseControlCommand(arguments);
  EXPECT_TRUE(parsed.command) << parsed.error;
  return parsed.command.value_or(ControlCommand{});
}

KeyState Applied(const std::vector<std::string>& arguments, KeyState state = {}) {
  std::string problem;
  EXPECT_TRUE(ApplyControlCommand(MustParse(arguments), state, problem)) << problem;
  return state;
}

TEST(ControlCommands, BehaviourCommandsChangeTheStateAndResetMakesANewKey) {
  EXPECT_FALSE(Applied({"unplug"}).plugged);
  KeyState unplugged;
  unplugged.plugged = false;
  EXPECT_TRUE(Applied({"plug"}, unplugged).plugged);
  EXPECT_EQ(Applied({"devices", "3"}).deviceCount, 3u);

  const KeyState delayed = Applied({"touch", "delay", "2500"});
  EXPECT_EQ(delayed.touchMode, TouchMode::Delay);
  EXPECT_EQ(delayed.touchDelayMs, 2500u);
  EXPECT_EQ(Applied({"touch", "timeout"}).touchMode, TouchMode::Timeout);
  EXPECT_EQ(Applied({"touch", "ok"}, delayed).touchMode, TouchMode::Ok);

  KeyState failing = Applied({"fail", "CV_OTP_Reset", "0x80435699"});
  failing = Applied({"fail", "CV_ListDevice", "8043569a"}, failing);
  EXPECT_EQ(failing.forcedStatuses.at("CV_OTP_Reset"), 0x80435699u);
  EXPECT_EQ(failing.forcedStatuses.at("CV_ListDevice"), 0x8043569Au);
  failing = Applied({"fail-after-write", "CV_OTP_Personalize", "0x80435699"}, failing);
  EXPECT_EQ(failing.failuresAfterWrite.at("CV_OTP_Personalize"), 0x80435699u);
  KeyState back;
  std::string problem;
  ASSERT_TRUE(KeyStateFromXml(KeyStateToXml(failing), back, problem)) << problem;
  EXPECT_EQ(back.failuresAfterWrite, failing.failuresAfterWrite);
  EXPECT_TRUE(Applied({"clear-faults"}, failing).forcedStatuses.empty());
  EXPECT_TRUE(Applied({"clear-faults"}, failing).failuresAfterWrite.empty());

  // Reset makes a new key of whatever was there.
  KeyState changed = Applied({"add-token", "--serial", "A"}, failing);
  changed = Applied({"touch", "timeout"}, Applied({"unplug"}, changed));
  changed.appendEnter = true;
  EXPECT_EQ(KeyStateToXml(Applied({"reset"}, changed)), KeyStateToXml(KeyState{}));
}

TEST(ControlCommands, AddTokenSetsEveryFieldWithDefaultsAndOddValues) {
  const KeyState state = Applied({"add-token", "--type", "totp", "--hash", "sha256", "--digits", "8", "--step", "60",
                                  "--serial", "SN-1", "--seed", "00ff10", "--counter", "42", "--reserved", "0x7"});
  TokenRecord expected = Seeded(MakeTokenRecord("SN-1", TOTP, HASH_SHA256, 8, 60), std::string("\0\xFF\x10", 3));
  expected.reserved = 7;
  EXPECT_EQ(std::memcmp(&state.tokens.at(0).record, &expected, sizeof expected), 0);
  EXPECT_EQ(state.tokens.at(0).counter, 42u);

  expected = Seeded(MakeTokenRecord("A"));  // HOTP, SHA-1, 6 digits, 30 s, the RFC 4226 secret
  EXPECT_EQ(std::memcmp(&Applied({"add-token", "--serial", "A"}).tokens.at(0).record, &expected, sizeof expected), 0);

  // Records the tool must show as unusual can be made on purpose.
  expected = Seeded(MakeTokenRecord("B", 0x50, 9, 6, 45));
  EXPECT_EQ(
      std::memcmp(
          &Applied({"add-token", "--serial", "B", "--type", "0x50", "--hash", "9", "--step", "45"}).tokens.at(0).record,
          &expected, sizeof expected),
      0);
}

TEST(ControlCommands, AddTokenWhenFullFailsAndKeepsTheState) {
  KeyState state;
  for (int i = 0; i < 20; ++i) state = Applied({"add-token", "--serial", std::to_string(i)}, state);
  std::string problem;
  KeyState copy = state;
  EXPECT_FALSE(ApplyControlCommand(MustParse({"add-token", "--serial", "new"}), copy, problem));
  EXPECT_NE(problem.find("20 tokens"), std::string::npos);
  EXPECT_EQ(KeyStateToXml(copy), KeyStateToXml(state));
}

TEST(ControlCommands, UsageErrorsSayWhatIsWrong) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"devices"},
      {"devices", "0"},
      {"devices", "100"},
      {"touch", "delay", "600001"},
      {"touch", "sometimes"},
      {"fail", "CV_Unknown", "0x80435699"},
      {"fail", "CV_OTP_Reset", "0"},
      {"fail", "CV_OTP_Reset", "0x180435699"},
      {"fail-after-write", "CV_OTP_Personalize"},
      {"add-token"},
      {"add-token", "--serial", std::string(64, 'S')},
      {"add-token", "--serial", "A", "--seed", "123"},
      {"add-token", "--serial", "A", "--seed", std::string(130, 'A')},
      {"add-token", "--serial", "A", "--digits", "4294967296"},
      {"add-token", "--serial", "A", "--colour", "red"},
  };
  for (const auto& arguments : bad) {
    const ParsedControlCommand parsed = ParseControlCommand(arguments);
    EXPECT_FALSE(parsed.command) << (arguments.empty() ? "(none)" : arguments[0]);
    EXPECT_FALSE(parsed.error.empty());
  }
  EXPECT_TRUE(ParseControlCommand({"add-token", "--serial", std::string(63, 'S')}).command);
}

TEST(ControlCommands, ShowDescribesTokensAndBehaviour) {
  KeyState state = Applied({"add-token", "--serial", "first", "--type", "totp"});
  state = Applied({"add-token", "--serial", "second", "--counter", "5"}, state);
  state = Applied({"fail", "CV_OTP_Calculate", "0x80435699"}, state);
  state = Applied({"touch", "delay", "300"}, state);
  const std::string text = DescribeKeyState(state);
  EXPECT_NE(text.find("0 (active) serial=\"second\""), std::string::npos) << text;
  EXPECT_NE(text.find("1 serial=\"first\" type=TOTP"), std::string::npos) << text;
  EXPECT_NE(text.find("counter=5"), std::string::npos) << text;
  EXPECT_NE(text.find("CV_OTP_Calculate -> 0x80435699"), std::string::npos) << text;
  EXPECT_NE(text.find("delay 300 ms"), std::string::npos) << text;
  EXPECT_NE(text.find("seed=3132333435363738393031323334353637383930"), std::string::npos);
}

}  // namespace
