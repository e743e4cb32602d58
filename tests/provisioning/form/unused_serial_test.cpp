// "Generate" never gives a serial that a seed file or the key already holds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "form_fakes.h"
#include "files/byte_source.h"
#include "provisioning/form/new_token_form_logic.h"
#include "provisioning/form/unused_serial.h"
#include "provisioning/seed_files/save_record_format.h"
#include "provisioning/seed_files/seed_file_serials.h"
#include "provisioning/seed_files/seed_folder.h"
#include "text/unicode_text.h"
#include "tests/support/scripted_token_library.h"
#include "tests/support/peak_memory.h"
#include "tests/support/string_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

// The serials of one folder's seed files as the run's cache keeps them.
// The plain file layer, counting the seed files opened to be read.
struct CountingFiles final : SeedFileAccess {
  OpenForReadingOutcome OpenForReading(const std::filesystem::path& file) override {
    ++opened;
    return SeedFileAccess::OpenForReading(file);
  }
  int opened = 0;
};

struct FolderSerials {
  explicit FolderSerials(std::filesystem::path of) : folder(std::move(of)) {}
  std::filesystem::path folder;
  SeedFileCache cache;
  CountingFiles files;
};

// Whether the cache has `serial` in the seed file of that name.
bool Holds(FolderSerials& at, std::string_view fileName, const std::string& serial) {
  for (const SeedFileName& file : kSeedFileNames) {
    if (fileName == file.name) return at.cache.Serials(at.folder, file, at.files).Contains(serial);
  }
  return false;
}

// Hands out the given serials in turn, then repeats the last one.
struct SerialSequence {
  std::vector<std::string> serials;
  std::size_t draws = 0;
  bool operator()(char* buffer) {
    const std::string& next = serials[std::min(draws++, serials.size() - 1)];
    std::memcpy(buffer, next.data(), next.size());
    return true;
  }
};

std::string SeedFile(const std::string& serial) {
  return "<?xml version=\"1.0\"?>\n<data>\n\t<tokens>\n\t\t<token>\n\t\t\t<serial>" + serial +
         "</serial>\n\t\t</token>\n\t</tokens>\n</data>\n";
}

std::string Draw(SerialSequence& sequence, const TempFolder& folder, ITokenLibrary& library) {
  char buffer[64] = {};
  const auto taken = [&](const std::vector<std::string>& candidates) {
    SeedFolder seeds(folder.Path());
    return seeds.SerialsInUse(library, candidates);
  };
  EXPECT_TRUE(DrawUnusedSerial(std::ref(sequence), taken, buffer));
  return buffer;
}

TEST(UnusedSerial, ASerialInEitherSeedFileOrOnTheKeyIsDrawnAgain) {
  TempFolder folder;
  ScriptedTokenLibrary library;
  WriteBytes(folder / "hseeds.xml", SeedFile("0000111111111"));
  WriteBytes(folder / "tseeds.xml", SeedFile("0000222222222"));
  library.tokens = {MakeTokenRecord("0000333333333")};

  SerialSequence sequence{{"0000111111111", "0000222222222", "0000333333333", "0000444444444"}};
  EXPECT_EQ(Draw(sequence, folder, library), "0000444444444");

  // Files that cannot be read and a key that does not answer take nothing away.
  std::filesystem::remove(folder / "hseeds.xml");
  std::filesystem::create_directory(folder / "hseeds.xml");
  library.listStatus = 0x80100001;
  SerialSequence again{{"0000111111111", "0000444444444"}};
  EXPECT_EQ(Draw(again, folder, library), "0000111111111");
}

TEST(UnusedSerial, TheFormsGenerateShowsTheFirstSerialNotInTheSeedFiles) {
  TempFolder folder;
  WriteBytes(folder / "tseeds.xml", SeedFile("0000111111111"));
  form_test::FakeFormControls controls;
  ScriptedTokenLibrary library;
  form_test::ScriptedServices scripted;
  SerialSequence sequence{{"0000111111111", "0000555555555"}};
  NewTokenFormServices services = scripted.Bind();
  services.generateSerialNumber = std::ref(sequence);
  SeedFolder seeds(folder.Path());
  NewTokenFormLogic logic(controls, library, seeds, services);
  logic.StartUp();
  logic.GenerateSerial();
  EXPECT_EQ(controls.shown.serial, u"0000555555555");
}

