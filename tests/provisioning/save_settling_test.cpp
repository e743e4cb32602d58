// How a record that an interrupted save left is settled against the key.
#include <gtest/gtest.h>

#include <map>

#include "provisioning/seed_files/save_journal.h"
#include "provisioning/seed_files/save_settling.h"
#include "provisioning/seed_files/seed_folder.h"
#include "provisioning/seed_files/settle_log.h"
#include "seed_export_test_support.h"
#include "tests/support/file_links.h"
#include "tests/support/scripted_token_library.h"
#include "tests/support/narrow_text.h"
#include "text/code_page.h"

namespace seed_export_test {
namespace {

const char kSerial[] = "0000111111111";

ExportedToken Token() { return HotpToken(kSerial, Rfc4226Secret()); }

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool EndsWith(const std::string& name, const std::string& end) {
  return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
}

// Records under their name and under the one 2.0.1 gave them.
Names Records(const TempFolder& folder) {
  Names records;
  for (const std::string& name : folder.Entries()) {
    const bool record = name.find(".pending-") != std::string::npos && name.find(".otp-") == std::string::npos &&
                        (EndsWith(name, ".record") || EndsWith(name, ".xml"));
    if (record) records.push_back(name);
  }
  return records;
}

// A save killed after writing its record: the record stays, its lock goes.
void LeaveRecord(const TempFolder& folder, const std::string& keySerial) {
  SeedFileAccess files;
  SaveJournal record;
  ASSERT_EQ(record.Begin(folder.Path(), PendingSave{Token(), keySerial}, files), std::nullopt);
}

// Each answer of the key and state of the files, and what settling makes of them.
TEST(PendingSave, LeftRecordIsCompletedDroppedOrKeptWithOneLine) {
  const TokenRecord listed = MakeTokenRecord(kSerial, HOTP, HASH_SHA1, 6, 30);
  struct Case {
    const char* name;
    const char* keyOnline;  // the plugged key's serial; null: no key
    std::vector<TokenRecord> keyTokens;
    CvStatus listStatus;
    SeedFileSet before;  // the files that held the token already
    std::u16string line;
    bool kept;
    bool inFiles;  // both files hold the token once afterwards
  };
  const Case cases[] = {
      {"on the key, in neither file",
       "KEY1",
       {listed},
       CV_OK,
       {},
       u"The save of the token 0000111111111 on the key KEY1 was completed: the token was added to "
       u"hseeds.xml and hseeds.csv.\r\n",
       false,
       true},
      {"on the key, in the CSV file only",
       "KEY1",
       {listed},
       CV_OK,
       {true, false},
       u"The save of the token 0000111111111 on the key KEY1 was completed: the token was added to "
       u"hseeds.xml.\r\n",
       false,
       true},
      {"on the key, in the XML file only",
       "KEY1",
       {MakeTokenRecord("OTHER"), listed},
       CV_OK,
       {false, true},
       u"The save of the token 0000111111111 on the key KEY1 was completed: the token was added to "
       u"hseeds.csv.\r\n",
       false,
       true},
      {"on the key, in both files",
       "KEY1",
       {listed},
       CV_OK,
       {true, true},
       u"The save of the token 0000111111111 on the key KEY1 had reached hseeds.xml and hseeds.csv already; "
       u"its record",
       false,
       true},
      {"not on the key",
       "KEY1",
       {MakeTokenRecord(kSerial, TOTP)},
       CV_OK,
       {},
       u"The save of the token 0000111111111 did not reach the key KEY1, which does not list it; its record",
       false,
       false},
      {"another key plugged in",
       "KEY2",
       {listed},
       CV_OK,
       {},
       u"The save of the token 0000111111111 for the key KEY1 is not finished: plug in that key",
       true,
       false},
      {"no key",
       nullptr,
       {listed},
       CV_OK,
       {},
       u"The save of the token 0000111111111 for the key KEY1 is not finished: plug in that key",
       true,
       false},
      {"the key cannot list",
       "KEY1",
       {listed},
       0x80100001,
       {},
       u"The save of the token 0000111111111 for the key KEY1 is not finished: the key's tokens could not "
       u"be listed (error = 0x80100001).",
       true,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    FaultySeedFiles files;
    AppendSeedFiles(folder.Path(), Token(), files, c.before);
    LeaveRecord(folder, "KEY1");
    ScriptedTokenLibrary library;
    if (c.keyOnline) {
      library.SetSerial(c.keyOnline);
    } else {
      library.deviceInfoStatus = CV_ERR_NO_DEVICE;
    }
    library.tokens = c.keyTokens;
    library.listStatus = c.listStatus;

    const SettleReport report = SettlePendingSaves(folder.Path(), library, files);
    const std::vector<MessageText> lines = AllLines(report);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].compare(0, c.line.size(), c.line), 0) << Narrow(lines[0]);
    ASSERT_EQ(report.records.size(), 1u);
    EXPECT_EQ(report.records[0].kept, c.kept);
    EXPECT_EQ(Records(folder).size(), c.kept ? 1u : 0u);
    const std::string xml = fs::exists(folder / "hseeds.xml") ? ReadBytes(folder / "hseeds.xml") : "";
    const std::string csv = fs::exists(folder / "hseeds.csv") ? ReadBytes(folder / "hseeds.csv") : "";
    const std::size_t expected = c.inFiles ? 1 : 0;
    EXPECT_EQ(Count(xml, std::string("<serial>") + kSerial + "</serial>"), c.before.xml ? 1 : expected);
    EXPECT_EQ(Count(csv, Utf16Le(u"0000111111111,")), c.before.csv ? 1 : expected);
    // Settled once: a kept record is reported again, a removed one never.
    EXPECT_EQ(AllLines(SettlePendingSaves(folder.Path(), library, files)).size(), c.kept ? 1u : 0u);
  }
}

TEST(PendingSave, FileThatCannotTakeTheTokenKeepsTheRecordUntilItCan) {
  TempFolder folder;
  FaultySeedFiles files;
  LeaveRecord(folder, "KEY1");
  ScriptedTokenLibrary library;
  library.SetSerial("KEY1");
  library.tokens = {MakeTokenRecord(kSerial, HOTP, HASH_SHA1, 6, 30)};
  fs::create_directory(folder / "hseeds.xml");  // no file can have its name

  // The CSV file, which can take it, gets it now; the status line names the one that cannot.
  const SettleReport report = SettlePendingSaves(folder.Path(), library, files);
  ASSERT_EQ(report.records.size(), 1u);
  EXPECT_NE(report.records[0].warning.find(u"hseeds.xml:"), MessageText::npos);
  std::vector<MessageText> lines = AllLines(report);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind(u"Could not add the token to hseeds.xml: ", 0), 0u) << Narrow(lines[0]);
  EXPECT_EQ(Count(ReadBytes(folder / "hseeds.csv"), Utf16Le(u"0000111111111,")), 1u);
  EXPECT_EQ(lines[1].rfind(u"The token 0000111111111 is on the key KEY1 but not yet in hseeds.xml; its record", 0), 0u);
  EXPECT_EQ(Records(folder).size(), 1u);

