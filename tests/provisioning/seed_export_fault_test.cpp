// Whatever goes wrong with one seed export file is reported, never loses the
// tokens already in it, and never stops the other file from being written.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "provisioning/seed_export.h"
#include "seed_export_test_support.h"

namespace seed_export_test {
namespace {

const std::u16string kHotpCsvHeader = u"Serial Number, Secret Key\r\n";

ExportedToken FirstToken() { return HotpToken("0000123456789", Rfc4226Secret()); }
ExportedToken SecondToken() { return HotpToken("0000987654321", Rfc4226Secret()); }
const std::u16string kFirstRow = u"0000123456789,3132333435363738393031323334353637383930\r\n";
const std::u16string kSecondRow = u"0000987654321,3132333435363738393031323334353637383930\r\n";

bool StartsWith(const std::u16string& text, const std::u16string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}
bool EndsWith(const std::u16string& text, const std::u16string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST(SeedExportFaults, UnparsableXmlIsLeftByteForByteAndReported) {
  for (const std::string& broken : {std::string("<data><header><tokens>"), std::string(""),
                                   std::string("not xml at all"), std::string("\0\1\2", 3)}) {
    SCOPED_TRACE(broken);
    ScratchFolder folder;
    WriteBytes(folder / "hseeds.xml", broken);

    const auto failures = AppendSeedFiles(folder.path(), FirstToken());

    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(StartsWith(failures[0], u"Could not add the token to hseeds.xml: the file could not be parsed ("));
    EXPECT_TRUE(EndsWith(failures[0], u"); it was left unchanged.\r\n"));
    EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), broken);
    // The CSV file still gets its row.
    EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow));
    EXPECT_EQ(FileNames(folder.path()), (std::set<std::string>{"hseeds.csv", "hseeds.xml"}));
  }
}

TEST(SeedExportFaults, XmlWithoutDataTokensIsLeftByteForByteAndReported) {
  for (const std::string& foreign :
       {std::string("<?xml version=\"1.0\"?>\n<data>\n\t<header />\n</data>\n"),
        std::string("<seeds><tokens><token/></tokens></seeds>")}) {
    SCOPED_TRACE(foreign);
    ScratchFolder folder;
    WriteBytes(folder / "hseeds.xml", foreign);

    const auto failures = AppendSeedFiles(folder.path(), FirstToken());

    EXPECT_EQ(failures, std::vector<MessageText>{u"Could not add the token to hseeds.xml: the file has no "
                                                 u"data/tokens element; it was left unchanged.\r\n"});
    EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), foreign);
    EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow));
  }
}

TEST(SeedExportFaults, WriteFailingMidwayKeepsTheOldXmlAndRemovesTheTemporaryFile) {
  ScratchFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.path(), FirstToken()).empty());
  const std::string before = ReadBytes(folder / "hseeds.xml");

  FaultyFileSystem files;
  files.temporaryWriteFailsAfter = 100;  // part of the new contents reaches the disk
  const auto failures = AppendSeedFiles(folder.path(), SecondToken(), files);

  EXPECT_EQ(failures, std::vector<MessageText>{u"Could not add the token to hseeds.xml: the file could not "
                                               u"be written (error 112); it was left unchanged.\r\n"});
  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), before);
  ASSERT_EQ(files.temporaryFiles.size(), 1u);
  EXPECT_EQ(files.temporaryFiles[0].parent_path(), folder.path()) << "written beside the file it replaces";
  EXPECT_EQ(FileNames(folder.path()), (std::set<std::string>{"hseeds.csv", "hseeds.xml"}));
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow + kSecondRow));
}

TEST(SeedExportFaults, FailedFirstWriteLeavesNoXmlFileBehind) {
  ScratchFolder folder;
  FaultyFileSystem files;
  files.temporaryWriteFailsAfter = 0;

  const auto failures = AppendSeedFiles(folder.path(), FirstToken(), files);

  EXPECT_EQ(failures, std::vector<MessageText>{
                          u"Could not add the token to hseeds.xml: the file could not be written (error 112).\r\n"});
  EXPECT_EQ(FileNames(folder.path()), (std::set<std::string>{"hseeds.csv"}));
}