// "In use" is what a server importing all four seed files would see: a
// serial in any of them (either kind, XML or CSV, old unquoted rows too), on
// the key or in a record not settled yet is refused before the key is
// written, naming where; so is one with white space at either end.
TEST(UnusedSerial, SavingASerialInUseAnywhereOrWithWhiteSpaceAtAnEndIsRefusedBeforeTheKey) {
  const std::string csvRows =
      Utf16LittleEndianBytes(u"Serial Number, Secret Key\r\n0000333333333,3132\r\n\"0000,666666666\",3132\r\n");
  const std::string oldTotpRow =
      Utf16LittleEndianBytes(u"Doe, Jane,0000444444444,GEZDG,60,Velthor Security,Corvane\r\n");
  ExportedToken recorded;
  recorded.serial = "0000555555555";
  recorded.seed.assign(20, 1);
  struct Case {
    const char* serial;
    const char* where;  // named in the refusal; null: saved
  } cases[] = {
      {"0000111111111", "tseeds.xml"},           {"0000222222222", "hseeds.xml"},
      {"0000333333333", "hseeds.csv"},           {"0000,666666666", "hseeds.csv"},
      {"0000444444444", "tseeds.csv"},           {"0000555555555", "tseeds.pending-00000000000000aa.record"},
      {"0000777777777", "saving would replace"}, {"0000111111111 ", "ends with a space"},
      {"\t0000888888888", "begins with a tab"},  {"0000 888888888", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serial);
    TempFolder folder;
    WriteBytes(folder / "tseeds.xml", SeedFile("0000111111111"));
    WriteBytes(folder / "hseeds.xml", SeedFile("0000222222222"));
    WriteBytes(folder / "hseeds.csv", csvRows);
    WriteBytes(folder / "tseeds.csv", oldTotpRow);
    WriteBytes(folder / "tseeds.pending-00000000000000aa.record", PendingSaveXml(PendingSave{recorded, "KEY"}));
    form_test::FakeFormControls controls;
    ScriptedTokenLibrary library;
    library.tokens = {MakeTokenRecord("0000777777777")};
    form_test::ScriptedServices scripted;
    SeedFolder seeds(folder.Path());
    NewTokenFormLogic logic(controls, library, seeds, scripted.Bind());
    logic.StartUp();
    logic.GenerateSeed();
    controls.shown.serial = MessageText(c.serial, c.serial + std::strlen(c.serial));
    logic.SaveToken();

    if (!c.where) {
      EXPECT_EQ(library.personalized.size(), 1u);
      continue;
    }
    EXPECT_TRUE(library.personalized.empty());
    ASSERT_EQ(controls.tips.size(), 1u);
    EXPECT_EQ(controls.tips[0].field, FormField::SerialNumber);
    const std::string where = c.where;
    EXPECT_NE(controls.tips[0].text.find(MessageText(where.begin(), where.end())), MessageText::npos);
    EXPECT_EQ(controls.shown.serial.size(), std::strlen(c.serial)) << "the typed serial was changed";
  }
}