  fs::remove(folder / "hseeds.xml");
  lines = AllLines(SettlePendingSaves(folder.Path(), library, files));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            u"The save of the token 0000111111111 on the key KEY1 was completed: the token "
            u"was added to hseeds.xml.\r\n");
  EXPECT_TRUE(Records(folder).empty());
  EXPECT_EQ(Count(ReadBytes(folder / "hseeds.csv"), Utf16Le(u"0000111111111,")), 1u);
}

// A save killed while writing its record went to no key: what it wrote of
// the record (a seed) goes, unless that save still runs.
TEST(PendingSave, RecordCutShortWhileWrittenIsRemovedUnlessItsSaveRuns) {
  TempFolder folder;
  const std::string cutShort = "hseeds.pending-0123456789abcdef.xml.otp-00112233445566aa.tmp";
  const std::string running = "tseeds.pending-fedcba9876543210.xml.otp-00112233445566bb.tmp";
  WriteBytes(folder.Path() / cutShort, PendingSaveXml(PendingSave{Token(), "KEY1"}).substr(0, 40));
  WriteBytes(folder.Path() / running, "<pendingSave>");
  FileLock held;
  FileError error;
  ASSERT_EQ(held.Acquire(folder / "tseeds.pending-fedcba9876543210.xml.lock", std::chrono::milliseconds(0), error),
            FileLock::Outcome::Held);
  ScriptedTokenLibrary library;
  FaultySeedFiles files;
  EXPECT_TRUE(AllLines(SettlePendingSaves(folder.Path(), library, files)).empty());
  EXPECT_FALSE(fs::exists(folder.Path() / cutShort));
  EXPECT_TRUE(fs::exists(folder.Path() / running));
}

