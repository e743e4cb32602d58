// Whatever goes wrong with one seed export file is reported, never loses the
// tokens already in it, and never stops the other file from being written.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <utility>

#ifdef _WIN32
#include <windef.h>
#include <winbase.h>
#else
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include "provisioning/seed_files/seed_export.h"
#include "seed_export_test_support.h"
#include "tests/support/narrow_text.h"
#include "text/code_page.h"

namespace seed_export_test {
namespace {

const std::u16string kHotpCsvHeader = u"Serial Number, Secret Key\r\n";
const std::u16string kFirstRow = u"0000123456789,3132333435363738393031323334353637383930\r\n";
const std::u16string kSecondRow = u"0000987654321,3132333435363738393031323334353637383930\r\n";

ExportedToken FirstToken() { return HotpToken("0000123456789", Rfc4226Secret()); }
ExportedToken SecondToken() { return HotpToken("0000987654321", Rfc4226Secret()); }

bool StartsWith(const std::u16string& text, const std::u16string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}
bool EndsWith(const std::u16string& text, const std::u16string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST(SeedExportFaults, XmlThatCannotBeParsedOrHasNoTokensIsLeftByteForByteAndReported) {
  const std::pair<std::string, bool> files[] = {// contents, parsable
                                                {"<data><header><tokens>", false},
                                                {"", false},
                                                {std::string("\0\1\2", 3), false},
                                                {"<?xml version=\"1.0\"?>\n<data>\n\t<header />\n</data>\n", true},
                                                {"<seeds><tokens><token/></tokens></seeds>", true}};
  for (const auto& [broken, parsable] : files) {
    SCOPED_TRACE(broken);
    TempFolder folder;
    WriteBytes(folder / "hseeds.xml", broken);

    const auto failures = AppendSeedFiles(folder.Path(), FirstToken());

    ASSERT_EQ(failures.size(), 1u);
    if (parsable) {
      EXPECT_EQ(failures[0],
                u"Could not add the token to hseeds.xml: the file has no data/tokens element; "
                u"it was left unchanged.\r\n");
    } else {
      EXPECT_TRUE(StartsWith(failures[0], u"Could not add the token to hseeds.xml: the file could not be parsed ("));
      EXPECT_TRUE(EndsWith(failures[0], u"); it was left unchanged.\r\n"));
    }
    EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), broken);
    EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow));  // still written
  }
}

TEST(SeedExportFaults, EveryFailingXmlStepKeepsTheOldFileAndLeavesNoTemporaryFile) {
  struct Case {
    std::function<void(FaultySeedFiles&)> inject;
    MessageText failure;
  } cases[] = {
      {[](FaultySeedFiles& f) { f.readFailure = FileError{5}; }, u"the file could not be read (" + Said(5) + u")"},
      {[](FaultySeedFiles& f) { f.createTemporaryFailure = FileError{13}; },
       u"a temporary file could not be created beside it (" + Said(13) + u")"},
      // Part of the new contents reaches the disk before it fills up.
      {[](FaultySeedFiles& f) { f.temporaryWriteFailsAfter = 100; },
       u"the file could not be written (" + Said(112) + u")"},
      {[](FaultySeedFiles& f) { f.replaceFailure = FileError{5}; },
       u"the file could not be replaced (" + Said(5) + u")"},
      {[](FaultySeedFiles& f) {
         f.replaceFailure = FileError{32, FileErrorKind::Busy};
       },
       u"the file is open in another program (" + Said(32) + u")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.failure));
    TempFolder folder;
    ASSERT_TRUE(AppendSeedFiles(folder.Path(), FirstToken()).empty());
    const std::string before = ReadBytes(folder / "hseeds.xml");
    FaultySeedFiles files;
    c.inject(files);

    const auto failures = AppendSeedFiles(folder.Path(), SecondToken(), files);

    EXPECT_EQ(failures, std::vector<MessageText>{MessageText(u"Could not add the token to hseeds.xml: ") + c.failure +
                                                 u"; it was left unchanged.\r\n"});
    EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), before);
    if (files.temporaryWriteFailsAfter) {
      EXPECT_EQ(files.entriesWhenWriteFailed.size(), 4u)  // both files, the lock and the temporary
          << "written beside the file it replaces";
    }
    EXPECT_EQ(folder.Entries(), (Names{"hseeds.csv", "hseeds.xml"}));
    EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow + kSecondRow));
  }
}