// What cannot be read when "Save" checks the serial is unknown, never
// empty: the save is refused naming it, the key is not written and no
// record is left.
TEST(UnusedSerial, AFileOrRecordThatCannotBeReadRefusesTheSaveNamingIt) {
  const struct Case {
    const char* name;
    const char* unreadable;  // made a folder, or written with bytes no record has
    bool folder;
  } cases[] = {
      {"a seed file of the other kind", "hseeds.csv", true},
      {"a seed file of the token's kind", "tseeds.xml", true},
      {"a damaged record", "hseeds.pending-00000000000000bb.record", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    if (c.folder) {
      std::filesystem::create_directory(folder / c.unreadable);
    } else {
      WriteBytes(folder / c.unreadable, "<save><token>");
    }
    form_test::FakeFormControls controls;
    ScriptedTokenLibrary library;
    form_test::ScriptedServices scripted;
    SeedFolder seeds(folder.Path());
    NewTokenFormLogic logic(controls, library, seeds, scripted.Bind());
    logic.StartUp();
    logic.GenerateSeed();
    controls.shown.serial = u"0000999999999";
    logic.SaveToken();

    EXPECT_TRUE(library.personalized.empty());
    ASSERT_EQ(controls.tips.size(), 1u);
    EXPECT_EQ(controls.tips[0].title, u"Serial number not checked");
    const std::string named = c.unreadable;
    EXPECT_NE(controls.tips[0].text.find(MessageText(named.begin(), named.end())), MessageText::npos);
    EXPECT_EQ(folder.Entries().size(), 1u) << "a record or lock file was left";
  }
}

// After a "Reset" the key's own serial, the form's default, is still in the
// files: the form says so once as it opens, where it is held and whether the
// key lists it; "Save" refuses it the same way; a fresh serial goes through.
TEST(UnusedSerial, TheKeysOwnSerialInUseIsSaidOnceAsTheFormOpens) {
  ExportedToken recorded;
  recorded.serial = "KEY-SERIAL";
  recorded.seed.assign(20, 1);
  const struct Case {
    const char* name;
    const char* file;     // holds the key's serial, or null
    bool onKey;           // the key lists it
    CvStatus listStatus;  // of the key's listing
    const char* said;     // in the tip; null: no tip
    bool saysKeyListsNot;
  } cases[] = {
      {"free", nullptr, false, CV_OK, nullptr, false},
      {"on the key", nullptr, true, CV_OK, "saving would replace", false},
      {"in an XML file after a Reset", "tseeds.xml", false, CV_OK, "tseeds.xml", true},
      {"in a CSV file after a Reset", "hseeds.csv", false, CV_OK, "hseeds.csv", true},
      {"in a record", "tseeds.pending-00000000000000aa.record", false, CV_OK, "tseeds.pending-", false},
      {"in a file, the key not listing", "hseeds.xml", false, 0x80435602, "hseeds.xml", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    if (c.file) {
      const std::string name = c.file;
      const std::string bytes = name.find(".record") != std::string::npos
                                    ? PendingSaveXml(PendingSave{recorded, "KEY-SERIAL"})
                                : name.find(".csv") != std::string::npos
                                    ? Utf16LittleEndianBytes(u"Serial Number, Secret Key\r\nKEY-SERIAL,3132\r\n")
                                    : SeedFile("KEY-SERIAL");
      WriteBytes(folder / c.file, bytes);
    }
    form_test::FakeFormControls controls;
    ScriptedTokenLibrary library;
    library.SetSerial("KEY-SERIAL");
    library.tokens = {MakeTokenRecord(c.onKey ? "KEY-SERIAL" : "OTHER")};
    library.listStatus = c.listStatus;
    form_test::ScriptedServices scripted;
    SeedFolder seeds(folder.Path());
    NewTokenFormLogic logic(controls, library, seeds, scripted.Bind());
    logic.StartUp();
    logic.GenerateSeed();
    logic.GenerateSerial();
    logic.GenerateSeed();
    if (!c.said) {
      EXPECT_TRUE(controls.tips.empty());
      continue;
    }
    ASSERT_EQ(controls.tips.size(), 1u) << "said once, not at each click";
    const auto tip = controls.tips[0];
    EXPECT_EQ(tip.field, FormField::SerialNumber);
    EXPECT_EQ(tip.title, u"The key's own serial number is in use");
    const std::string said = c.said;
    EXPECT_NE(tip.text.find(MessageText(said.begin(), said.end())), MessageText::npos);
    EXPECT_EQ(tip.text.find(u"this key does not list") != MessageText::npos, c.saysKeyListsNot);
    EXPECT_NE(tip.text.find(u"\"Generate\""), MessageText::npos);
    EXPECT_EQ(controls.beeps, 0);

    // Save with the default is refused in the same words; a fresh serial is saved.
    library.listStatus = CV_OK;
    const MessageText generated = controls.shown.serial;
    controls.shown.serial = u"KEY-SERIAL";
    logic.SaveToken();
    ASSERT_EQ(controls.tips.size(), 2u);
    EXPECT_EQ(controls.tips[1].title, u"Serial number in use");
    if (c.listStatus == CV_OK) {
      EXPECT_EQ(controls.tips[1].text, tip.text);
    }
    EXPECT_TRUE(library.personalized.empty());
    controls.shown.serial = generated;
    logic.SaveToken();
    EXPECT_EQ(library.personalized.size(), 1u);
  }
}

TEST(UnusedSerial, DrawingIsBoundedAndAFailedDrawIsReported) {
  TempFolder folder;
  ScriptedTokenLibrary library;
  WriteBytes(folder / "hseeds.xml", SeedFile("0000111111111"));
  SerialSequence always{{"0000111111111"}};
  EXPECT_EQ(Draw(always, folder, library), "0000111111111");  // as before: the last draw
  EXPECT_EQ(always.draws, 32u);

  char buffer[64] = {};
  EXPECT_FALSE(DrawUnusedSerial([](char*) { return false; },
                                [](const std::vector<std::string>& c) { return std::vector<bool>(c.size()); }, buffer));
}

TEST(SeedFileSerials, AnySerialElementCountsAcrossBlocksWithEntitiesDecoded) {
  const std::string file =
      "<data><serials>S0</serials><serial>S1</serial><x><serial id=\"a\">S&amp;2</serial></x>"
      "<serial\n>S&#51;</serial><serial/><notserial>S4</notserial><serial><![CDATA[S5]]></serial>"
      "<serial>&#x41;&quot;&apos;&lt;&gt;&co;&#1114112;</serial>"
      "<serial>" +
      std::string(500, 'L') + "</serial><serial>S6";
  const std::vector<std::string> candidates = {
      "S0", "S1", "S&2", "S3", "", "S4", "S5", std::string(500, 'L'), "S6", "S&amp;2", "A\"'<>&co;&#1114112;"};
  // CDATA is read as a parser reads it.
  const std::vector<bool> expected = {false, true, true, true, true, false, true, false, true, false, true};
  for (const std::size_t block : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 16}) {
    SCOPED_TRACE(block);
    // The fast pass that the form keeps between clicks.
    StringSource source(file, block);
    SerialSet serials;
    ASSERT_TRUE(CollectSerials(source, serials));
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      EXPECT_EQ(serials.Contains(candidates[i]), expected[i]) << candidates[i];
    }
    // The same reader pairs each serial with the seed after it; a pair cut
    // off by the end of the bytes is none, and a file is whole at its root's end.
    for (const std::string& end : {std::string("</data>\n"), std::string()}) {
      StringSource pairs(
          "<data><serial>S&amp;1</serial><seedling>99</seedling><seed>ab</seed><serial>S2"
          "</serial><seed>CD</seed><serial>S3</serial><seed>EF" +
              end,
          block);
      SeedFileTokens tokens;
      ASSERT_TRUE(ScanSeedFileTokens(pairs, tokens));
      EXPECT_TRUE(tokens.Holds(SeedFileTokenKey("S&1", "AB")));
      EXPECT_TRUE(tokens.Holds(SeedFileTokenKey("S2", "cd")));
      EXPECT_EQ(tokens.Holds(SeedFileTokenKey("S3", "EF")), !end.empty());
      EXPECT_EQ(tokens.keys.size(), end.empty() ? 2u : 3u);
      EXPECT_EQ(tokens.complete, !end.empty());
    }
  }
  FolderSerials missing{"no-such-folder"};
  EXPECT_FALSE(Holds(missing, "hseeds.xml", "S1"));
}

