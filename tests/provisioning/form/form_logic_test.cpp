// The New Token form's behaviour against scripted controls, key and services.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "form_fakes.h"
#include "provisioning/form/new_token_form_logic.h"
#include "tests/support/temp_folder.h"

namespace {

using form_test::FakeFormControls;
using form_test::ScriptedServices;

MessageText U(const std::string& text) { return MessageText(text.begin(), text.end()); }

bool AllZero(const std::uint8_t* bytes, std::size_t from, std::size_t to) {
  return std::all_of(bytes + from, bytes + to, [](std::uint8_t b) { return b == 0; });
}

class NewTokenFormTest : public ::testing::Test {
 protected:
  NewTokenFormTest() : logic(controls, library, services.seeds, services.Bind()) {
    library.SetSerial("CVM0012345");
    library.duringPersonalize = [this] { saveEnabledDuringPersonalize.push_back(controls.saveEnabled); };
  }

  const TokenRecord& Sent() { return library.personalized.at(0).first; }

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
  EXPECT_TRUE(controls.shown.seed.empty());
  EXPECT_FALSE(controls.saveEnabled);
  EXPECT_TRUE(library.deviceInfoZeroedOnEntry);
  EXPECT_EQ(logic.Result().resultStatus, kNothingSaved);

  // A serial filling all 32 bytes is read without running on into the next field.
  std::memset(library.deviceInfo.sn, 'S', sizeof library.deviceInfo.sn);
  std::memcpy(library.deviceInfo.deviceName, "NAME", 5);
  logic.StartUp();
  EXPECT_EQ(controls.shown.serial, MessageText(32, u'S'));
  EXPECT_EQ(controls.beeps, 0);
}

#ifdef _WIN32
// A user whose locale is not the system's: the key's own serial is shown and
// sent back in the one code page the key and the files get, byte for byte.
TEST_F(NewTokenFormTest, KeysSerialGoesBackAsItsOwnBytesWhenTheUsersCodePageIsNotTheSystems) {
  const LCID greek = MAKELCID(MAKELANGID(LANG_GREEK, SUBLANG_GREEK_GREECE), SORT_DEFAULT);
  const LCID before = GetThreadLocale();
  ASSERT_NE(GetACP(), 1253u);
  ASSERT_TRUE(SetThreadLocale(greek));
  library.SetSerial("CVM\xE1-1");  // alpha in 1253, a-acute in 1252
  logic.StartUp();
  logic.GenerateSeed();
  logic.SaveToken();
  SetThreadLocale(before);
  EXPECT_EQ(controls.shown.serial, u"CVM\u03B1-1");
  ASSERT_EQ(library.personalized.size(), 1u) << "refused";
  EXPECT_STREQ(Sent().serial, "CVM\xE1-1");
}
#endif

// Without the key's serial the field starts empty; a token without one would
// hide the key's later tokens, so "Save" refuses it until one is there.
TEST_F(NewTokenFormTest, WithoutTheKeysSerialTheEmptySerialIsRefusedBeforeTheKey) {
  library.deviceInfoStatus = CV_ERR_NO_DEVICE;
  logic.StartUp();
  EXPECT_TRUE(controls.shown.serial.empty());
  EXPECT_EQ(controls.beeps, 0);
  logic.GenerateSeed();
  logic.SaveToken();
  EXPECT_TRUE(library.personalized.empty());
  ASSERT_EQ(controls.tips.size(), 1u);
  EXPECT_EQ(controls.tips[0].field, FormField::SerialNumber);
  EXPECT_EQ(controls.tips[0].title, u"No serial number");
  EXPECT_FALSE(controls.ended);

  logic.GenerateSerial();
  logic.SaveToken();
  ASSERT_EQ(library.personalized.size(), 1u);
  EXPECT_EQ(std::string(Sent().serial), services.serial);
}

// The key's own serial is the default: the first token takes it, the second
// would replace that token on the key, and a serial tseeds.xml holds would
// give the server two seeds for one serial.
TEST_F(NewTokenFormTest, SerialTheKeyListsIsRefusedBeforeTheKeyIsWritten) {
  library.tokens = {MakeTokenRecord("CVM0012345", TOTP)};
  logic.StartUp();
  logic.GenerateSeed();
  logic.SaveToken();
  EXPECT_TRUE(library.personalized.empty());
  ASSERT_EQ(controls.tips.size(), 2u);  // the first one as the form opened
  EXPECT_EQ(controls.tips[1].title, u"Serial number in use");
  EXPECT_NE(controls.tips[1].text.find(u"The key already holds"), MessageText::npos);
  EXPECT_NE(controls.tips[1].text.find(u"\"Generate\""), MessageText::npos);
  EXPECT_EQ(controls.shown.serial, u"CVM0012345");  // the form keeps every value
  EXPECT_FALSE(controls.ended);
}

TEST_F(NewTokenFormTest, ClosingEndsTheFormTheWayItWasAskedAndSavesNothing) {
  for (FormEnd how : {FormEnd::Ok, FormEnd::Cancel, FormEnd::CancelButton}) {
    FakeFormControls fresh;
    NewTokenFormLogic form(fresh, library, services.seeds, services.Bind());
    form.StartUp();
    form.GenerateSeed();
    form.Close(how);
    EXPECT_EQ(fresh.ended, how);
    EXPECT_EQ(form.Result().resultStatus, kNothingSaved);
    EXPECT_TRUE(form.Result().resultMessage.empty());
  }
  EXPECT_TRUE(library.personalized.empty());
  EXPECT_TRUE(services.exports.empty());
}

TEST_F(NewTokenFormTest, GenerateSerialReplacesOnlyTheSerial) {
  logic.StartUp();
  logic.GenerateSerial();  // before any seed Save stays disabled
  EXPECT_FALSE(controls.saveEnabled);

  logic.GenerateSeed();
  const MessageText seed = controls.shown.seed;
  controls.shown.userName = u"alice";
  controls.shown.algorithm = 0;
  controls.shown.appendEnter = false;
  controls.shown.serial = u"typed by hand";
  logic.GenerateSerial();

  EXPECT_EQ(controls.shown.serial, u"0000123456789");
  EXPECT_EQ(controls.shown.seed, seed);
  EXPECT_EQ(controls.shown.userName, u"alice");
  EXPECT_EQ(controls.shown.algorithm, 0);
  EXPECT_FALSE(controls.shown.appendEnter);
  EXPECT_TRUE(controls.saveEnabled);
}

TEST_F(NewTokenFormTest, SeedIsUpperCaseHexOfItsLengthAndAShorterOneLeavesNoStaleBytes) {
  logic.StartUp();
  controls.shown.hash = 1;
  logic.GenerateSeed();  // SHA-256: 32 bytes A0..BF
  EXPECT_EQ(services.seedCounts.back(), 32);
  EXPECT_EQ(controls.shown.seed.size(), 64u);
  EXPECT_EQ(controls.shown.seed.substr(58), u"BDBEBF");
  controls.shown.hash = 0;
  logic.GenerateSeed();  // SHA-1: 20 bytes C0..D3
  EXPECT_EQ(services.seedCounts.back(), 20);
  EXPECT_EQ(controls.shown.seed, u"C0C1C2C3C4C5C6C7C8C9CACBCCCDCECFD0D1D2D3");
  EXPECT_TRUE(controls.saveEnabled);

  logic.SaveToken();
  ASSERT_EQ(library.personalized.size(), 1u);
  EXPECT_EQ(Sent().hashAlgorithm, 1u);
  EXPECT_EQ(Sent().seed[0], 0xC0);
  EXPECT_EQ(Sent().seed[19], 0xD3);
  EXPECT_TRUE(AllZero(Sent().seed, 20, sizeof Sent().seed));
  ASSERT_EQ(services.exports.size(), 1u);
  EXPECT_EQ(services.exports[0].second.seed, std::vector<std::uint8_t>(Sent().seed, Sent().seed + 20));
}

TEST_F(NewTokenFormTest, SaveIsRefusedWhenTheHashChangedAfterTheSeed) {
  logic.StartUp();
  logic.GenerateSeed();     // for SHA-1
  controls.shown.hash = 1;  // operator then picks SHA-256
  logic.SaveToken();

  EXPECT_TRUE(library.personalized.empty());
  EXPECT_FALSE(controls.ended);
  EXPECT_EQ(controls.beeps, 1);
  EXPECT_EQ(controls.focused, FormField::GenerateSeed);
  ASSERT_EQ(controls.tips.size(), 1u);
  EXPECT_EQ(controls.tips[0].field, FormField::Seed);
  EXPECT_EQ(controls.tips[0].title, u"New seed needed");
  EXPECT_TRUE(controls.saveEnabled);
  EXPECT_TRUE(services.exports.empty());

  // A new seed for the changed hash is accepted.
  logic.GenerateSeed();
  logic.SaveToken();
  ASSERT_EQ(library.personalized.size(), 1u);
  EXPECT_EQ(Sent().hashAlgorithm, 2u);
  EXPECT_EQ(Sent().seed[0], 0xA0 + 20);
  EXPECT_EQ(Sent().seed[31], 0xA0 + 20 + 31);
  EXPECT_EQ(services.exports.at(0).second.seed.size(), 32u);
}

TEST_F(NewTokenFormTest, SerialOf63BytesIsSentWholeAnd64AreRefusedWithFocusOnTheField) {
  logic.StartUp();
  logic.GenerateSeed();
  controls.shown.serial = U(std::string(64, '7'));
  logic.SaveToken();
  EXPECT_TRUE(library.personalized.empty());
  EXPECT_FALSE(controls.ended);
  EXPECT_EQ(controls.beeps, 1);
  EXPECT_EQ(controls.focused, FormField::SerialNumber);
  ASSERT_EQ(controls.tips.size(), 1u);
  EXPECT_EQ(controls.tips[0].field, FormField::SerialNumber);
  EXPECT_EQ(controls.tips[0].title, u"Serial number not accepted");
  EXPECT_TRUE(controls.saveEnabled);
  EXPECT_EQ(controls.shown.serial.size(), 64u);  // nothing the operator typed is lost

  const std::string serial(63, '7');
  controls.shown.serial = U(serial);
  logic.SaveToken();
  ASSERT_EQ(library.personalized.size(), 1u);
  EXPECT_EQ(std::string(Sent().serial, 63), serial);
  EXPECT_EQ(Sent().serial[63], '\0');
  EXPECT_EQ(services.exports.at(0).second.serial, serial);
}

// Text the key or the seed files cannot hold as typed is refused like a too
// long serial: a beep, the focus and a tip on the field, nothing written.
TEST_F(NewTokenFormTest, SaveRefusesTextThatCannotBeStoredAsTypedAndSaysWhyOnTheField) {
  struct Case {
    MessageText serial, userName;
    FormField field;
    MessageText title;
  } cases[] = {
      {u"SN\u0001-1", u"", FormField::SerialNumber, u"Serial number not accepted"},
      {u"SN-1", u"bob\u0001", FormField::UserName, u"User name not accepted"},
      {u"SN-1", u"bob\r\n", FormField::UserName, u"User name not accepted"},
      // Natively the C locale's ASCII stands for the thread's ANSI code page.
      {u"\u03A9SN-1", u"", FormField::SerialNumber, u"Serial number not accepted"},
  };
  logic.StartUp();
  logic.GenerateSeed();
  int refusals = 0;
  for (const Case& c : cases) {
    controls.shown.serial = c.serial;
    controls.shown.userName = c.userName;
    logic.SaveToken();
    ++refusals;
    EXPECT_EQ(controls.beeps, refusals);
    EXPECT_EQ(controls.focused, c.field);
    ASSERT_EQ(controls.tips.size(), static_cast<std::size_t>(refusals));
    EXPECT_EQ(controls.tips.back().field, c.field);
    EXPECT_EQ(controls.tips.back().title, c.title);
    EXPECT_FALSE(controls.tips.back().text.empty());
    EXPECT_EQ(controls.shown.serial, c.serial);  // nothing the operator typed is changed
    EXPECT_EQ(controls.shown.userName, c.userName);
  }
  EXPECT_TRUE(library.personalized.empty());
  EXPECT_TRUE(services.exports.empty());
  EXPECT_FALSE(controls.ended);
  EXPECT_TRUE(controls.saveEnabled);
  EXPECT_EQ(logic.Result().resultStatus, kNothingSaved);

  // Mended, the same form saves.
  controls.shown.serial = u"SN-1";
  controls.shown.userName = u"bob\tsmith";
  logic.SaveToken();
  ASSERT_EQ(library.personalized.size(), 1u);
  EXPECT_STREQ(Sent().serial, "SN-1");
  EXPECT_EQ(services.exports.at(0).second.userName, u"bob\tsmith");
}

TEST_F(NewTokenFormTest, FailedPersonalizeReportsTheStatusAndExportsNothing) {
  library.personalizeStatus = 0x8043560A;
  logic.StartUp();
  logic.GenerateSeed();
  logic.SaveToken();

  ASSERT_EQ(library.personalized.size(), 1u);
  EXPECT_EQ(library.personalized[0].second, 1u);
  EXPECT_EQ(saveEnabledDuringPersonalize, std::vector<bool>{false});
  EXPECT_EQ(logic.Result().resultStatus, kWriteToKeyFailed);
  EXPECT_EQ(logic.Result().resultMessage, u"Failed to save the new token (error = 0x8043560A)\r\n");
  EXPECT_TRUE(services.exports.empty());
  EXPECT_EQ(controls.ended, FormEnd::Saved);
  EXPECT_EQ(controls.callsAfterEnd, 0);
}

// A full key is told by its listing, whatever code it refused the token with.
TEST(NewTokenFormFullKey, RefusalByAKeyListingTwentyTokensSaysItIsFull) {
  for (const std::size_t listed : {std::size_t{19}, kMaxTokens}) {
    SCOPED_TRACE(listed);
    FakeFormControls controls;
    ScriptedTokenLibrary library;
    library.SetSerial("CVM0012345");
    for (std::size_t i = 0; i < listed; ++i)
      library.tokens.push_back(MakeTokenRecord(("K" + std::to_string(i)).c_str()));
    library.personalizeStatus = 0x80100001;
    ScriptedServices services;
    SeedFolder noFolder{std::filesystem::path()};
    NewTokenFormLogic logic(controls, library, noFolder, services.Bind());
    logic.StartUp();
    logic.GenerateSeed();
    logic.SaveToken();
    const MessageText& message = logic.Result().resultMessage;
    EXPECT_EQ(message.rfind(u"Failed to save the new token (error = 0x80100001)\r\n", 0), 0u);
    EXPECT_EQ(message.find(u"lists 20 tokens") != MessageText::npos, listed == kMaxTokens);
  }
}

TEST_F(NewTokenFormTest, SuccessfulSaveReportsTokenThenExportFailuresInLinesThatFit) {
  services.exportFailureLines = {
      u"Could not add the token to tseeds.xml: the file is open in another program "
      u"(error 32: The process cannot access the file because it is being used by "
      u"another process.).\r\n",
      u"Could not add the token to tseeds.csv: y.\r\n"};
  services.exportWritten = {false, false};
  logic.StartUp();
  controls.shown.userName = u"bob";
  controls.shown.appendEnter = false;
  logic.GenerateSeed();
  logic.SaveToken();

  const NewTokenResult result = logic.Result();
  EXPECT_EQ(result.resultStatus, kTokenSaved);
  EXPECT_EQ(result.resultMessage,
            u"Save new token succeeded!\r\n"
            u"SN=CVM0012345, SEED=A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3\r\n"
            u"Could not add the token to tseeds.xml: the file is open in another program\r\n"
            u"(error 32: The process cannot access the file because it is being used by\r\n"
            u"another process.).\r\n"
            u"Could not add the token to tseeds.csv: y.\r\n"
            u"tseeds.xml declares 30-second tokens: this token's 60-second interval is only in\r\n"
            u"tseeds.csv, so import tseeds.csv for it.\r\n");
  EXPECT_EQ(result.seedFileWarning, u"The token is not in tseeds.xml and tseeds.csv: see the messages.");
  EXPECT_FALSE(result.appendEnter);
  EXPECT_EQ(controls.ended, FormEnd::Saved);
  EXPECT_EQ(controls.callsAfterEnd, 0);
  ASSERT_EQ(services.exports.size(), 1u);
  EXPECT_EQ(services.exports[0].first, services.folder.Path());
  EXPECT_EQ(services.exports[0].second.userName, u"bob");
  EXPECT_EQ(Sent().type, TOTP);
}

TEST_F(NewTokenFormTest, WithoutSeedFolderTheTokenIsSavedAndTheSkippedExportNamed) {
  FakeFormControls fresh;
  form_test::ScriptedSeedFolder noFolder{std::filesystem::path()};
  NewTokenFormLogic form(fresh, library, noFolder, services.Bind());
  form.StartUp();
  form.GenerateSeed();
  form.SaveToken();
  EXPECT_TRUE(noFolder.exports.empty());
  EXPECT_EQ(form.Result().resultStatus, kTokenSaved);
  EXPECT_NE(form.Result().resultMessage.find(u"Seed files not written"), MessageText::npos);
}

TEST_F(NewTokenFormTest, FailedTransfersBeepFocusAndCarryOn) {
  logic.StartUp();
  controls.failReadAt = FormField::Seed;
  logic.GenerateSerial();
  EXPECT_EQ(controls.beeps, 1);
  EXPECT_EQ(controls.focused, FormField::Seed);
  EXPECT_EQ(controls.shown.serial, u"0000123456789");

  controls.failReadAt.reset();
  controls.failWriteAt = FormField::UserName;
  logic.GenerateSeed();
  EXPECT_EQ(controls.beeps, 2);
  EXPECT_EQ(controls.focused, FormField::UserName);
  EXPECT_EQ(controls.shown.seed.size(), 40u);  // written before the failing step
  EXPECT_TRUE(controls.saveEnabled);

  controls.failWriteAt.reset();
  controls.failReadAt = FormField::AppendEnter;
  logic.SaveToken();
  EXPECT_EQ(controls.beeps, 3);
  EXPECT_EQ(controls.focused, FormField::AppendEnter);
  EXPECT_EQ(library.personalized.size(), 1u);
  EXPECT_EQ(controls.ended, FormEnd::Saved);
}

TEST_F(NewTokenFormTest, FailedGeneratorsKeepWhatWasThereAndNeverEnableSave) {
  services.seedFails = true;
  services.serialFails = true;
  logic.StartUp();
  logic.GenerateSeed();
  logic.GenerateSerial();
  EXPECT_EQ(controls.beeps, 2);
  EXPECT_FALSE(controls.saveEnabled);
  EXPECT_TRUE(controls.shown.seed.empty());
  EXPECT_EQ(controls.shown.serial, u"CVM0012345");
  logic.SaveToken();  // the window keeps Save disabled; the logic refuses as well
  EXPECT_TRUE(library.personalized.empty());
  EXPECT_EQ(controls.focused, FormField::GenerateSeed);

  // A seed generated earlier stays and is the one sent.
  services.seedFails = false;
  logic.GenerateSeed();
  services.seedFails = true;
  logic.GenerateSeed();
  EXPECT_EQ(controls.shown.seed.substr(0, 4), u"A0A1");
  EXPECT_TRUE(controls.saveEnabled);
  logic.SaveToken();
  ASSERT_EQ(library.personalized.size(), 1u);
  EXPECT_EQ(Sent().seed[0], 0xA0);
}

}  // namespace