TEST(SeedExportFaults, FailedFirstWriteLeavesNoXmlFileBehind) {
  TempFolder folder;
  FaultySeedFiles files;
  files.temporaryWriteFailsAfter = 0;
  EXPECT_EQ(AppendSeedFiles(folder.Path(), FirstToken(), files),
            std::vector<MessageText>{u"Could not add the token to hseeds.xml: the file could not be written (" +
                                     Said(112) + u").\r\n"});
  EXPECT_EQ(folder.Entries(), (Names{"hseeds.csv"}));
}

TEST(SeedExportFaults, CsvFailuresAreReportedAndTheXmlIsStillWritten) {
  TempFolder folder;
  FaultySeedFiles held;
  held.openForAppendFailure = FileError{32, FileErrorKind::Busy};
  EXPECT_EQ(AppendSeedFiles(folder.Path(), FirstToken(), held),
            std::vector<MessageText>{u"Could not add the token to hseeds.csv: the file is open in another program (" +
                                     Said(32) + u").\r\n"});
  EXPECT_EQ(folder.Entries(), (Names{"hseeds.xml"}));

  // A file this save created and could not fill is removed, so the next save writes the header.
  FaultySeedFiles full;
  full.appendWriteFailsAfter = 10;
  EXPECT_EQ(AppendSeedFiles(folder.Path(), SecondToken(), full),
            std::vector<MessageText>{u"Could not add the token to hseeds.csv: the file could not be written (" +
                                     Said(112) + u").\r\n"});
  EXPECT_EQ(folder.Entries(), (Names{"hseeds.xml"}));
  EXPECT_NE(ReadBytes(folder / "hseeds.xml").find("<serial>0000987654321</serial>"), std::string::npos);

  // The first token's CSV row, which was lost, can be added alone.
  FaultySeedFiles files;
  const SeedExportReport report = ExportToSeedFiles(folder.Path(), FirstToken(), files, SeedFileSet{true, false});
  EXPECT_TRUE(report.lines.empty());
  EXPECT_TRUE(report.written.csv);
  EXPECT_FALSE(report.written.xml);
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow));
}

TEST(SeedExportFaults, FolderThatCannotHoldFilesIsReportedForBothFiles) {
  TempFolder scratch;
  WriteBytes(scratch / "plain-file", "x");
  for (const fs::path& folder : {scratch / "plain-file", scratch / "missing-folder"}) {
    SCOPED_TRACE(folder.string());
    const auto failures = AppendSeedFiles(folder, FirstToken());
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_TRUE(StartsWith(failures[0],
                           u"Could not add the token to hseeds.csv: its lock file hseeds.csv.lock "
                           u"could not be created (error "));
    EXPECT_TRUE(StartsWith(failures[1],
                           u"Could not add the token to hseeds.xml: its lock file hseeds.xml.lock "
                           u"could not be created (error "));
    EXPECT_TRUE(EndsWith(failures[0], u").\r\n") && EndsWith(failures[1], u").\r\n"));
  }
  EXPECT_EQ(scratch.Entries(), (Names{"plain-file"}));
}

TEST(SeedExportFaults, UnreadableXmlDoesNotCostTheTokenInTheCsv) {
  TempFolder folder;
  fs::create_directory(folder / "hseeds.xml");  // a folder where the file should be
  const auto failures = AppendSeedFiles(folder.Path(), FirstToken());
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_TRUE(StartsWith(failures[0], u"Could not add the token to hseeds.xml: the file could not be read (error "));
  EXPECT_TRUE(fs::is_directory(folder / "hseeds.xml"));
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow));
}

