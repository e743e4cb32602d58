// The New Token form's behaviour against scripted controls, key and services.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "form_fakes.h"
#include "provisioning/form/new_token_form_logic.h"
#include "resources/resource.h"

namespace {

using form_test::FakeFormControls;
using form_test::ScriptedServices;

constexpr int kOk = 1, kCancel = 2, kClicked = 0, kSetFocus = 6;

MessageText U(const std::string& text) { return MessageText(text.begin(), text.end()); }

class NewTokenFormTest : public ::testing::Test {
 protected:
  NewTokenFormTest() : logic(controls, library, "seed-folder", services.Bind()) {
    library.SetSerial("CVM0012345");
    library.duringPersonalize = [this] { saveEnabledDuringPersonalize.push_back(controls.saveEnabled); };
  }

  void Click(int controlId) { logic.HandleCommand(controlId, kClicked); }

  FakeFormControls controls;
  ScriptedTokenLibrary library;
  std::vector<bool> saveEnabledDuringPersonalize;
  ScriptedServices services;
  NewTokenFormLogic logic;
};

TEST_F(NewTokenFormTest, StartUpShowsDefaultsAndTheKeysSerialNumber) {
  logic.StartUp();

  EXPECT_EQ(controls.shown.algorithm, 1);  // TOTP
  EXPECT_EQ(controls.shown.hash, 0);       // SHA-1
  EXPECT_EQ(controls.shown.digits, 0);     // 6
  EXPECT_EQ(controls.shown.interval, 1);   // 60 Seconds
  EXPECT_TRUE(controls.shown.appendEnter);
  EXPECT_EQ(controls.shown.serial, u"CVM0012345");
  EXPECT_STREQ(logic.State().serialAnsi, "CVM0012345");
  EXPECT_TRUE(controls.shown.seed.empty());
  EXPECT_TRUE(controls.shown.userName.empty());
  EXPECT_FALSE(controls.saveEnabled);
  EXPECT_TRUE(library.deviceInfoZeroedOnEntry);
  EXPECT_EQ(controls.writes, 2);
  EXPECT_EQ(controls.beeps, 0);
  EXPECT_EQ(logic.Result().resultStatus, kNothingSaved);
}

TEST_F(NewTokenFormTest, KeySerialFillingAll32BytesIsReadWithoutRunningOn) {
  std::memset(library.deviceInfo.sn, 'S', sizeof library.deviceInfo.sn);
  std::memcpy(library.deviceInfo.deviceName, "NAME", 5);
  logic.StartUp();
  EXPECT_EQ(controls.shown.serial, MessageText(32, u'S'));
  EXPECT_EQ(std::strlen(logic.State().serialAnsi), 32u);
}

TEST_F(NewTokenFormTest, FailedDeviceInfoLeavesTheSerialEmptyAndSaysNothing) {
  library.deviceInfoStatus = CV_ERR_NO_DEVICE;
  logic.StartUp();
  EXPECT_TRUE(controls.shown.serial.empty());
  EXPECT_EQ(controls.beeps, 0);
  EXPECT_EQ(controls.shown.algorithm, 1);
}

TEST_F(NewTokenFormTest, CommandsCloseTheFormWithTheirResults) {
  struct Case {
    int id, notification, result;
  } cases[] = {{kOk, kClicked, 1}, {kOk, 1, 1}, {kCancel, 0, 2}, {kCancel, 5, 2},
               {IDC_FORM_CANCEL, kClicked, 1003}};
  for (const Case& c : cases) {
    FakeFormControls fresh;
    NewTokenFormLogic form(fresh, library, "seed-folder", services.Bind());
    form.StartUp();
    EXPECT_TRUE(form.HandleCommand(c.id, c.notification));
    EXPECT_EQ(fresh.endResult, c.result) << c.id;
    EXPECT_EQ(form.Result().resultStatus, kNothingSaved);
    EXPECT_TRUE(form.Result().resultMessage.empty());
  }
  EXPECT_TRUE(library.personalized.empty());
}

TEST_F(NewTokenFormTest, ButtonsReactToClicksOnly) {
  logic.StartUp();
  for (int id : {IDC_FORM_CANCEL, IDC_GENERATE_SERIAL, IDC_GENERATE_SEED, IDC_SAVE}) {
    EXPECT_FALSE(logic.HandleCommand(id, kSetFocus)) << id;
  }
  EXPECT_FALSE(logic.HandleCommand(IDC_ALGORITHM_HOTP, kClicked));  // radios have no handler
  EXPECT_FALSE(controls.endResult);
  EXPECT_TRUE(services.seedCounts.empty());
  EXPECT_EQ(controls.shown.serial, u"CVM0012345");
}

TEST_F(NewTokenFormTest, GenerateSerialReplacesOnlyTheSerial) {
  logic.StartUp();
  Click(IDC_GENERATE_SEED);
  const MessageText seed = controls.shown.seed;
  controls.shown.userName = u"alice";
  controls.shown.algorithm = 0;
  controls.shown.digits = 1;
  controls.shown.interval = 0;
  controls.shown.appendEnter = false;
  controls.shown.serial = u"typed by hand";

  Click(IDC_GENERATE_SERIAL);

  EXPECT_EQ(controls.shown.serial, u"0000123456789");
  EXPECT_STREQ(logic.State().serialAnsi, "0000123456789");
  EXPECT_EQ(controls.shown.seed, seed);
  EXPECT_EQ(controls.shown.userName, u"alice");
  EXPECT_EQ(controls.shown.algorithm, 0);
  EXPECT_EQ(controls.shown.digits, 1);
  EXPECT_EQ(controls.shown.interval, 0);
  EXPECT_FALSE(controls.shown.appendEnter);
  EXPECT_TRUE(controls.saveEnabled);
}

TEST_F(NewTokenFormTest, GenerateSerialBeforeAnySeedLeavesSaveDisabled) {
  logic.StartUp();
  Click(IDC_GENERATE_SERIAL);
  EXPECT_FALSE(controls.saveEnabled);
  EXPECT_TRUE(controls.shown.seed.empty());
}

TEST_F(NewTokenFormTest, SeedIsShownAsUpperCaseHexOfItsLength) {
  logic.StartUp();
  Click(IDC_GENERATE_SEED);  // SHA-1: 20 bytes A0..B3
  EXPECT_EQ(services.seedCounts.back(), 20);
  EXPECT_EQ(controls.shown.seed, u"A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3");
  EXPECT_STREQ(logic.State().seedHex, "A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3");
  EXPECT_TRUE(controls.saveEnabled);

  controls.shown.hash = 1;  // SHA-256: 32 bytes B4..D3
  Click(IDC_GENERATE_SEED);
  EXPECT_EQ(services.seedCounts.back(), 32);
  EXPECT_EQ(controls.shown.seed.size(), 64u);
  EXPECT_EQ(controls.shown.seed.substr(0, 6), u"B4B5B6");
  EXPECT_EQ(controls.shown.seed.substr(58), u"D1D2D3");
  EXPECT_EQ(controls.shown.serial, u"CVM0012345");
}

TEST_F(NewTokenFormTest, ShorterSeedAfterALongerOneSendsNoStaleBytes) {
  logic.StartUp();
  controls.shown.hash = 1;
  Click(IDC_GENERATE_SEED);  // 32 bytes A0..BF
  controls.shown.hash = 0;
  Click(IDC_GENERATE_SEED);  // 20 bytes C0..D3
  EXPECT_EQ(controls.shown.seed.size(), 40u);
  for (std::size_t i = 20; i < kMaxSeedLength; ++i) EXPECT_EQ(logic.State().seedBytes[i], 0) << i;

  Click(IDC_SAVE);
  ASSERT_EQ(library.personalized.size(), 1u);
  const TokenRecord& record = library.personalized[0].first;
  EXPECT_EQ(record.hashAlgorithm, 1u);
  for (std::size_t i = 0; i < 20; ++i) EXPECT_EQ(record.seed[i], 0xC0 + i) << i;
  for (std::size_t i = 20; i < sizeof record.seed; ++i) EXPECT_EQ(record.seed[i], 0) << i;
  ASSERT_EQ(services.exports.size(), 1u);
  EXPECT_EQ(services.exports[0].second.seed,
            std::vector<std::uint8_t>(record.seed, record.seed + 20));
}

TEST_F(NewTokenFormTest, SaveIsRefusedWhenTheHashChangedAfterTheSeed) {
  logic.StartUp();
  Click(IDC_GENERATE_SEED);  // for SHA-1
  controls.shown.hash = 1;   // operator then picks SHA-256
  Click(IDC_SAVE);

  EXPECT_TRUE(library.personalized.empty());
  EXPECT_FALSE(controls.endResult);
  EXPECT_EQ(controls.beeps, 1);
  EXPECT_EQ(controls.focusedId, IDC_GENERATE_SEED);
  EXPECT_TRUE(controls.saveEnabled);
  EXPECT_TRUE(services.exports.empty());

  // Back to the hash the seed was made for: the same seed goes out.
  controls.shown.hash = 0;
  Click(IDC_SAVE);
  ASSERT_EQ(library.personalized.size(), 1u);
  EXPECT_EQ(library.personalized[0].first.hashAlgorithm, 1u);
  EXPECT_EQ(library.personalized[0].first.seed[0], 0xA0);
}

TEST_F(NewTokenFormTest, ANewSeedForTheChangedHashIsAccepted) {
  logic.StartUp();
  Click(IDC_GENERATE_SEED);
  controls.shown.hash = 1;
  Click(IDC_SAVE);
  Click(IDC_GENERATE_SEED);
  Click(IDC_SAVE);
  ASSERT_EQ(library.personalized.size(), 1u);
  const TokenRecord& record = library.personalized[0].first;
  EXPECT_EQ(record.hashAlgorithm, 2u);
  EXPECT_EQ(record.seed[0], 0xA0 + 20);
  EXPECT_EQ(record.seed[31], 0xA0 + 20 + 31);
  EXPECT_EQ(services.exports[0].second.seed.size(), 32u);
}

TEST_F(NewTokenFormTest, SerialOf63BytesIsSentWhole) {
  logic.StartUp();
  Click(IDC_GENERATE_SEED);
  const std::string serial(63, '7');
  controls.shown.serial = U(serial);
  Click(IDC_SAVE);
  ASSERT_EQ(library.personalized.size(), 1u);
  const TokenRecord& record = library.personalized[0].first;
  EXPECT_EQ(std::string(record.serial, 63), serial);
  EXPECT_EQ(record.serial[63], '\0');
  EXPECT_EQ(services.exports[0].second.serial, serial);
}

TEST_F(NewTokenFormTest, SerialOf64BytesIsRefusedWithFocusOnTheField) {
  logic.StartUp();
  Click(IDC_GENERATE_SEED);
  controls.shown.serial = U(std::string(64, '7'));
  Click(IDC_SAVE);

  EXPECT_TRUE(library.personalized.empty());
  EXPECT_FALSE(controls.endResult);
  EXPECT_EQ(controls.beeps, 1);
  EXPECT_EQ(controls.focusedId, IDC_SERIAL_NUMBER);
  EXPECT_TRUE(controls.saveEnabled);
  EXPECT_EQ(controls.shown.serial.size(), 64u);  // nothing the operator typed is lost
  EXPECT_EQ(logic.Result().resultStatus, kNothingSaved);
}

TEST_F(NewTokenFormTest, FailedPersonalizeReportsTheStatusAndExportsNothing) {
  library.personalizeStatus = 0x8043560A;
  logic.StartUp();
  Click(IDC_GENERATE_SEED);
  Click(IDC_SAVE);

  ASSERT_EQ(library.personalized.size(), 1u);
  EXPECT_EQ(library.personalized[0].second, 1u);
  EXPECT_EQ(saveEnabledDuringPersonalize, std::vector<bool>{false});
  EXPECT_EQ(logic.Result().resultStatus, kWriteToKeyFailed);
  EXPECT_EQ(logic.Result().resultMessage, u"Failed to save the new token (error = 0x8043560A)\r\n");
  EXPECT_TRUE(services.exports.empty());
  EXPECT_EQ(controls.endResult, 1001);
  EXPECT_EQ(controls.callsAfterEnd, 0);
}

TEST_F(NewTokenFormTest, SuccessfulSaveReportsTokenThenExportFailures) {
  services.exportFailureLines = {u"Could not add the token to tseeds.xml: x.\r\n",
                                 u"Could not add the token to tseeds.csv: y.\r\n"};
  logic.StartUp();
  controls.shown.userName = u"bob";
  controls.shown.appendEnter = false;
  Click(IDC_GENERATE_SEED);
  Click(IDC_SAVE);

  const NewTokenResult result = logic.Result();
  EXPECT_EQ(result.resultStatus, kTokenSaved);
  EXPECT_EQ(result.resultMessage,
            u"Save new token succeeded!\r\n"
            u"SN=CVM0012345, SEED=A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3\r\n"
            u"Could not add the token to tseeds.xml: x.\r\n"
            u"Could not add the token to tseeds.csv: y.\r\n");
  EXPECT_FALSE(result.appendEnter);
  EXPECT_EQ(controls.endResult, 1001);
  EXPECT_EQ(controls.callsAfterEnd, 0);

  ASSERT_EQ(services.exports.size(), 1u);
  const auto& [folder, token] = services.exports[0];
  EXPECT_EQ(folder, std::filesystem::path("seed-folder"));
  EXPECT_TRUE(token.totp);
  EXPECT_FALSE(token.sha256);
  EXPECT_EQ(token.digits, 6u);
  EXPECT_EQ(token.interval, 60u);
  EXPECT_EQ(token.serial, "CVM0012345");
  EXPECT_EQ(token.userName, u"bob");
  EXPECT_EQ(token.seed.size(), 20u);

  const TokenRecord& record = library.personalized.at(0).first;
  EXPECT_EQ(record.type, TOTP);
  EXPECT_EQ(record.timeStep, 60u);
}

TEST_F(NewTokenFormTest, EmptySerialIsSentAsAllZeroSerial) {
  library.deviceInfoStatus = CV_ERR_NO_DEVICE;
  logic.StartUp();
  Click(IDC_GENERATE_SEED);
  Click(IDC_SAVE);
  ASSERT_EQ(library.personalized.size(), 1u);
  const TokenRecord& record = library.personalized[0].first;
  for (char c : record.serial) EXPECT_EQ(c, '\0');
  EXPECT_EQ(logic.Result().resultStatus, kTokenSaved);
}

TEST_F(NewTokenFormTest, WithoutSeedFolderTheTokenIsSavedAndTheSkippedExportNamed) {
  FakeFormControls fresh;
  NewTokenFormLogic form(fresh, library, std::filesystem::path(), services.Bind());
  form.StartUp();
  form.HandleCommand(IDC_GENERATE_SEED, kClicked);
  form.HandleCommand(IDC_SAVE, kClicked);
  EXPECT_TRUE(services.exports.empty());
  EXPECT_EQ(form.Result().resultStatus, kTokenSaved);
  EXPECT_NE(form.Result().resultMessage.find(u"Seed files not written"), MessageText::npos);
}

TEST_F(NewTokenFormTest, FailedTransfersBeepFocusAndCarryOn) {
  logic.StartUp();
  controls.failReadAt = IDC_SEED;
  Click(IDC_GENERATE_SERIAL);
  EXPECT_EQ(controls.beeps, 1);
  EXPECT_EQ(controls.focusedId, IDC_SEED);
  EXPECT_EQ(controls.shown.serial, u"0000123456789");

  controls.failReadAt = 0;
  controls.failWriteAt = IDC_USER_NAME;
  Click(IDC_GENERATE_SEED);
  EXPECT_EQ(controls.beeps, 2);
  EXPECT_EQ(controls.focusedId, IDC_USER_NAME);
  EXPECT_EQ(controls.shown.seed.size(), 40u);  // written before the failing step
  EXPECT_TRUE(controls.saveEnabled);

  controls.failWriteAt = 0;
  controls.failReadAt = IDC_APPEND_ENTER;
  Click(IDC_SAVE);
  EXPECT_EQ(controls.beeps, 3);
  EXPECT_EQ(controls.focusedId, IDC_APPEND_ENTER);
  EXPECT_EQ(library.personalized.size(), 1u);
  EXPECT_EQ(controls.endResult, 1001);
}

TEST_F(NewTokenFormTest, FailedSeedGeneratorLeavesNoSeedAndSaveDisabled) {
  services.seedFails = true;
  logic.StartUp();
  Click(IDC_GENERATE_SEED);
  EXPECT_EQ(controls.beeps, 1);
  EXPECT_FALSE(controls.saveEnabled);
  EXPECT_TRUE(controls.shown.seed.empty());
  for (std::uint8_t byte : logic.State().seedBytes) EXPECT_EQ(byte, 0);
  EXPECT_EQ(logic.State().seedLength, 0u);
}

TEST_F(NewTokenFormTest, FailedSeedGeneratorKeepsTheEarlierSeed) {
  logic.StartUp();
  Click(IDC_GENERATE_SEED);
  const MessageText seed = controls.shown.seed;
  services.seedFails = true;
  Click(IDC_GENERATE_SEED);
  EXPECT_EQ(controls.beeps, 1);
  EXPECT_EQ(controls.shown.seed, seed);
  EXPECT_EQ(logic.State().seedBytes[0], 0xA0);
  EXPECT_TRUE(controls.saveEnabled);

  Click(IDC_SAVE);
  ASSERT_EQ(library.personalized.size(), 1u);
  EXPECT_EQ(library.personalized[0].first.seed[0], 0xA0);
}

TEST_F(NewTokenFormTest, FailedSerialGeneratorKeepsTheSerial) {
  services.serialFails = true;
  logic.StartUp();
  Click(IDC_GENERATE_SERIAL);
  EXPECT_EQ(controls.beeps, 1);
  EXPECT_EQ(controls.shown.serial, u"CVM0012345");
  EXPECT_STREQ(logic.State().serialAnsi, "CVM0012345");
}

TEST_F(NewTokenFormTest, SaveWithoutAnySeedIsRefused) {
  logic.StartUp();
  Click(IDC_SAVE);  // the window keeps Save disabled; the logic refuses as well
  EXPECT_TRUE(library.personalized.empty());
  EXPECT_EQ(controls.focusedId, IDC_GENERATE_SEED);
  EXPECT_FALSE(controls.endResult);
}

}  // namespace
