// The XML step over the real file layer: a file in the tool's layout streams
// through without being read whole, any other file is rewritten, and either
// way a failure leaves the old file and says why.
#include <gtest/gtest.h>

#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_export_messages.h"
#include "provisioning/seed_files/xml_seed_append.h"
#include "provisioning/seed_files/xml_seed_file.h"
#include "seed_export_test_support.h"
#include "tests/provisioning/xml_seed_test_support.h"

namespace seed_export_test {
namespace {

using xml_seed_test::NewToken;
using xml_seed_test::SeedFileXml;
using xml_seed_test::SerialLookupFinds;
using xml_seed_test::TokenLines;
using xml_seed_test::TokenXml;

// AddTokenToXmlFile as the operator reads it: the failure's line, and the notes' lines.
std::optional<MessageText> AppendTokenToXmlFile(SeedFileAccess& files, const fs::path& file, bool totp,
                                                const XmlSeedToken& token, std::vector<MessageText>* notes = nullptr) {
  std::vector<SeedFileNote> noted;
  const std::optional<SeedFileFailure> failure = AddTokenToXmlFile(files, file, totp, token, &noted);
  if (notes) {
    for (const SeedFileNote& note : noted) notes->push_back(NoteLine(note));
  }
  if (failure) return FailureLine(*failure);
  return std::nullopt;
}

// What the rewrite makes of `bytes` with `token`.
std::string Rewritten(std::string bytes, const XmlSeedToken& token) {
  StringSink sink;
  EXPECT_EQ(AppendTokenToXml(&bytes, false, token, sink).status, XmlAppendOutcome::Status::Written);
  return sink.bytes;
}

TEST(XmlSeedFile, TheToolsOwnFileStreamsAndAnyOtherIsRewrittenToTheSameBytes) {
  TokenLines name;
  name.name = "R&amp;D \xC3\xAB";
  const std::string layout = SeedFileXml(false, TokenXml({}) + TokenXml(name));
  const std::string foreign = "<data><tokens><token><serial>A</serial></token></tokens></data>\r\n";
  const XmlSeedToken token = NewToken("0000987654321", "n");
  for (const auto& [file, wholeReads] : {std::pair{layout, 0}, std::pair{foreign, 1}}) {
    SCOPED_TRACE(file);
    TempFolder folder;
    WriteBytes(folder / "hseeds.xml", file);
    FaultySeedFiles files;
    EXPECT_FALSE(SerialLookupFinds(file, token.serial));
    EXPECT_EQ(AppendTokenToXmlFile(files, folder / "hseeds.xml", false, token), std::nullopt);
    EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), Rewritten(file, token));
    EXPECT_EQ(files.wholeReads, wholeReads);
    EXPECT_EQ(folder.Entries(), (Names{"hseeds.xml"}));
  }
}

// A save whose temporary name could not be removed after the swap says so.
TEST(XmlSeedFile, ATemporaryNameThatStaysIsSaid) {
  struct StrayName final : SeedFileAccess {
    PublishOutcome Publish(const fs::path& file, const FileWriter& write,
                           const std::vector<fs::path>& securityFrom) override {
      PublishOutcome published = SeedFileAccess::Publish(file, write, securityFrom);
      published.strayTemporary = fs::path(file) += ".otp-00112233445566aa.tmp";
      return published;
    }
  };
  TempFolder folder;
  StrayName files;
  std::vector<MessageText> notes;
  EXPECT_EQ(AppendTokenToXmlFile(files, folder / "hseeds.xml", false, NewToken("0000987654321"), &notes), std::nullopt);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find(u"hseeds.xml.otp-00112233445566aa.tmp"), MessageText::npos);
}