namespace {

// The record of a save, with the real seed files: written before the key,
// gone once the key refused the token or both files hold it, kept when a
// file could not take it, and the key left alone when it cannot be written.
TEST(NewTokenFormPendingSave, RecordGoesWithTheKeysAnswerAndTheFilesAndBlocksTheKeyWhenUnwritable) {
  enum class Folder { Writable, Missing, XmlRefusesRewrite };
  struct Case {
    const char* name;
    Folder folder;
    CvStatus personalize;
    bool keyWritten;
    bool recordKept;
    bool stored = false;         // the key stored the token whatever it answered
    CvStatus listAfter = CV_OK;  // the key's listing after the write
  };
  const Case cases[] = {
      {"saved to both files", Folder::Writable, CV_OK, true, false},
      {"the key refused it", Folder::Writable, 0x80435699, true, false},
      {"the key stored it but answered with an error", Folder::Writable, 0x80435699, true, false, true},
      {"the key failed and cannot say what it holds", Folder::Writable, 0x80435699, true, true, true, 0x80435602},
      {"the XML file cannot take it", Folder::XmlRefusesRewrite, CV_OK, true, true},
      {"the record cannot be written", Folder::Missing, CV_OK, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::filesystem::path seedFolder = c.folder == Folder::Missing ? folder / "missing" : folder.Path();
    // Readable, so the serial can be checked, but not rewritten: its DOCTYPE would be lost.
    if (c.folder == Folder::XmlRefusesRewrite)
      WriteBytes(folder / "tseeds.xml", "<!DOCTYPE data><data><tokens/></data>");
    FakeFormControls controls;
    ScriptedTokenLibrary library;
    library.SetSerial("CVM0012345");
    library.personalizeStatus = c.personalize;
    std::vector<std::string> recordsDuringPersonalize;
    const auto records = [&] {
      std::vector<std::string> names;
      if (!std::filesystem::exists(seedFolder)) return names;
      for (const auto& entry : std::filesystem::directory_iterator(seedFolder)) {
        const std::string name = entry.path().filename().u8string();
        if (name.rfind("tseeds.pending-", 0) == 0 && name.size() == 38) names.push_back(name);  // "...<16>.record"
      }
      return names;
    };
    library.duringPersonalize = [&] {
      recordsDuringPersonalize = records();
      if (c.stored) library.tokens.push_back(library.personalized.back().first);
      library.listStatus = c.listAfter;
    };
    ScriptedServices scripted;
    NewTokenFormServices services = NewTokenFormServices::Standard();
    services.generateSeedBytes = scripted.Bind().generateSeedBytes;
    {
      SeedFolder seeds(seedFolder);
      NewTokenFormLogic logic(controls, library, seeds, services);
      logic.StartUp();
      logic.GenerateSeed();
      logic.SaveToken();
      EXPECT_EQ(library.personalized.size(), c.keyWritten ? 1u : 0u);
      if (!c.keyWritten) {
        ASSERT_EQ(controls.tips.size(), 1u);
        EXPECT_EQ(controls.tips[0].title, u"Seed files cannot be written");
        EXPECT_FALSE(controls.ended);  // the form keeps every value for another try
        continue;
      }
      EXPECT_EQ(recordsDuringPersonalize.size(), 1u) << "the record must be there while the key is written";
    }
    EXPECT_EQ(records().size(), c.recordKept ? 1u : 0u);
    // A token on the key reaches the files, now or when its record is settled.
    EXPECT_EQ(std::filesystem::exists(seedFolder / "tseeds.csv"), c.stored ? !c.recordKept : c.personalize == CV_OK);
  }
}

}  // namespace