TEST(PendingSave, RunningSavesRecordIsLeftAloneAndADamagedOneIsKeptWithALine) {
  TempFolder folder;
  SeedFileAccess files;
  SaveJournal running;
  ASSERT_EQ(running.Begin(folder.Path(), PendingSave{Token(), "KEY1"}, files), std::nullopt);
  WriteBytes(folder / "tseeds.pending-00000000000000aa.xml", "<pendingSave><key>");
  ScriptedTokenLibrary library;
  library.SetSerial("KEY1");

  const std::vector<MessageText> lines = AllLines(SettlePendingSaves(folder.Path(), library, files));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(
      lines[0],
      u"The save record tseeds.pending-00000000000000aa.xml could not be settled: it is damaged. It was kept.\r\n");
  EXPECT_EQ(Records(folder).size(), 2u);

  running.Abandon();
  EXPECT_EQ(Records(folder), (Names{"tseeds.pending-00000000000000aa.xml"}));
}

// A settled record that cannot be removed is never said to be removed.
TEST(PendingSave, RecordThatCannotBeRemovedIsNotSaidToBe) {
  struct Undeletable final : SeedFileAccess {
    RemoveOutcome RemoveLeftover(const std::filesystem::path&, const ContentCheck&) override {
      RemoveOutcome outcome;
      outcome.state = RemoveOutcome::State::Failed;
      outcome.error.code = 5;
      return outcome;
    }
  };
  for (const bool onKey : {false, true}) {
    SCOPED_TRACE(onKey ? "completed" : "not on the key");
    TempFolder folder;
    Undeletable files;
    LeaveRecord(folder, "KEY1");
    ScriptedTokenLibrary library;
    library.SetSerial("KEY1");
    if (onKey) library.tokens = {MakeTokenRecord(kSerial, HOTP, HASH_SHA1, 6, 30)};
    const std::vector<MessageText> lines = AllLines(SettlePendingSaves(folder.Path(), library, files));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].find(u"was removed"), MessageText::npos) << Narrow(lines[0]);
    EXPECT_NE(lines[0].find(u"could not be removed (error 5"), MessageText::npos) << Narrow(lines[0]);
    EXPECT_EQ(Records(folder).size(), 1u);
  }
}

// A record far larger than any the tool writes is never read whole: kept, with a line.
TEST(PendingSave, OversizedRecordIsKeptUnread) {
  TempFolder folder;
  WriteBytes(folder / "hseeds.pending-00000000000000bb.record", std::string(1 << 20, '<'));
  ScriptedTokenLibrary library;
  SeedFileAccess files;
  const std::vector<MessageText> lines = AllLines(SettlePendingSaves(folder.Path(), library, files));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(u"far larger"), MessageText::npos) << Narrow(lines[0]);
  EXPECT_EQ(Records(folder).size(), 1u);
}