TEST(XmlSeedFile, FailuresWhileStreamingLeaveTheFileAndSayWhy) {
  const std::string layout = SeedFileXml(false, TokenXml({}) + TokenXml({}) + TokenXml({}));
  struct Case {
    std::function<void(FaultySeedFiles&)> inject;
    MessageText line;
  } cases[] = {
      {[](FaultySeedFiles& f) { f.blockReadFailsAfter = 100; },
       u"Could not add the token to hseeds.xml: the file could not be read (" + Said(23) +
           u"); it was left unchanged.\r\n"},
      {[](FaultySeedFiles& f) { f.temporaryWriteFailsAfter = 100; },
       u"Could not add the token to hseeds.xml: the file could not be written (" + Said(112) +
           u"); it was left "
           u"unchanged.\r\n"},
      {[](FaultySeedFiles& f) { f.replaceFailure = FileError{5}; },
       u"Could not add the token to hseeds.xml: the file could not be replaced (" + Said(5) +
           u"); it was left "
           u"unchanged.\r\n"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    WriteBytes(folder / "hseeds.xml", layout);
    FaultySeedFiles files;
    c.inject(files);
    EXPECT_EQ(AppendTokenToXmlFile(files, folder / "hseeds.xml", false, NewToken("S")), MessageText(c.line));
    EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), layout);
    EXPECT_EQ(files.wholeReads, 0);
    EXPECT_EQ(folder.Entries(), (Names{"hseeds.xml"}));
  }
}

TEST(XmlSeedFile, AFileTheRewriteCannotCarryOverIsLeftWithItsReason) {
  TempFolder folder;
  const std::string file = "<!DOCTYPE data [<!ENTITY co \"Velthor\">]><data><tokens/></data>";
  WriteBytes(folder / "hseeds.xml", file);
  FaultySeedFiles files;
  EXPECT_EQ(AppendTokenToXmlFile(files, folder / "hseeds.xml", false, NewToken("S")),
            MessageText(u"Could not add the token to hseeds.xml: the file has a document type declaration, "
                        u"whose entities cannot be carried over; it was left unchanged.\r\n"));
  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), file);
}

TEST(XmlSeedFile, AFileInAnEncodingTheToolDoesNotWriteIsLeftByteForByte) {
  const std::string tokens = "<data><tokens><token><serial>0000125</serial></token></tokens></data>";
  std::string utf16 = "\xFF\xFE";
  for (const char c : tokens) utf16 += {c, '\0'};
  const struct {
    std::string file;
    SeedFileFailure::EncodingProblem problem;
  } cases[] = {
      {utf16, SeedFileFailure::EncodingProblem::Utf16},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + tokens, SeedFileFailure::EncodingProblem::Declared},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + tokens, SeedFileFailure::EncodingProblem::Declared},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TempFolder folder;
    WriteBytes(folder / "hseeds.xml", c.file);
    SeedFileAccess files;
    const std::optional<SeedFileFailure> failure =
        AddTokenToXmlFile(files, folder / "hseeds.xml", false, NewToken("S"));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, SeedFileFailure::Step::Encoding);
    EXPECT_EQ(failure->encoding, c.problem);
    EXPECT_TRUE(failure->leftUnchanged);
    EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), c.file);
    // Its serials are seen all the same.
    EXPECT_TRUE(SerialLookupFinds(c.file, "0000125"));
  }
}

TEST(XmlSeedFile, ASerialAlreadyInTheFileIsToldBothWays) {
  // In the layout (streamed) and not (rewritten): the lookup before the save
  // finds it, and the save still adds the token.
  TokenLines earlier;
  earlier.serial = "0000123456789";
  for (const std::string& file :
       {SeedFileXml(false, TokenXml(earlier)),
        std::string("<data><tokens><token><serial>0000123456789</serial></token></tokens></data>")}) {
    SCOPED_TRACE(file);
    TempFolder folder;
    WriteBytes(folder / "hseeds.xml", file);
    FaultySeedFiles files;
    EXPECT_TRUE(SerialLookupFinds(ReadBytes(folder / "hseeds.xml"), "0000123456789"));
    EXPECT_EQ(AppendTokenToXmlFile(files, folder / "hseeds.xml", false, NewToken("0000123456789")), std::nullopt);
    const std::string saved = ReadBytes(folder / "hseeds.xml");
    EXPECT_NE(saved.find("<serial>0000123456789</serial>"), saved.rfind("<serial>0000123456789</serial>"));
  }
}

}  // namespace
}  // namespace seed_export_test
