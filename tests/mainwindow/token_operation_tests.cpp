// Get OTP, Reset, New Token and Set ENTER.
#include <gtest/gtest.h>

#include <tuple>

#include "main_window_fakes.h"

namespace {

const std::string kPrompt = "Please touch the key!...\r\n";

class TokenOperations : public ::testing::Test {
 protected:
  // Starts with a found key whose tokens are `tokens`, and a clean log.
  void Start(std::vector<TokenRecord> tokens) {
    rig.library.tokens = std::move(tokens);
    rig.logic.Initialise(u"");
    rig.logic.ClearLog();
    rig.events.clear();
  }
  MainWindowRig rig;
};

TEST_F(TokenOperations, GetOtpOnTotpSendsTheUtcPlusEightChallengeAfterShowingThePrompt) {
  Start({MakeTokenRecord("TIME1", TOTP, HASH_SHA1, 6, 30), MakeTokenRecord("EVENT1", HOTP)});
  rig.host.now = 1704067200;  // 2024-01-01 00:00:00 UTC
  rig.library.otpBytes = "492039";
  rig.logic.GetOtp();

  ASSERT_EQ(rig.library.calculateCalls.size(), 1u);
  const CalculateCall& call = rig.library.calculateCalls[0];
  EXPECT_EQ(call.challenge, "2024-01-01 08:00:00");
  EXPECT_TRUE(call.challengeTerminated);
  EXPECT_STREQ(call.token.serial, "TIME1");
  EXPECT_EQ(rig.Log(), kPrompt + "Get OTP succeeded!\r\nTOTP = 492039\r\n");
  EXPECT_EQ(rig.Status(), "");
  // The prompt was put on screen before the key was awaited.
  EXPECT_EQ(rig.events, (std::vector<std::string>{"OtpList", "ShowModelNow", "OtpCalculate"}));
  ASSERT_EQ(rig.host.shownModels.size(), 1u);
  EXPECT_EQ(rig.host.shownModels[0].statusText, "Please touch the key...");
  EXPECT_EQ(rig.host.shownModels[0].logText, kPrompt);
}

TEST_F(TokenOperations, GetOtpOnOtherTypesSendsNoChallengeAndReportsHotp) {
  for (std::uint32_t type : {HOTP, STATIC_PASSWORD, CHALLENGE_RESPONSE}) {
    Start({MakeTokenRecord("TOKEN", type)});
    rig.library.otpBytes = "7777";
    rig.logic.GetOtp();
    ASSERT_FALSE(rig.library.calculateCalls.empty());
    EXPECT_EQ(rig.library.calculateCalls.back().challengeLength, 0u) << type;
    EXPECT_TRUE(rig.library.calculateCalls.back().challengeTerminated);
    EXPECT_EQ(rig.Log(), kPrompt + "Get OTP succeeded!\r\nHOTP = 7777\r\n") << type;
  }
}

TEST_F(TokenOperations, GetOtpActsOnTheFirstRecordOfAFreshListing) {
  Start({MakeTokenRecord("OLD-FIRST")});
  // The key now lists different tokens than the window shows.
  rig.library.tokens = {MakeTokenRecord("NOW-FIRST", HOTP, HASH_SHA256, 8, 60), MakeTokenRecord("NOW-SECOND", TOTP)};
  rig.logic.GetOtp();

  EXPECT_TRUE(rig.library.everyListingBufferZeroed);
  ASSERT_EQ(rig.library.calculateCalls.size(), 1u);
  const TokenRecord& token = rig.library.calculateCalls[0].token;
  EXPECT_STREQ(token.serial, "NOW-FIRST");
  EXPECT_EQ(std::tie(token.hashAlgorithm, token.digits, token.timeStep),
            std::make_tuple(static_cast<std::uint32_t>(HASH_SHA256), 8u, 60u));
  EXPECT_EQ(rig.Row(0).substr(0, 10), "OLD-FIRST|") << "Get OTP does not refill the window's list";
}

TEST_F(TokenOperations, GetOtpIsSilentBeforeATokenWasListedAndWhenTheFreshListingFails) {
  Start({});
  ASSERT_EQ(rig.model.activeIndex, -1);
  rig.logic.GetOtp();
  EXPECT_TRUE(rig.events.empty());

  Start({MakeTokenRecord("A")});
  rig.library.listStatus = 0x80435602;
  rig.logic.GetOtp();
  EXPECT_EQ(rig.events, std::vector<std::string>{"OtpList"});
  EXPECT_EQ(rig.Log(), "");
  EXPECT_EQ(rig.Status(), "");
  EXPECT_EQ(rig.model.rows.size(), 1u);
}

TEST_F(TokenOperations, GetOtpFailureIsLoggedAndAnUnterminatedOtpIsReadWithinTheBuffer) {
  Start({MakeTokenRecord("A")});
  rig.library.calculateStatus = 0x8010000C;
  rig.logic.GetOtp();
  EXPECT_EQ(rig.Log(), kPrompt + "Failed to get OTP (error code = 0x8010000C)\r\n");

  rig.logic.ClearLog();
  rig.library.calculateStatus = CV_OK;
  rig.library.otpBytes = std::string(kOtpBufferSize, '9');
  rig.logic.GetOtp();
  EXPECT_EQ(rig.Log(), kPrompt + "Get OTP succeeded!\r\nHOTP = " + std::string(kOtpBufferSize, '9') + "\r\n");
}

TEST_F(TokenOperations, ResetFailureKeepsEverythingAndSuccessEmptiesTheListAndDisablesGetOtp) {
  Start({MakeTokenRecord("A"), MakeTokenRecord("B")});
  rig.library.resetStatus = 0x6982;
  rig.logic.ResetDevice();
  EXPECT_EQ(rig.Log(), kPrompt + "Failed to reset the device (error code = 0x00006982)\r\n");
  EXPECT_EQ(rig.model.rows.size(), 2u);
  EXPECT_EQ(ButtonsOf(rig.model), kAllEnabled);

  Start({MakeTokenRecord("A"), MakeTokenRecord("B")});
  rig.host.shownModels.clear();
  rig.library.resetStatus = CV_OK;
  rig.logic.ResetDevice();
  // Shown before the key is awaited: the prompt, and Reset disabled.
  EXPECT_EQ(rig.events, (std::vector<std::string>{"ShowModelNow", "OtpReset"}));
  ASSERT_EQ(rig.host.shownModels.size(), 1u);
  const ModelSnapshot& during = rig.host.shownModels[0];
  EXPECT_EQ(during.statusText + "|" + during.logText + "|" + during.buttons,
            "Please touch the key...|" + kPrompt + "|1111011");
  EXPECT_EQ(rig.Log(), kPrompt + "Reset Succeeded!\r\n");
  EXPECT_EQ(rig.Status(), "");
  EXPECT_TRUE(rig.model.rows.empty());
  EXPECT_EQ(rig.model.activeIndex, 0);
  EXPECT_EQ(ButtonsOf(rig.model), "1110111");
}

TEST_F(TokenOperations, NewTokenNotSavedLogsOnlyAFailureAndCallsNothing) {
  Start({MakeTokenRecord("A")});
  rig.host.newTokenResult = {kNothingSaved, u"ignored\r\n", true, {}};
  rig.logic.NewToken();
  EXPECT_EQ(rig.Log(), "");

  rig.host.newTokenResult = {kWriteToKeyFailed, u"Failed to write the token (error = 0x80100001)\r\n", true, {}};
  rig.logic.NewToken();
  EXPECT_EQ(rig.Log(), "Failed to write the token (error = 0x80100001)\r\n");
  EXPECT_EQ(rig.events, (std::vector<std::string>{"SettleInterruptedSaves", "ShowModelNow", "RunNewTokenForm",
                                                  "SettleInterruptedSaves", "ShowModelNow", "RunNewTokenForm"}));
}

TEST_F(TokenOperations, NewTokenSavedSetsEnterListsAndEnablesGetOtp) {
  Start({MakeTokenRecord("A")});
  rig.logic.ResetDevice();  // Get OTP now disabled
  rig.logic.ClearLog();
  rig.events.clear();

  rig.library.tokens = {MakeTokenRecord("NEW", TOTP)};
  rig.library.setEnterStatus = 0x1234;
  rig.host.newTokenResult = {kTokenSaved, u"Token saved.\r\n", false,
                             u"The token is not in tseeds.xml: see the messages."};
  rig.host.settleReport.lines = {u"A record was kept.\r\n"};
  rig.logic.NewToken();

  // What earlier saves left is settled, and shown, before the form can write anything.
  EXPECT_EQ(rig.events, (std::vector<std::string>{"SettleInterruptedSaves", "ShowModelNow", "RunNewTokenForm",
                                                  "OtpSetValueWithEnter", "OtpList"}));
  ASSERT_FALSE(rig.host.shownModels.empty());
  EXPECT_EQ(rig.host.shownModels.back().logText, "A record was kept.\r\n");
  EXPECT_EQ(rig.library.setEnterValues, std::vector<std::uint32_t>{0});
  EXPECT_EQ(rig.Log(),
            "A record was kept.\r\nToken saved.\r\nFailed to set C/R (error = 0x00001234)\r\nList tokens "
            "succeeded!\r\n");
  ASSERT_EQ(rig.model.rows.size(), 1u);
  EXPECT_EQ(ButtonsOf(rig.model), kAllEnabled);
  // A seed file that did not take the token is not one line among the others only.
  EXPECT_EQ(rig.Status(), "The token is not in tseeds.xml: see the messages.");
}

// A key that answered with an error but lists the token holds it: the window
// follows up as after a save (ENTER, listing, "Get OTP"); a plain failure not.
TEST(NewTokenOnTheKey, AKeyHoldingTheTokenIsFollowedUpWhateverItAnswered) {
  const struct {
    std::int32_t status;
    bool keyHoldsToken;
    bool followedUp;
  } cases[] = {
      {kWriteToKeyFailed, false, false},
      {kWriteToKeyFailed, true, true},
      {kTokenSaved, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status * 10 + c.keyHoldsToken);
    MainWindowRig rig;
    rig.library.tokens = {MakeTokenRecord("A")};
    rig.logic.Initialise(u"");
    rig.logic.ResetDevice();  // Get OTP now disabled
    rig.logic.ClearLog();
    rig.library.tokens = {MakeTokenRecord("NEW", TOTP)};
    NewTokenResult result;
    result.resultStatus = c.status;
    result.resultMessage = u"Form's lines.\r\n";
    result.appendEnter = false;
    result.seedFileWarning = u"The token is not in tseeds.xml: see the messages.";
    result.keyHoldsToken = c.keyHoldsToken;
    rig.host.newTokenResult = result;
    rig.logic.NewToken();

    EXPECT_EQ(rig.library.setEnterValues, c.followedUp ? std::vector<std::uint32_t>{0} : std::vector<std::uint32_t>{});
    EXPECT_EQ(rig.Log(),
              c.followedUp ? "Form's lines.\r\nSet C/R succeeded!\r\nList tokens succeeded!\r\n" : "Form's lines.\r\n");
    EXPECT_EQ(rig.model.rows.size(), c.followedUp ? 1u : 0u);
    EXPECT_EQ(ButtonsOf(rig.model), c.followedUp ? kAllEnabled : "1110111");
    EXPECT_EQ(rig.Status(), c.followedUp ? Ascii(result.seedFileWarning) : "");
  }
}

TEST_F(TokenOperations, SetEnterSendsTheChoiceOnlyOnSave) {
  Start({MakeTokenRecord("A")});
  rig.host.setEnterResult = 1;
  rig.host.setEnterChoice = false;
  rig.logic.SetEnter();
  rig.host.setEnterChoice = true;
  rig.logic.SetEnter();
  rig.host.setEnterResult = 2;  // Cancel, Esc or the close box
  rig.logic.SetEnter();

  EXPECT_EQ(rig.library.setEnterValues, (std::vector<std::uint32_t>{0, 1}));
  EXPECT_EQ(rig.host.setEnterInitialChoices, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(rig.Log(), "Set C/R succeeded!\r\nSet C/R succeeded!\r\n");
  // The list is not refreshed after Set ENTER.
  EXPECT_EQ(rig.events, (std::vector<std::string>{"RunSetEnterDialog", "OtpSetValueWithEnter", "RunSetEnterDialog",
                                                  "OtpSetValueWithEnter", "RunSetEnterDialog"}));

  rig.logic.ClearLog();
  rig.library.setEnterStatus = 0xFFFFFFFF;
  rig.logic.SetAppendEnter(true);
  EXPECT_EQ(rig.Log(), "Failed to set C/R (error = 0xFFFFFFFF)\r\n");
}

}  // namespace