// No pattern that takes seed files from the folder takes a record; records
// that 2.0.1 named "*.xml" are still settled.
TEST(PendingSave, RecordsAreNamedUnlikeSeedFilesAndOldNamesStillSettle) {
  TempFolder folder;
  SeedFileAccess files;
  LeaveRecord(folder, "KEY1");
  const Names written = Records(folder);
  ASSERT_EQ(written.size(), 1u);
  for (const char* unlike : {".xml", ".csv"}) EXPECT_FALSE(EndsWith(written[0], unlike)) << written[0];
  for (const char* start : {"hseeds.xml", "hseeds.csv", "tseeds.xml", "tseeds.csv"}) {
    EXPECT_NE(written[0].rfind(start, 0), 0u) << written[0];
  }
  const ExportedToken old = TotpToken("0000222222222", Rfc4226Secret(), u"", 30);
  WriteBytes(folder / "tseeds.pending-00000000000000aa.xml", PendingSaveXml(PendingSave{old, "KEY1"}));

  ScriptedTokenLibrary library;
  library.SetSerial("KEY1");
  library.tokens = {MakeTokenRecord(kSerial, HOTP, HASH_SHA1, 6, 30),
                    MakeTokenRecord("0000222222222", TOTP, HASH_SHA1, 8, 30)};
  EXPECT_EQ(AllLines(SettlePendingSaves(folder.Path(), library, files)).size(), 2u);
  EXPECT_TRUE(Records(folder).empty());
  EXPECT_EQ(Count(ReadBytes(folder / "hseeds.xml"), "<serial>0000111111111</serial>"), 1u);
  EXPECT_EQ(Count(ReadBytes(folder / "tseeds.xml"), "<serial>0000222222222</serial>"), 1u);
}

// A record never gives a serial a second seed: whichever seed file holds its
// serial with another seed, it stays, the files stay as they are, and its
// line names that file.
TEST(PendingSave, SerialASeedFileHoldsWithAnotherSeedKeepsTheRecord) {
  const ExportedToken otherSeed = HotpToken(kSerial, Bytes("abcdefghijabcdefghij"));
  struct Case {
    const char* file;
    ExportedToken holder;
    SeedFileSet which;
  } cases[] = {
      {"hseeds.xml", otherSeed, {false, true}},
      {"hseeds.csv", otherSeed, {true, false}},
      {"tseeds.csv", TotpToken(kSerial, Bytes("abcdefghijabcdefghij"), u"a,b", 60), {true, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TempFolder folder;
    FaultySeedFiles files;
    AppendSeedFiles(folder.Path(), c.holder, files, c.which);
    const Names before = folder.Entries();
    const std::string held = ReadBytes(folder / c.file);
    LeaveRecord(folder, "KEY1");
    ScriptedTokenLibrary library;
    library.SetSerial("KEY1");
    library.tokens = {MakeTokenRecord(kSerial, HOTP, HASH_SHA1, 6, 30)};

    const std::vector<MessageText> lines = AllLines(SettlePendingSaves(folder.Path(), library, files));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(Widen(c.file)), MessageText::npos) << Narrow(lines[0]);
    EXPECT_NE(lines[0].find(u"another seed"), MessageText::npos) << Narrow(lines[0]);
    EXPECT_EQ(Records(folder).size(), 1u);
    EXPECT_EQ(ReadBytes(folder / c.file), held);
    EXPECT_EQ(folder.Entries().size(), before.size() + 1) << "a seed file was created";
  }
}

// Records of one serial settle none of them, whatever their seeds, their
// names or the key: all stay, the files stay as they are, and one line,
// logged once, names every record and a seed file holding another seed.
TEST(PendingSave, RecordsOfOneSerialAllStayWithOneLine) {
  const ExportedToken second = HotpToken(kSerial, Bytes("abcdefghijabcdefghij"));
  const ExportedToken third = HotpToken(kSerial, Bytes("0123456789abcdefghij"));
  struct Case {
    const char* name;
    std::vector<ExportedToken> records;
    std::vector<ExportedToken> inFiles;
    bool keyPresent;
    const char* filesNamed;
  } cases[] = {
      {"one seed", {Token(), Token()}, {}, true, nullptr},
      {"two seeds", {Token(), second}, {}, true, nullptr},
      {"no key", {Token(), second}, {}, false, nullptr},
      {"one seed in the files", {Token(), second}, {Token()}, true, "also in hseeds.xml and hseeds.csv"},
      {"three", {Token(), second, third}, {}, true, nullptr},
  };
  for (const Case& c : cases) {
    std::vector<MessageText> linesOfOrder[2];
    for (const bool reversed : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (reversed ? ", names reversed" : ""));
      TempFolder folder;
      FaultySeedFiles files;
      for (const ExportedToken& token : c.inFiles) AppendSeedFiles(folder.Path(), token, files);
      Names names;
      for (std::size_t i = 0; i < c.records.size(); ++i) {
        names.push_back("hseeds.pending-00000000000000a" + std::to_string(i) + ".record");
        const ExportedToken& token = c.records[reversed ? c.records.size() - 1 - i : i];
        WriteBytes(folder.Path() / names.back(), PendingSaveXml(PendingSave{token, "KEY1"}));
      }
      std::map<std::string, std::string> before;
      for (const std::string& name : folder.Entries()) before[name] = ReadBytes(folder.Path() / name);
      ScriptedTokenLibrary library;
      library.SetSerial("KEY1");
      if (!c.keyPresent) library.deviceInfoStatus = CV_ERR_NO_DEVICE;
      library.tokens = {MakeTokenRecord(kSerial, HOTP, HASH_SHA1, 6, 30)};

      SettleLog log;
      const SettleReport report = SettlePendingSaves(folder.Path(), library, files);
      linesOfOrder[reversed] = log.LinesToLog(report);
      ASSERT_EQ(linesOfOrder[reversed].size(), 1u);
      const MessageText& line = linesOfOrder[reversed][0];
      for (const std::string& name : names) EXPECT_NE(line.find(Widen(name)), MessageText::npos) << Narrow(line);
      EXPECT_EQ(line.find(u"also in") != MessageText::npos, c.filesNamed != nullptr) << Narrow(line);
      if (c.filesNamed) {
        EXPECT_NE(line.find(Widen(c.filesNamed)), MessageText::npos) << Narrow(line);
      }
      ASSERT_EQ(report.records.size(), names.size());
      for (const SettledRecord& record : report.records) EXPECT_TRUE(record.kept) << record.record;
      std::map<std::string, std::string> after;
      for (const std::string& name : folder.Entries()) after[name] = ReadBytes(folder.Path() / name);
      EXPECT_TRUE(before == after) << "a file or record changed";
      EXPECT_TRUE(log.LinesToLog(SettlePendingSaves(folder.Path(), library, files)).empty());
    }
    EXPECT_EQ(linesOfOrder[0], linesOfOrder[1]) << c.name;
  }
}