TEST(SeedExportFaults, NoExceptionEndsTheExportEachBecomesItsFilesLine) {
  struct Case {
    std::function<void(FaultySeedFiles&)> inject;
    const char16_t* csvFailure;  // null: the CSV row is written
    const char16_t* xmlFailure;
  } cases[] = {
      {[](FaultySeedFiles& f) {
         f.beforeRead = [](const fs::path&) { throw std::length_error("basic_string::_M_create"); };
       },
       nullptr, u"Could not add the token to hseeds.xml: the file is too large to be held in memory.\r\n"},
      {[](FaultySeedFiles& f) { f.beforePublish = [](const fs::path&) { throw std::runtime_error("odd"); }; }, nullptr,
       u"Could not add the token to hseeds.xml: an unexpected error occurred (odd).\r\n"},
      {[](FaultySeedFiles& f) { f.beforeAppend = [](const fs::path&) { throw 42; }; },
       u"Could not add the token to hseeds.csv: an unexpected error occurred.\r\n", nullptr},
      // Thrown half-way through writing: no temporary file or half row stays.
      {[](FaultySeedFiles& f) { f.temporaryWriteFailsAfter = 100, f.writeFailureThrows = true; }, nullptr,
       u"Could not add the token to hseeds.xml: there was not enough memory.\r\n"},
      {[](FaultySeedFiles& f) { f.appendWriteFailsAfter = 10, f.writeFailureThrows = true; },
       u"Could not add the token to hseeds.csv: there was not enough memory.\r\n", nullptr},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    ASSERT_TRUE(AppendSeedFiles(folder.Path(), FirstToken()).empty());
    const std::string xml = ReadBytes(folder / "hseeds.xml");
    const std::string csv = ReadBytes(folder / "hseeds.csv");
    FaultySeedFiles files;
    c.inject(files);

    std::vector<MessageText> failures;
    ASSERT_NO_THROW(failures = AppendSeedFiles(folder.Path(), SecondToken(), files));

    std::vector<MessageText> expected;
    if (c.csvFailure) expected.push_back(c.csvFailure);
    if (c.xmlFailure) expected.push_back(c.xmlFailure);
    EXPECT_EQ(failures, expected);
    if (c.csvFailure) {
      EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), csv);
      EXPECT_NE(ReadBytes(folder / "hseeds.xml").find("<serial>0000987654321</serial>"), std::string::npos);
    } else {
      EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), xml);
      EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow + kSecondRow));
    }
    EXPECT_EQ(folder.Entries(), (Names{"hseeds.csv", "hseeds.xml"}));
  }
}

TEST(SeedExportFaults, CsvRowIsWrittenBeforeTheXmlFileIsRewritten) {
  TempFolder folder;
  FaultySeedFiles files;
  bool rowWasThere = false;
  files.beforePublish = [&](const fs::path&) {
    rowWasThere = ReadBytes(folder / "hseeds.csv") == Utf16Le(kHotpCsvHeader + kFirstRow);
  };
  EXPECT_TRUE(AppendSeedFiles(folder.Path(), FirstToken(), files).empty());
  EXPECT_TRUE(rowWasThere);
}

TEST(SeedExportFaults, ReadOnlySeedFileIsReportedNotReplaced) {
  TempFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.Path(), FirstToken()).empty());
  const std::string before = ReadBytes(folder / "hseeds.xml");
  const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(folder / "hseeds.xml", readOnly);  // the read-only attribute on Windows

  const auto failures = AppendSeedFiles(folder.Path(), SecondToken());

  fs::permissions(folder / "hseeds.xml", fs::perms::owner_all);
  EXPECT_EQ(failures, std::vector<MessageText>{u"Could not add the token to hseeds.xml: the file is read-only; "
                                               u"it was left unchanged.\r\n"});
  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), before);
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow + kSecondRow));
}

TEST(SeedExportFaults, SaveThatCannotGetTheLockReportsTheFileAsNotWritten) {
  TempFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.Path(), FirstToken()).empty());
  const std::string before = ReadBytes(folder / "hseeds.xml");
  FileLock held;  // another instance in the middle of its step
  FileError error;
  ASSERT_EQ(held.Acquire(folder / "hseeds.xml.lock", std::chrono::milliseconds(0), error), FileLock::Outcome::Held);
  SeedFileAccess files;
  files.lockPatience = std::chrono::milliseconds(200);

  EXPECT_EQ(AppendSeedFiles(folder.Path(), SecondToken(), files),
            std::vector<MessageText>{u"Could not add the token to hseeds.xml: another save kept hseeds.xml.lock "
                                     u"locked for more than 200 milliseconds.\r\n"});
  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), before);
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow + kSecondRow));

  // Once it is let go the next save goes through, and no lock file stays.
  held.Release();
  EXPECT_TRUE(AppendSeedFiles(folder.Path(), SecondToken(), files).empty());
  EXPECT_EQ(folder.Entries(), (Names{"hseeds.csv", "hseeds.xml"}));
}

TEST(SeedExportFaults, LockFileLeftByACrashBlocksNobody) {
  TempFolder folder;
  WriteBytes(folder / "hseeds.xml.lock", "");
  WriteBytes(folder / "hseeds.csv.lock", "");
  EXPECT_TRUE(AppendSeedFiles(folder.Path(), FirstToken()).empty());
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow));
}