// Hands out `head`, then `fill` bytes of `filler`, then `tail`: a large
// file without the disk.
class GeneratedSource final : public ByteSource {
 public:
  GeneratedSource(std::string head, std::uint64_t fill, char filler, std::string tail)
      : head_(std::move(head)), tail_(std::move(tail)), fill_(fill), filler_(filler) {}
  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override {
    char* out = static_cast<char*>(buffer);
    std::size_t written = 0;
    const auto part = [&](const char* bytes, std::uint64_t size, bool fill) {
      if (at_ >= size) {
        at_ -= size;
        return;
      }
      const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(size - at_, capacity - written));
      if (fill) {
        std::memset(out + written, filler_, count);
      } else {
        std::memcpy(out + written, bytes + at_, count);
      }
      written += count;
      at_ = 0;
    };
    const std::uint64_t start = at_;
    part(head_.data(), head_.size(), false);
    if (written < capacity) part(nullptr, fill_, true);
    if (written < capacity) part(tail_.data(), tail_.size(), false);
    at_ = start + written;
    return written;
  }

 private:
  std::string head_, tail_;
  std::uint64_t fill_;
  char filler_;
  std::uint64_t at_ = 0;
};

// A start tag that never ends, hundreds of MiB long, is passed over in
// bounded memory, and the serial the tool wrote after it still counts.
TEST(SeedFileSerials, EndlessStartTagIsPassedOverInBoundedMemory) {
  constexpr std::uint64_t kFill = 300ull << 20;
  const std::uint64_t before = PeakMemoryBytes();
  for (const char* head : {"<data><tokens><serial ", "<data><serial id=\""}) {
    SCOPED_TRACE(head);
    GeneratedSource source(head, kFill, 'a', "\"><serial>S7</serial></tokens></data>\n");
    SerialSet serials;
    ASSERT_TRUE(CollectSerials(source, serials));
    EXPECT_TRUE(serials.Contains("S7"));
  }
  EXPECT_LT(PeakMemoryBytes() - before, std::uint64_t{64} << 20);
}

// Between clicks the files are not read again, unless another writer changed
// one; a file that appears later counts from then on.
TEST(SeedFileSerials, CacheReadsAFileAgainOnlyWhenItChanged) {
  TempFolder folder;
  WriteBytes(folder / "hseeds.xml", SeedFile("0000111111111"));
  FolderSerials cache{folder.Path()};
  EXPECT_TRUE(Holds(cache, "hseeds.xml", "0000111111111"));
  EXPECT_FALSE(Holds(cache, "hseeds.xml", "0000222222222"));
  EXPECT_FALSE(Holds(cache, "tseeds.xml", "0000111111111"));  // missing: nothing to read
  EXPECT_EQ(cache.files.opened, 1);

  WriteBytes(folder / "hseeds.xml", SeedFile("0000111111111") + SeedFile("0000222222222"));
  WriteBytes(folder / "tseeds.xml", SeedFile("0000333333333"));
  EXPECT_TRUE(Holds(cache, "hseeds.xml", "0000222222222"));
  EXPECT_TRUE(Holds(cache, "tseeds.xml", "0000333333333"));
  EXPECT_TRUE(Holds(cache, "hseeds.xml", "0000111111111"));
  EXPECT_EQ(cache.files.opened, 3);
}

}  // namespace