TEST(SeedExportFaults, FailedReplaceKeepsTheOldXmlAndRemovesTheTemporaryFile) {
  ScratchFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.path(), FirstToken()).empty());
  const std::string before = ReadBytes(folder / "hseeds.xml");

  FaultyFileSystem files;
  files.replaceFailure = FileError{5, false};
  EXPECT_EQ(AppendSeedFiles(folder.path(), SecondToken(), files),
            std::vector<MessageText>{u"Could not add the token to hseeds.xml: the file could not be replaced "
                                     u"(error 5); it was left unchanged.\r\n"});
  files.replaceFailure = FileError{32, true};
  EXPECT_EQ(AppendSeedFiles(folder.path(), SecondToken(), files),
            std::vector<MessageText>{u"Could not add the token to hseeds.xml: the file is open in another "
                                     u"program (error 32); it was left unchanged.\r\n"});

  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), before);
  EXPECT_EQ(FileNames(folder.path()), (std::set<std::string>{"hseeds.csv", "hseeds.xml"}));
}

TEST(SeedExportFaults, UnreadableXmlOrUncreatableTemporaryFileIsReported) {
  ScratchFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.path(), FirstToken()).empty());
  const std::string before = ReadBytes(folder / "hseeds.xml");

  FaultyFileSystem unreadable;
  unreadable.readFailure = FileError{5, false};
  EXPECT_EQ(AppendSeedFiles(folder.path(), SecondToken(), unreadable),
            std::vector<MessageText>{u"Could not add the token to hseeds.xml: the file could not be read "
                                     u"(error 5); it was left unchanged.\r\n"});

  FaultyFileSystem noTemporary;
  noTemporary.createTemporaryFailure = FileError{13, false};
  EXPECT_EQ(AppendSeedFiles(folder.path(), SecondToken(), noTemporary),
            std::vector<MessageText>{u"Could not add the token to hseeds.xml: a temporary file could not be "
                                     u"created beside it (error 13); it was left unchanged.\r\n"});

  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), before);
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow + kSecondRow + kSecondRow));
}

TEST(SeedExportFaults, CsvFailuresAreReportedAndTheXmlIsStillWritten) {
  ScratchFolder folder;
  FaultyFileSystem held;
  held.openForAppendFailure = FileError{32, true};
  EXPECT_EQ(AppendSeedFiles(folder.path(), FirstToken(), held),
            std::vector<MessageText>{
                u"Could not add the token to hseeds.csv: the file is open in another program (error 32).\r\n"});
  EXPECT_EQ(FileNames(folder.path()), (std::set<std::string>{"hseeds.xml"}));

  // A file this save created and could not fill is removed, so the next save writes the header.
  FaultyFileSystem full;
  full.appendWriteFailsAfter = 10;
  EXPECT_EQ(AppendSeedFiles(folder.path(), SecondToken(), full),
            std::vector<MessageText>{
                u"Could not add the token to hseeds.csv: the file could not be written (error 112).\r\n"});
  EXPECT_EQ(FileNames(folder.path()), (std::set<std::string>{"hseeds.xml"}));

  const std::string xml = ReadBytes(folder / "hseeds.xml");
  EXPECT_NE(xml.find("<serial>0000123456789</serial>"), std::string::npos);
  EXPECT_NE(xml.find("<serial>0000987654321</serial>"), std::string::npos);

  EXPECT_TRUE(AppendSeedFiles(folder.path(), FirstToken()).empty());
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow));
}

TEST(SeedExportFaults, FolderThatCannotHoldFilesIsReportedForBothFiles) {
  ScratchFolder scratch;
  WriteBytes(scratch / "plain-file", "x");
  for (const fs::path& folder : {scratch / "plain-file", scratch / "missing-folder"}) {
    SCOPED_TRACE(folder.string());
    const auto failures = AppendSeedFiles(folder, FirstToken());

    ASSERT_EQ(failures.size(), 2u);
    EXPECT_TRUE(StartsWith(failures[0], u"Could not add the token to hseeds.xml: a temporary file could not be "
                                        u"created beside it (error "));
    EXPECT_TRUE(StartsWith(failures[1], u"Could not add the token to hseeds.csv: the file could not be opened (error "));
    EXPECT_TRUE(EndsWith(failures[0], u").\r\n"));
    EXPECT_TRUE(EndsWith(failures[1], u").\r\n"));
  }
  EXPECT_EQ(FileNames(scratch.path()), (std::set<std::string>{"plain-file"}));
}