#ifndef _WIN32
// A real full disk: a small tmpfs, filled up save by save.
TEST(SeedExportFaults, RowThatDoesNotFitOnAFullDiskIsAllOrNothing) {
  TempFolder folder;
  if (geteuid() != 0 ||
      std::system(("mount -t tmpfs -o size=64k tmpfs '" + folder.Path().string() + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "mounting a small tmpfs needs root";
  }
  struct Unmount {
    const TempFolder& folder;
    ~Unmount() { std::system(("umount '" + folder.Path().string() + "'").c_str()); }
  } unmount{folder};
  // Leave room for a few dozen rows; the XML file is refused and takes no more space.
  WriteBytes(folder / "filler", std::string(48 * 1024, 'f'));
  WriteBytes(folder / "hseeds.xml", "not a seed file");

  const std::size_t headerSize = Utf16Le(kHotpCsvHeader).size();
  const std::size_t rowSize = Utf16Le(kFirstRow).size();
  MessageText csvFailure;
  std::size_t rows = 0;
  for (; rows < 200 && csvFailure.empty(); ++rows) {
    for (const MessageText& line : AppendSeedFiles(folder.Path(), FirstToken())) {
      if (StartsWith(line, u"Could not add the token to hseeds.csv")) csvFailure = line;
    }
    const std::size_t size = ReadBytes(folder / "hseeds.csv").size();
    ASSERT_TRUE(size >= headerSize && (size - headerSize) % rowSize == 0) << "a torn row: " << size;
  }
  EXPECT_EQ(csvFailure, u"Could not add the token to hseeds.csv: the file could not be written (" + Said(28) +
                            u"); "
                            u"it was left unchanged.\r\n");

  // With room again the next row starts on a line of its own.
  fs::remove(folder / "filler");
  EXPECT_EQ(AppendSeedFiles(folder.Path(), SecondToken()).size(), 1u);  // only the XML line
  const std::string csv = ReadBytes(folder / "hseeds.csv");
  EXPECT_EQ(csv.substr(csv.size() - 2 * rowSize), Utf16Le(kFirstRow + kSecondRow));
}

// Root ignores a folder's permissions but not its immutable attribute,
// which the file system may lack, or root may not be allowed to set.
// Empty when it was set or cleared; else why not.
std::string SetImmutable(const fs::path& folder, bool immutable) {
  const int handle = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (handle < 0) return std::strerror(errno);
  int flags = 0;
  int result = ioctl(handle, FS_IOC_GETFLAGS, &flags);
  if (result == 0) {
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    result = ioctl(handle, FS_IOC_SETFLAGS, &flags);
  }
  const std::string why = result == 0 ? "" : std::strerror(errno);
  close(handle);
  return why;
}

TEST(SeedExportFaults, ReadOnlyFolderIsReportedAndExistingFilesStayWhole) {
  TempFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.Path(), FirstToken()).empty());
  const std::string xml = ReadBytes(folder / "hseeds.xml");
  // As root the folder is made immutable (EPERM); otherwise read-only (EACCES).
  const bool root = geteuid() == 0;
  if (root) {
    const std::string why = SetImmutable(folder.Path(), true);
    if (!why.empty())
      GTEST_SKIP() << "root ignores folder permissions and the immutable attribute is not at hand: " << why;
  } else {
    fs::permissions(folder.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    fs::permissions(folder / "hseeds.csv", fs::perms::owner_read);
  }

  const auto failures = AppendSeedFiles(folder.Path(), SecondToken());

  if (root) {
    EXPECT_EQ(SetImmutable(folder.Path(), false), "");
  } else {
    fs::permissions(folder.Path(), fs::perms::owner_all);
  }
  const MessageText said = Said(root ? EPERM : EACCES);
  EXPECT_EQ(failures,
            (std::vector<MessageText>{
                u"Could not add the token to hseeds.csv: its lock file hseeds.csv.lock could not be created (" + said +
                    u").\r\n",
                u"Could not add the token to hseeds.xml: its lock file hseeds.xml.lock could not be created (" + said +
                    u").\r\n"}));
  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), xml);
}
#endif

// The bytes of hseeds.xml after saving `tokens` into an empty folder.
std::string HotpXmlOf(const std::vector<ExportedToken>& tokens) {
  TempFolder scratch;
  for (const ExportedToken& token : tokens) AppendSeedFiles(scratch.Path(), token);
  return ReadBytes(scratch / "hseeds.xml");
}

std::size_t SerialCount(const std::string& xml, const std::string& serial) {
  std::size_t count = 0;
  const std::string element = "<serial>" + serial + "</serial>";
  for (std::size_t at = xml.find(element); at != std::string::npos; at = xml.find(element, at + 1)) ++count;
  return count;
}

