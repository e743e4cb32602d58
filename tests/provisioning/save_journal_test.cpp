// The journal of a save: its record is there from Begin until both seed
// files hold the token or the key refused it.
#include <gtest/gtest.h>

#include "provisioning/seed_files/save_journal.h"
#include "seed_export_test_support.h"
#include "tests/support/file_rules.h"

namespace seed_export_test {
namespace {

const char kSerial[] = "0000111111111";

ExportedToken Token() { return HotpToken(kSerial, Rfc4226Secret()); }

// The records of saves in `folder`.
Names Records(const TempFolder& folder) {
  Names records;
  for (const std::string& name : folder.Entries()) {
    if (name.find(".pending-") != std::string::npos && name.find(".otp-") == std::string::npos && name.size() > 7 &&
        name.compare(name.size() - 7, 7, ".record") == 0) {
      records.push_back(name);
    }
  }
  return records;
}

// A record or a new seed file holds seeds: it has the strictest rules of the
// seed files of its kind from its first byte, or, with none yet, what a new
// file in the folder gets.
TEST(PendingSave, RecordAndNewSeedFilesHaveTheStrictestRulesOfTheirKind) {
  struct Case {
    const char* name;
    bool totp;
    const char* restricted;  // the seed file that keeps others out
    const char* open;        // one under the folder's rules; null: none
    const char* rulesOf;     // whose rules the record and the new seed file must have
  };
  const Case cases[] = {
      {"HOTP", false, "hseeds.xml", nullptr, "hseeds.xml"},
      {"TOTP", true, "tseeds.xml", nullptr, "tseeds.xml"},
      {"the CSV file alone", false, "hseeds.csv", nullptr, "hseeds.csv"},
      {"the CSV file closed, the XML file open", false, "hseeds.csv", "hseeds.xml", "hseeds.csv"},
      {"the XML file closed, the CSV file open", true, "tseeds.xml", "tseeds.csv", "tseeds.xml"},
      {"no seed file of its kind", false, "tseeds.xml", nullptr, "plain.xml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    WriteBytes(folder / c.restricted, "");
    KeepOthersOut(folder / c.restricted);
    if (c.open) WriteBytes(folder / c.open, "");
    WriteBytes(folder / "plain.xml", "");
    SeedFileAccess files;
    SaveJournal record;
    const ExportedToken token = c.totp ? TotpToken(kSerial, Rfc4226Secret(), u"", 30) : Token();
    ASSERT_EQ(record.Begin(folder.Path(), PendingSave{token, "KEY1"}, files), std::nullopt);
    const Names records = Records(folder);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(RulesOf(folder / records[0].c_str()), RulesOf(folder / c.rulesOf));

    AppendSeedFiles(folder.Path(), token, files);
    for (const char* extension : {".xml", ".csv"}) {
      const fs::path file = SeedFile(folder.Path(), token, extension);
      const std::string name = file.filename().u8string();
      if (name == c.restricted || (c.open && name == c.open)) continue;
      EXPECT_EQ(RulesOf(file), RulesOf(folder / c.rulesOf)) << name;
    }
  }
}

// The record's presence after each step of a save: it goes only once both
// files took the token or the key refused it.
TEST(SaveJournal, RecordIsThereUntilBothFilesHoldTheTokenOrTheKeyRefusedIt) {
  enum class Step { Begin, Complete, CompleteCsvOnly, CompleteXmlOnly, Abandon };
  const struct {
    const char* name;
    std::vector<Step> steps;
    bool kept;
  } cases[] = {
      {"begun", {Step::Begin}, true},
      {"both files took it", {Step::Begin, Step::Complete}, false},
      {"the XML file did not take it", {Step::Begin, Step::CompleteCsvOnly}, true},
      {"the CSV file did not take it", {Step::Begin, Step::CompleteXmlOnly}, true},
      {"the key refused it", {Step::Begin, Step::Abandon}, false},
      {"the files later took it", {Step::Begin, Step::CompleteCsvOnly, Step::Complete}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    SeedFileAccess files;
    SaveJournal journal;
    for (const Step step : c.steps) {
      switch (step) {
        case Step::Begin:
          ASSERT_EQ(journal.Begin(folder.Path(), PendingSave{Token(), "KEY1"}, files), std::nullopt);
          break;
        case Step::Complete: EXPECT_EQ(journal.Complete(SeedFileSet{true, true}), std::nullopt); break;
        case Step::CompleteCsvOnly: EXPECT_EQ(journal.Complete(SeedFileSet{true, false}), std::nullopt); break;
        case Step::CompleteXmlOnly: EXPECT_EQ(journal.Complete(SeedFileSet{false, true}), std::nullopt); break;
        case Step::Abandon: journal.Abandon(); break;
      }
    }
    EXPECT_EQ(Records(folder).size(), c.kept ? 1u : 0u);
  }
}

// A publish that leaves the record's temporary name as a second name of it
// (a read-only mark kept it from going): that name goes, the record stays.
TEST(SaveJournal, SecondNameThePublishLeftGoes) {
  TempFolder folder;
  SeedFileAccess files;
  files.publishOptions.swap = [](const fs::path& temporary, const fs::path& target, bool, FileError& error) {
    fs::create_hard_link(temporary, target);
    error.code = 5;
    return true;
  };
  SaveJournal journal;
  ASSERT_EQ(journal.Begin(folder.Path(), PendingSave{Token(), "KEY1"}, files), std::nullopt);
  const Names records = Records(folder);
  ASSERT_EQ(records.size(), 1u);
  for (const std::string& name : folder.Entries()) EXPECT_EQ(name.find(".otp-"), std::string::npos) << name;
  EXPECT_EQ(ReadBytes(folder / records[0].c_str()), PendingSaveXml(PendingSave{Token(), "KEY1"}));
}

// A record that cannot be written is the reason the key is not written.
TEST(SaveJournal, RecordThatCannotBeWrittenGivesItsReasonAndLeavesNothing) {
  TempFolder folder;
  SeedFileAccess files;
  SaveJournal journal;
  const std::optional<JournalFailure> failure = journal.Begin(folder / "missing", PendingSave{Token(), "KEY1"}, files);
  ASSERT_NE(failure, std::nullopt);
  // A caller tells why from the value, not from the words.
  EXPECT_EQ(failure->step, JournalFailure::Step::LockFile);
  EXPECT_EQ(failure->error.kind, FileErrorKind::Missing);
  EXPECT_TRUE(folder.Entries().empty());
  EXPECT_EQ(journal.Complete(SeedFileSet{true, true}), std::nullopt);
}

}  // namespace
}  // namespace seed_export_test
