// Start-up, device search and token listing.
#include <gtest/gtest.h>

#include "main_window_fakes.h"
#include "text/format_text.h"

namespace {

const std::string kFound = "Found a Corvane/Meridia device.\r\n";
const std::string kListed = "List tokens succeeded!\r\n";
const std::string kNoToken = "But there is no OTP token in the device!\r\n";

TEST(MainWindowStartup, KeyWithTokensIsFoundListedAndEnablesEveryButtonThenSettlesInterruptedSavesInLinesThatFit) {
  MainWindowRig rig;
  rig.library.tokens = {MakeTokenRecord("AAA0000000001", TOTP, HASH_SHA256, 8, 60),
                        MakeTokenRecord("AAA0000000002", HOTP, HASH_SHA1, 6, 30)};
  rig.host.settleReport.lines = {
      u"The save of the token AAA0000000003 on the key CVM0012345 was completed: the token "
      u"was added to tseeds.xml and tseeds.csv.\r\n"};
  rig.logic.Initialise(u"");

  EXPECT_EQ(rig.Log(), kFound + kListed +
                           "The save of the token AAA0000000003 on the key CVM0012345 was completed: the\r\n"
                           "token was added to tseeds.xml and tseeds.csv.\r\n");
  EXPECT_EQ(rig.Status(), "");
  EXPECT_EQ(rig.model.activeIndex, 0);
  EXPECT_EQ(ButtonsOf(rig.model), kAllEnabled);
  ASSERT_EQ(rig.model.rows.size(), 2u);
  EXPECT_EQ(rig.Row(0), "AAA0000000001|X|TOTP|SHA-256|8|60");
  EXPECT_EQ(rig.Row(1), "AAA0000000002||HOTP|SHA-1|6|30");
  EXPECT_EQ(rig.library.listSelectors, std::vector<std::uint32_t>{0});
  EXPECT_TRUE(rig.library.everyListingBufferZeroed);
}

TEST(MainWindowStartup, EachSearchOutcomeIsLoggedAndOnlyAFoundKeyEnablesButtons) {
  struct Case {
    CvStatus search;
    std::string log;
  };
  const Case cases[] = {
      {CV_ERR_NO_DEVICE,
       "Corvane/Meridia device not found.\r\n"
       "You may need to run this tool as administrator (error= 0x80435602)\r\n"
       "Failed to list tokens (error = 0x80100001)\r\nYou must run this tool as administrator!\r\n"},
      {CV_ERR_MULTIPLE_DEVICES,
       "Multiple Corvane/Meridia devices found (Error= 0x80435603)\r\n"
       "Failed to list tokens (error = 0x80100001)\r\nYou must run this tool as administrator!\r\n"},
      {0x80435699, ""},  // outside the outcome table: silent, and nothing is listed
  };
  for (const Case& c : cases) {
    MainWindowRig rig;
    rig.library.listDeviceStatus = c.search;
    rig.library.listStatus = 0x80100001;
    rig.logic.Initialise(u"");

    EXPECT_EQ(rig.Log(), c.log) << std::hex << c.search;
    EXPECT_EQ(rig.library.listCalls, c.log.empty() ? 0 : 1);
    EXPECT_EQ(rig.Status(), "") << "the listing's warning is cleared once start-up ends";
    EXPECT_EQ(ButtonsOf(rig.model), kOnlyClearAndAbout);
    EXPECT_EQ(rig.model.activeIndex, -1);
  }
}

TEST(MainWindowStartup, LoaderProblemIsTheFirstLineBrokenToFitTheBox) {
  MainWindowRig rig;
  rig.library.listDeviceStatus = CV_ERR_LIBRARY_MISSING;
  rig.logic.Initialise(u"CV_Manager.dll could not be loaded.\r\n");
  EXPECT_EQ(rig.Log(), "CV_Manager.dll could not be loaded.\r\n");

  MainWindowRig withKey;
  withKey.logic.Initialise(
      u"The token library C:\\Program Files\\Corvane\\CV_Manager.dll lacks CV_OTP_Reset, "
      u"CV_OTP_SetValueWithEnter\r\n");
  EXPECT_EQ(withKey.Log(),
            "The token library C:\\Program Files\\Corvane\\CV_Manager.dll lacks CV_OTP_Reset,\r\n"
            "CV_OTP_SetValueWithEnter\r\n" +
                kFound + kListed + kNoToken);
}

TEST(TokenListing, RefreshShowsAllTwentyTokensInLibraryOrderWithoutSearching) {
  MainWindowRig rig;
  for (int i = 0; i < 20; ++i) rig.library.tokens.push_back(MakeTokenRecord(("T" + std::to_string(i)).c_str()));
  rig.logic.ListTokens();

  EXPECT_EQ(rig.events, std::vector<std::string>{"OtpList"});
  ASSERT_EQ(rig.model.rows.size(), 20u);
  for (std::size_t i = 0; i < 20; ++i) {
    EXPECT_EQ(rig.Row(i), "T" + std::to_string(i) + (i == 0 ? "|X" : "|") + "|HOTP|SHA-1|6|30");
  }
  EXPECT_EQ(rig.Log(), kListed);
}

TEST(TokenListing, TheFirstEmptySerialEndsTheList) {
  MainWindowRig rig;
  rig.library.tokens = {MakeTokenRecord(""), MakeTokenRecord("LATER1"), MakeTokenRecord("LATER2")};
  rig.logic.ListTokens();
  EXPECT_TRUE(rig.model.rows.empty());
  EXPECT_EQ(rig.Log(), kListed + kNoToken);
  EXPECT_EQ(rig.model.activeIndex, -1);

  rig.library.tokens = {MakeTokenRecord("A"), MakeTokenRecord("B"), MakeTokenRecord(""), MakeTokenRecord("D")};
  rig.logic.ListTokens();
  ASSERT_EQ(rig.model.rows.size(), 2u);
  EXPECT_EQ(rig.Row(1).substr(0, 2), "B|");
}

TEST(TokenListing, UnknownFieldValuesGiveErrorOrEmptyCells) {
  MainWindowRig rig;
  rig.library.tokens = {MakeTokenRecord("ODD", 0x50, 3, 7, 45),
                        MakeTokenRecord("STATIC", STATIC_PASSWORD, HASH_SHA1, 8, 60),
                        MakeTokenRecord("CR", CHALLENGE_RESPONSE, 0, 0, 0)};
  rig.logic.ListTokens();

  ASSERT_EQ(rig.model.rows.size(), 3u);
  EXPECT_EQ(rig.Row(0), "ODD|X|Error|||");
  EXPECT_EQ(rig.Row(1), "STATIC||STATIC_PASSWORD|SHA-1|8|60");
  EXPECT_EQ(rig.Row(2), "CR||CHALLENGE_RESPONSE|||");
}

TEST(TokenListing, SerialWithoutTerminatorIsReadWithinItsSixtyFourBytes) {
  MainWindowRig rig;
  rig.library.tokens.assign(20, MakeTokenRecord("FILL"));
  // The last record of the buffer: serial and seed without any NUL, so
  // reading past the serial would run off the end of the listing buffer.
  TokenRecord& last = rig.library.tokens.back();
  std::memset(last.serial, 'S', sizeof last.serial);
  std::memset(last.seed, 'B', sizeof last.seed);
  rig.logic.ListTokens();

  ASSERT_EQ(rig.model.rows.size(), 20u);
  EXPECT_EQ(Ascii(rig.model.rows[19][0]), std::string(64, 'S'));
}

TEST(TokenListing, FailureWarnsAndEmptiesTheListAndOnlyAShownTokenSetsTheActiveIndex) {
  MainWindowRig rig;
  rig.logic.Initialise(u"");  // key without tokens
  EXPECT_EQ(rig.model.activeIndex, -1);
  rig.library.tokens = {MakeTokenRecord("A"), MakeTokenRecord("B")};
  rig.logic.ListTokens();
  ASSERT_EQ(rig.model.rows.size(), 2u);
  EXPECT_EQ(rig.model.activeIndex, 0);
  rig.logic.ClearLog();

  rig.library.listStatus = 0xA0000005;
  rig.logic.ListTokens();
  EXPECT_TRUE(rig.model.rows.empty());
  EXPECT_EQ(rig.model.activeIndex, 0);
  EXPECT_EQ(rig.Status(), "You must run this tool as administrator!");
  EXPECT_EQ(rig.Log(), "Failed to list tokens (error = 0xA0000005)\r\nYou must run this tool as administrator!\r\n");
  EXPECT_TRUE(rig.library.everyListingBufferZeroed);

  rig.library.listStatus = CV_OK;
  rig.library.tokens.clear();
  rig.logic.ListTokens();
  EXPECT_EQ(rig.model.activeIndex, 0);
}

// The two statuses the library names get a line of ours after the fixed
// ones, which only ask for an administrator; others get none.
TEST(TokenListing, NoKeyAndTwoKeysAreSaidAfterTheFixedLines) {
  const struct {
    CvStatus status;
    const char* meaning;
  } cases[] = {
      {0x80435602, "The key library finds no key: plug the key in.\r\n"},
      {0x80435603, "The key library finds more than one key: unplug all but the one to program.\r\n"},
      {0x80100001, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    MainWindowRig rig;
    rig.logic.Initialise(u"");
    rig.logic.ClearLog();
    rig.library.listStatus = c.status;
    rig.logic.ListTokens();
    EXPECT_EQ(rig.Log(), Ascii(Format(u"Failed to list tokens (error = 0x%08X)\r\n", c.status)) +
                             "You must run this tool as administrator!\r\n" + c.meaning);
    EXPECT_EQ(rig.Status(), "You must run this tool as administrator!");
    EXPECT_EQ(ButtonsOf(rig.model), kAllEnabled);
  }
}

TEST(TokenListing, TheWarningClearsOnceAListingSucceedsAgain) {
  MainWindowRig rig;
  rig.logic.Initialise(u"");
  const std::string warning = "You must run this tool as administrator!";

  // Refresh with tokens, and with none: both listings succeed.
  for (bool withTokens : {true, false}) {
    rig.library.listStatus = 0xA0000005;
    rig.logic.ListTokens();
    ASSERT_EQ(rig.Status(), warning);
    rig.library.listStatus = CV_OK;
    rig.library.tokens.clear();
    if (withTokens) rig.library.tokens = {MakeTokenRecord("A")};
    rig.logic.ListTokens();
    EXPECT_EQ(rig.Status(), "") << "with tokens: " << withTokens;
  }

  // A search that finds the key but whose listing fails keeps the warning.
  rig.library.listStatus = 0xA0000005;
  rig.logic.FindDevice();
  EXPECT_EQ(rig.Status(), warning);
}

}  // namespace
