// The button enabling table and the challenge clock text.
#include <gtest/gtest.h>

#include "main_window_fakes.h"
#include "mainwindow/utc_time.h"

namespace {

TEST(ButtonEnabling, FollowsTheModelFlags) {
  struct Case {
    bool deviceFound, getOtpAllowed, resetRunning;
    ButtonStates expected;
  };
  const Case cases[] = {
      {false, false, false, {false, false, false, false, false, true, true}},
      {true, false, false, {true, true, true, false, true, true, true}},
      {true, true, false, {true, true, true, true, true, true, true}},
      {true, true, true, {true, true, true, true, false, true, true}},
      {false, true, false, {false, false, false, true, false, true, true}},
      {false, false, true, {false, false, false, false, false, true, true}},
  };
  for (const Case& c : cases) {
    MainWindowModel model;
    model.deviceFound = c.deviceFound;
    model.getOtpAllowed = c.getOtpAllowed;
    model.resetRunning = c.resetRunning;
    EXPECT_EQ(ButtonsOf(model), c.expected)
        << c.deviceFound << c.getOtpAllowed << c.resetRunning;
  }
}

TEST(ButtonEnabling, NoLaterSearchOrFailureDisablesButtons) {
  MainWindowRig rig;
  rig.logic.Initialise(u"");
  const ButtonStates all{true, true, true, true, true, true, true};
  ASSERT_EQ(ButtonsOf(rig.model), all);

  rig.library.listDeviceStatuses = {CV_ERR_NO_DEVICE};
  rig.library.listStatus = 0x80100001;
  rig.logic.FindDevice();
  rig.logic.ListTokens();
  EXPECT_EQ(ButtonsOf(rig.model), all);
}

TEST(ButtonEnabling, SearchWithStatusZeroAllowsGetOtpAgainAfterReset) {
  MainWindowRig rig;
  rig.logic.Initialise(u"");
  rig.logic.ResetDevice();
  ASSERT_FALSE(IsButtonEnabled(rig.model, MainButton::GetOtp));
  rig.logic.FindDevice();
  EXPECT_TRUE(IsButtonEnabled(rig.model, MainButton::GetOtp));
}

TEST(UtcTimestamp, FormatsCalendarTimeInUtc) {
  EXPECT_EQ(FormatUtcTimestamp(0), "1970-01-01 00:00:00");
  EXPECT_EQ(FormatUtcTimestamp(1704067200 + 28800), "2024-01-01 08:00:00");
  EXPECT_EQ(FormatUtcTimestamp(951782400), "2000-02-29 00:00:00");      // leap day of a century
  EXPECT_EQ(FormatUtcTimestamp(4102444799), "2099-12-31 23:59:59");
  EXPECT_EQ(FormatUtcTimestamp(253402300799), "9999-12-31 23:59:59");
  EXPECT_EQ(FormatUtcTimestamp(-1), "1969-12-31 23:59:59");
}

TEST(UtcTimestamp, ExtremeClocksStayWithinTheChallengeBuffer) {
  MainWindowRig rig;
  rig.library.tokens = {MakeTokenRecord("T", TOTP)};
  rig.logic.ListTokens();
  for (std::int64_t now : {std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()}) {
    rig.host.now = now;
    rig.logic.GetOtp();
  }
  ASSERT_EQ(rig.library.calculateCalls.size(), 2u);
  for (const CalculateCall& call : rig.library.calculateCalls) {
    EXPECT_LT(call.challengeLength, kChallengeBufferSize);
    EXPECT_TRUE(call.challengeTerminated);
    EXPECT_EQ(call.challenge.size(), call.challengeLength);
  }
}

}  // namespace
