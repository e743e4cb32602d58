// The button enabling table and the challenge clock text.
#include <gtest/gtest.h>

#include <limits>

#include "main_window_fakes.h"
#include "mainwindow/utc_time.h"

namespace {

TEST(ButtonEnabling, FollowsTheModelFlags) {
  struct Case {
    bool deviceFound, getOtpAllowed, resetRunning;
    const char* expected;
  };
  const Case cases[] = {
      {false, false, false, "0000011"}, {true, false, false, "1110111"}, {true, true, false, "1111111"},
      {true, true, true, "1111011"},    {false, true, false, "0001011"}, {false, false, true, "0000011"},
  };
  for (const Case& c : cases) {
    MainWindowModel model;
    model.deviceFound = c.deviceFound;
    model.getOtpAllowed = c.getOtpAllowed;
    model.resetRunning = c.resetRunning;
    EXPECT_EQ(ButtonsOf(model), c.expected) << c.deviceFound << c.getOtpAllowed << c.resetRunning;
  }
}

TEST(ButtonEnabling, LaterFailuresKeepButtonsAndASearchReenablesGetOtpAfterReset) {
  MainWindowRig rig;
  rig.logic.Initialise(u"");
  ASSERT_EQ(ButtonsOf(rig.model), kAllEnabled);

  rig.library.listDeviceStatus = CV_ERR_NO_DEVICE;
  rig.library.listStatus = 0x80100001;
  rig.logic.FindDevice();
  rig.logic.ListTokens();
  EXPECT_EQ(ButtonsOf(rig.model), kAllEnabled);

  rig.library.listDeviceStatus = CV_OK;
  rig.logic.ResetDevice();
  ASSERT_EQ(ButtonsOf(rig.model), "1110111");
  rig.logic.FindDevice();
  EXPECT_EQ(ButtonsOf(rig.model), kAllEnabled);
}

TEST(UtcTimestamp, FormatsCalendarTimeInUtc) {
  EXPECT_EQ(FormatUtcTimestamp(0), "1970-01-01 00:00:00");
  EXPECT_EQ(FormatUtcTimestamp(951782400), "2000-02-29 00:00:00");  // leap day of a century
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
  }
}

}  // namespace