// A kept leftover is told once per run of the seed folder, not at every
// settling that finds it again.
TEST(PendingSave, KeptLeftoverIsToldOncePerRun) {
  TempFolder folder;
  fs::create_directory(folder / "scratch");
  const ExportedToken saved = HotpToken("0000222222222", Rfc4226Secret());
  for (const ExportedToken& token : {saved, Token()}) AppendSeedFiles(folder / "scratch", token);
  AppendSeedFiles(folder.Path(), saved);
  // It holds a token that the file lacks.
  WriteBytes(folder / "hseeds.xml.otp-0123456789abcdef.tmp", ReadBytes(folder / "scratch" / "hseeds.xml"));
  ScriptedTokenLibrary library;
  library.SetSerial("KEY1");

  SeedFolder run(folder.Path());
  EXPECT_EQ(AllLines(run.Settle(library)).size(), 1u);
  EXPECT_TRUE(AllLines(run.Settle(library)).empty());
  SeedFolder nextRun(folder.Path());
  EXPECT_EQ(AllLines(nextRun.Settle(library)).size(), 1u);
  EXPECT_TRUE(fs::exists(folder / "hseeds.xml.otp-0123456789abcdef.tmp"));
}

// A leftover or a record that is a link, to the seed file or out of the
// folder, is left alone with a line: nothing is read or removed through it.
TEST(PendingSave, LeftoverOrRecordThatIsALinkIsLeftAloneWithALine) {
  struct Case {
    const char* name;
    const char* link;
    const char* leadsTo;
    std::u16string line;
  };
  const std::u16string leftoverLine =
      u"hseeds.xml.otp-0123456789abcdef.tmp, beside hseeds.xml, is a link; it was left alone.\r\n";
  const std::u16string recordLine =
      u"The save record hseeds.pending-0123456789abcdef.xml could not be settled: it is a link";
  const Case cases[] = {
      {"leftover to the seed file", "hseeds.xml.otp-0123456789abcdef.tmp", "seeds/hseeds.xml", leftoverLine},
      {"leftover out of the folder", "hseeds.xml.otp-0123456789abcdef.tmp", "outside.xml", leftoverLine},
      {"record to the seed file", "hseeds.pending-0123456789abcdef.xml", "seeds/hseeds.xml", recordLine},
      {"record out of the folder", "hseeds.pending-0123456789abcdef.xml", "outside.xml", recordLine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    fs::create_directory(folder / "seeds");
    const std::string record = PendingSaveXml(PendingSave{Token(), "KEY1"});
    WriteBytes(folder / "seeds" / "hseeds.xml", record);  // what a linked record would read
    WriteBytes(folder / "outside.xml", record);
    const fs::path link = folder / "seeds" / c.link;
    if (!MakeLink(link, folder / c.leadsTo)) GTEST_SKIP() << "no symbolic links here";
    const LinkRemover removeLink(link, folder / c.leadsTo);
    ScriptedTokenLibrary library;
    library.SetSerial("KEY1");

    SeedFolder seeds(folder / "seeds");
    const std::vector<MessageText> lines = AllLines(seeds.Settle(library));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].compare(0, c.line.size(), c.line), 0) << Narrow(lines[0]);
    EXPECT_EQ(ReadBytes(folder / "seeds" / "hseeds.xml"), record);
    EXPECT_EQ(ReadBytes(folder / "outside.xml"), record);
    EXPECT_TRUE(fs::exists(link));
  }
}