// What an interrupted save left beside hseeds.xml, and what the next saves
// make of it: put back, removed when the file holds all it holds, or kept
// with one line; never a token lost.
TEST(SeedExportRecovery, LeftoversAreRestoredRemovedOrKeptNeverLost) {
  const ExportedToken third = HotpToken("0000555555555", Rfc4226Secret());
  const std::string older = HotpXmlOf({FirstToken()});
  const std::string newer = HotpXmlOf({FirstToken(), SecondToken()});
  const std::string otherSeed = HotpXmlOf({HotpToken("0000123456789", Rfc6238Sha256Secret())});
  const std::string endCut = newer.substr(0, newer.size() - 20);            // in the closing tags
  const std::string midCut = newer.substr(0, newer.find("0000987654321"));  // in the second token
  // A save killed while writing the second token's seed: no token of its own.
  const std::string seedCut = newer.substr(0, newer.find("</seed>", newer.find("0000987654321")) - 5);
  const std::string kTemporary = "hseeds.xml.otp-0123456789abcdef.tmp";
  const std::string kOther = "hseeds.xml.otp-00000000000000aa.tmp";
  enum class Restore { Works, Fails, KeepsName };
  struct Case {
    const char* name;
    std::optional<std::string> file;
    std::vector<std::pair<std::string, std::string>> temporaries;
    Restore restore;
    std::vector<std::string> serials;   // in hseeds.xml afterwards, each once
    Names left;                         // temporaries left
    std::vector<std::u16string> lines;  // the export's lines start so
  };
  const std::u16string restored = u"hseeds.xml was missing; it was restored from " + Widen(kTemporary);
  const std::u16string keptFirst = Widen(kTemporary) + u", left by an interrupted save, may hold tokens";
  const std::u16string keptOther = Widen(kOther) + u", left by an interrupted save, may hold tokens";
  const Case cases[] = {
      {"missing, complete and cut copies beside it",
       std::nullopt,
       {{kTemporary, newer}, {kOther, endCut}},
       Restore::Works,
       {"0000123456789", "0000987654321", "0000555555555"},
       {},
       {restored}},
      {"missing, the most complete copy wins",
       std::nullopt,
       {{kOther, older}, {kTemporary, newer}},
       Restore::Works,
       {"0000123456789", "0000987654321", "0000555555555"},
       {},
       {restored}},
      {"missing, only a copy cut short",
       std::nullopt,
       {{kTemporary, midCut}},
       Restore::Works,
       {"0000555555555"},
       {kTemporary},
       {keptFirst}},
      {"present, holding all the leftover holds",
       newer,
       {{kTemporary, older}, {kOther, ""}},
       Restore::Works,
       {"0000123456789", "0000987654321", "0000555555555"},
       {},
       {}},
      {"present, a leftover cut off inside a seed",
       older,
       {{kTemporary, seedCut}},
       Restore::Works,
       {"0000123456789", "0000555555555"},
       {},
       {}},
      {"present, lacking a token of the leftover",
       older,
       {{kTemporary, newer}},
       Restore::Works,
       {"0000123456789", "0000555555555"},
       {kTemporary},
       {keptFirst}},
      {"missing, the copy cannot be put back",
       std::nullopt,
       {{kTemporary, newer}},
       Restore::Fails,
       {},
       {kTemporary},
       {u"Could not add the token to hseeds.xml: the file is missing and " + Widen(kTemporary) +
        u", which a save finished writing, could not be put back in its place (error 13"}},
      {"missing, two complete copies disagree on a seed",
       std::nullopt,
       {{kTemporary, newer}, {kOther, otherSeed}},
       Restore::Works,
       {"0000123456789", "0000987654321", "0000555555555"},
       {kOther},
       {restored,
        Widen(kTemporary) + u" and " + Widen(kOther) +
            u", which interrupted saves finished writing, give "
            u"the serial number 0000123456789 different seeds; hseeds.xml was restored from " +
            Widen(kTemporary),
        keptOther}},
      {"missing, put back but the copy's name stays",
       std::nullopt,
       {{kTemporary, newer}},
       Restore::KeepsName,
       {"0000123456789", "0000987654321", "0000555555555"},
       {},
       {restored,
        Widen(kTemporary) + u" leads to the restored hseeds.xml too: the file is open in another program (error 32"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    if (c.file) WriteBytes(folder / "hseeds.xml", *c.file);
    for (const auto& [name, bytes] : c.temporaries) WriteBytes(folder.Path() / name, bytes);
    FaultySeedFiles files;
    if (c.restore == Restore::Fails) files.restoreFailure = FileError{13};
    if (c.restore == Restore::KeepsName) files.restoreKeepsName = FileError{32, FileErrorKind::Busy};

    const std::vector<MessageText> lines = AppendSeedFiles(folder.Path(), third, files);
    ASSERT_EQ(lines.size(), c.lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_TRUE(StartsWith(lines[i], c.lines[i])) << Narrow(lines[i]);
    }
    // Reported once: the next save says nothing more of them.
    if (c.restore != Restore::Fails) {
      EXPECT_TRUE(AppendSeedFiles(folder.Path(), HotpToken("0000666666666", Rfc4226Secret()), files).empty());
    }

    const std::string xml = c.restore == Restore::Fails ? "" : ReadBytes(folder / "hseeds.xml");
    for (const std::string& serial : c.serials) {
      EXPECT_EQ(SerialCount(xml, serial), 1u) << serial;
    }
    if (c.restore == Restore::Fails) {
      EXPECT_FALSE(fs::exists(folder / "hseeds.xml"));
    }
    Names left;
    for (const TemporaryFile& temporary : FindTemporaries(folder / "hseeds.xml")) {
      left.push_back(temporary.path.filename().u8string());
    }
    EXPECT_EQ(left, c.left);
    // The CSV row is written whatever happens to the XML file.
    EXPECT_NE(ReadBytes(folder / "hseeds.csv").find(Utf16Le(u"0000555555555,")), std::string::npos);
  }
}

// A caller tells why a file did not take the token by its kind and the
// system's code, not by the words of its line.
TEST(SeedExportFaults, EachFailureCarriesItsKindAndTheSystemsCode) {
#ifdef _WIN32
  constexpr std::uint32_t kHeld = ERROR_SHARING_VIOLATION, kDenied = ERROR_ACCESS_DENIED, kFull = ERROR_DISK_FULL;
#else
  constexpr std::uint32_t kHeld = EWOULDBLOCK, kDenied = EACCES, kFull = ENOSPC;
#endif
  using Step = SeedFileFailure::Step;
  struct Case {
    const char* name;
    std::function<void(const TempFolder&, FaultySeedFiles&, FileLock&)> inject;
    const char* file;
    Step step;
    FileErrorKind kind;
    std::uint32_t code;
  } cases[] = {
      {"lock held by another save",
       [](const TempFolder& folder, FaultySeedFiles& f, FileLock& held) {
         FileError ignored;
         held.Acquire(folder / "hseeds.xml.lock", std::chrono::milliseconds(0), ignored);
         f.lockPatience = std::chrono::milliseconds(50);
       },
       "hseeds.xml", Step::LockHeld, FileErrorKind::Busy, kHeld},
      {"read denied", [](const TempFolder&, FaultySeedFiles& f, FileLock&) { f.readFailure = SystemError(kDenied); },
       "hseeds.xml", Step::Read, FileErrorKind::Denied, kDenied},
      {"disk full",
       [](const TempFolder&, FaultySeedFiles& f, FileLock&) {
         f.appendWriteFailsAfter = 10;
         f.writeFailure = SystemError(kFull);
       },
       "hseeds.csv", Step::Write, FileErrorKind::NoSpace, kFull},
      {"unparseable",
       [](const TempFolder& folder, FaultySeedFiles&, FileLock&) { WriteBytes(folder / "hseeds.xml", "<"); },
       "hseeds.xml", Step::Refused, FileErrorKind::Damaged, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    ASSERT_TRUE(AppendSeedFiles(folder.Path(), FirstToken()).empty());
    FaultySeedFiles files;
    FileLock held;
    c.inject(folder, files, held);

    const SeedExportReport report = ExportToSeedFiles(folder.Path(), SecondToken(), files, SeedFileSet{true, true});

    ASSERT_EQ(report.failures.size(), 1u);
    const SeedFileFailure& failure = report.failures[0];
    EXPECT_EQ(failure.file.filename().u8string(), c.file);
    EXPECT_EQ(failure.step, c.step);
    EXPECT_EQ(failure.error.kind, c.kind);
    EXPECT_EQ(failure.error.code, c.code);
    EXPECT_EQ(report.written.csv, c.file != std::string("hseeds.csv"));
    EXPECT_EQ(report.lines.size(), 1u);
  }
}

}  // namespace
}  // namespace seed_export_test