TEST(SeedExportFaults, OneUnusableFileDoesNotCostTheTokenInTheOther) {
  {
    ScratchFolder folder;
    fs::create_directory(folder / "hseeds.xml");
    const auto failures = AppendSeedFiles(folder.path(), FirstToken());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(StartsWith(failures[0], u"Could not add the token to hseeds.xml: the file could not be read (error "));
    EXPECT_TRUE(fs::is_directory(folder / "hseeds.xml"));
    EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(kHotpCsvHeader + kFirstRow));
  }
  {
    ScratchFolder folder;
    fs::create_directory(folder / "hseeds.csv");
    const auto failures = AppendSeedFiles(folder.path(), FirstToken());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(StartsWith(failures[0], u"Could not add the token to hseeds.csv: the file could not be opened (error "));
    EXPECT_NE(ReadBytes(folder / "hseeds.xml").find("<serial>0000123456789</serial>"), std::string::npos);
  }
}

#ifndef _WIN32
TEST(SeedExportFaults, ReadOnlyFolderIsReportedAndExistingFilesStayWhole) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  ScratchFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.path(), FirstToken()).empty());
  const std::string xml = ReadBytes(folder / "hseeds.xml");
  fs::permissions(folder.path(), fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(folder / "hseeds.csv", fs::perms::owner_read);

  const auto failures = AppendSeedFiles(folder.path(), SecondToken());

  fs::permissions(folder.path(), fs::perms::owner_all);
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0], u"Could not add the token to hseeds.xml: a temporary file could not be created beside "
                         u"it (error 13); it was left unchanged.\r\n");
  EXPECT_EQ(failures[1], u"Could not add the token to hseeds.csv: the file could not be opened (error 13).\r\n");
  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), xml);
}
#endif

TEST(SeedExportFaults, TokenAnotherProgramAddedMeanwhileIsKept) {
  ScratchFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.path(), FirstToken()).empty());
  // Another program rewrites the file in its own style with a token of its own.
  WriteBytes(folder / "hseeds.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- exported by another tool -->\r\n"
             "<data><header><manufacturerCode>VT</manufacturerCode><productCode>CE</productCode>"
             "<encode>HEX</encode><encrypt>NONE</encrypt></header><tokens>"
             "<token><crypto>HmacSHA1</crypto><digits>6</digits><serial>0000123456789</serial>"
             "<seed>3132333435363738393031323334353637383930</seed></token>"
             "<token><crypto>HmacSHA1</crypto><digits>6</digits><serial>OTHER-1</serial>"
             "<seed>00</seed></token></tokens></data>\r\n");

  EXPECT_TRUE(AppendSeedFiles(folder.path(), SecondToken()).empty());

  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"),
            XmlLines({"<?xml version=\"1.0\"?>",
                      "<data>",
                      "\t<header>",
                      "\t\t<manufacturerCode>VT</manufacturerCode>",
                      "\t\t<productCode>CE</productCode>",
                      "\t\t<encode>HEX</encode>",
                      "\t\t<encrypt>NONE</encrypt>",
                      "\t</header>",
                      "\t<tokens>",
                      "\t\t<token>",
                      "\t\t\t<crypto>HmacSHA1</crypto>",
                      "\t\t\t<digits>6</digits>",
                      "\t\t\t<serial>0000123456789</serial>",
                      "\t\t\t<seed>3132333435363738393031323334353637383930</seed>",
                      "\t\t</token>",
                      "\t\t<token>",
                      "\t\t\t<crypto>HmacSHA1</crypto>",
                      "\t\t\t<digits>6</digits>",
                      "\t\t\t<serial>OTHER-1</serial>",
                      "\t\t\t<seed>00</seed>",
                      "\t\t</token>",
                      "\t\t<token>",
                      "\t\t\t<crypto>HmacSHA1</crypto>",
                      "\t\t\t<digits>6</digits>",
                      "\t\t\t<serial>0000987654321</serial>",
                      "\t\t\t<seed>3132333435363738393031323334353637383930</seed>",
                      "\t\t</token>",
                      "\t</tokens>",
                      "</data>"}));
}

}  // namespace
}  // namespace seed_export_test