// A read-only hseeds.xml made a record read-only under Wine (2.x), and its
// publish left the temporary's name as a second name of it. Saved now or
// left so, once the file is writable the record and every name of it go.
TEST(PendingSave, RecordOfAReadOnlySeedFileGoesWithEveryNameOfIt) {
  const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const fs::perms anyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  for (const bool leftBy2x : {false, true}) {
    for (const bool onKey : {false, true}) {
      SCOPED_TRACE(std::string(leftBy2x ? "left by 2.x" : "saved now") + (onKey ? ", on the key" : ", not on it"));
      TempFolder folder;
      SeedFileAccess files;
      AppendSeedFiles(folder.Path(), HotpToken("0000222222222", Rfc4226Secret()), files);
      fs::permissions(folder / "hseeds.xml", readOnly);  // the read-only attribute on Windows
      LeaveRecord(folder, "KEY1");
      const Names records = Records(folder);
      ASSERT_EQ(records.size(), 1u);
      const fs::path record = folder / records[0].c_str();
      EXPECT_NE(fs::status(record).permissions() & anyWrite, fs::perms::none);
      if (leftBy2x) {
        fs::create_hard_link(record, folder / (records[0] + ".otp-0123456789abcdef.tmp").c_str());
        fs::permissions(record, readOnly);
      }
      EXPECT_EQ(folder.Entries().size(), leftBy2x ? 4u : 3u);  // no second name left by the save
      fs::permissions(folder / "hseeds.xml", readOnly | fs::perms::owner_write);
      ScriptedTokenLibrary library;
      library.SetSerial("KEY1");
      if (onKey) library.tokens = {MakeTokenRecord(kSerial, HOTP, HASH_SHA1, 6, 30)};

      const std::vector<MessageText> lines = AllLines(SettlePendingSaves(folder.Path(), library, files));
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0].find(u"could not be removed"), MessageText::npos) << Narrow(lines[0]);
      EXPECT_EQ(folder.Entries(), (Names{"hseeds.csv", "hseeds.xml"}));
      EXPECT_EQ(Count(ReadBytes(folder / "hseeds.xml"), std::string("<serial>") + kSerial), onKey ? 1u : 0u);
    }
  }
}

}  // namespace
}  // namespace seed_export_test
