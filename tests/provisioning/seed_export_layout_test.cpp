// The seed export files hold exactly the bytes an importing server expects.
#include <gtest/gtest.h>

#include "provisioning/seed_export.h"
#include "provisioning/seed_text.h"
#include "seed_export_test_support.h"

namespace seed_export_test {
namespace {

// 20 bytes with high and low nibbles of every kind, so the hex case shows.
std::vector<std::uint8_t> MixedSeed() {
  std::vector<std::uint8_t> seed;
  for (int byte = 0xF0; byte <= 0xFF; ++byte) seed.push_back(static_cast<std::uint8_t>(byte));
  for (int byte = 0x00; byte <= 0x03; ++byte) seed.push_back(static_cast<std::uint8_t>(byte));
  return seed;
}

const char* const kHotpHeaderLines[] = {
    "<?xml version=\"1.0\"?>",
    "<data>",
    "\t<header>",
    "\t\t<manufacturerCode>VT</manufacturerCode>",
    "\t\t<productCode>CE</productCode>",
    "\t\t<encode>HEX</encode>",
    "\t\t<encrypt>NONE</encrypt>",
    "\t</header>",
};

std::string HotpXml(std::initializer_list<const char*> tokenLines) {
  std::string text;
  for (const char* line : kHotpHeaderLines) text.append(line).push_back('\n');
  text += "\t<tokens>\n";
  for (const char* line : tokenLines) text.append(line).push_back('\n');
  text += "\t</tokens>\n</data>\n";
  return text;
}

std::string TotpXml(std::initializer_list<const char*> tokenLines) {
  std::string text = XmlLines({
      "<?xml version=\"1.0\"?>",
      "<data>",
      "\t<header>",
      "\t\t<manufacturerCode>VT</manufacturerCode>",
      "\t\t<productCode>CT</productCode>",
      "\t\t<encode>HEX</encode>",
      "\t\t<timeWindow>30</timeWindow>",
      "\t\t<encrypt>NONE</encrypt>",
      "\t</header>",
      "\t<tokens>",
  });
  for (const char* line : tokenLines) text.append(line).push_back('\n');
  text += "\t</tokens>\n</data>\n";
  return text;
}

TEST(SeedExportLayout, FirstHotpTokenCreatesOnlyTheHotpFiles) {
  ScratchFolder folder;
  const auto failures = AppendSeedFiles(folder.path(), HotpToken("0000123456789", MixedSeed()));

  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"),
            HotpXml({"\t\t<token>",
                     "\t\t\t<crypto>HmacSHA1</crypto>",
                     "\t\t\t<digits>6</digits>",
                     "\t\t\t<serial>0000123456789</serial>",
                     "\t\t\t<seed>F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF00010203</seed>",
                     "\t\t</token>"}));
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"),
            Utf16Le(u"Serial Number, Secret Key\r\n"
                    u"0000123456789,f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff00010203\r\n"));
  EXPECT_EQ(FileNames(folder.path()), (std::set<std::string>{"hseeds.csv", "hseeds.xml"}));
}

TEST(SeedExportLayout, SecondTokenIsAppendedAfterTheFirstWithoutRepeatingTheHeader) {
  ScratchFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.path(), HotpToken("0000123456789", MixedSeed())).empty());
  ExportedToken second = HotpToken("0000987654321", Rfc6238Sha256Secret());
  second.sha256 = true;
  second.digits = 8;

  EXPECT_TRUE(AppendSeedFiles(folder.path(), second).empty());

  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"),
            HotpXml({"\t\t<token>",
                     "\t\t\t<crypto>HmacSHA1</crypto>",
                     "\t\t\t<digits>6</digits>",
                     "\t\t\t<serial>0000123456789</serial>",
                     "\t\t\t<seed>F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF00010203</seed>",
                     "\t\t</token>",
                     "\t\t<token>",
                     "\t\t\t<crypto>HmacSHA256</crypto>",
                     "\t\t\t<digits>8</digits>",
                     "\t\t\t<serial>0000987654321</serial>",
                     "\t\t\t<seed>3132333435363738393031323334353637383930313233343536373839303132</seed>",
                     "\t\t</token>"}));
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"),
            Utf16Le(u"Serial Number, Secret Key\r\n"
                    u"0000123456789,f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff00010203\r\n"
                    u"0000987654321,3132333435363738393031323334353637383930313233343536373839303132\r\n"));
}

TEST(SeedExportLayout, TotpSha256TokenWithUserNameAndSixtySeconds) {
  ScratchFolder folder;
  const auto failures = AppendSeedFiles(
      folder.path(), TotpToken("0000987654321", Rfc6238Sha256Secret(), u"alice@example.com", 60));

  EXPECT_TRUE(failures.empty());
  // The header keeps its 30-second window; the token itself carries no interval.
  EXPECT_EQ(ReadBytes(folder / "tseeds.xml"),
            TotpXml({"\t\t<token>",
                     "\t\t\t<crypto>HmacSHA256</crypto>",
                     "\t\t\t<name>alice@example.com</name>",
                     "\t\t\t<digits>8</digits>",
                     "\t\t\t<serial>0000987654321</serial>",
                     "\t\t\t<seed>3132333435363738393031323334353637383930313233343536373839303132</seed>",
                     "\t\t</token>"}));
  EXPECT_EQ(ReadBytes(folder / "tseeds.csv"),
            Utf16Le(u"UPN, Serial Number, Secret Key, Time Interval, Manufacturer, Model\r\n"
                    u"alice@example.com,0000987654321,"
                    u"GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZA====,60,"
                    u"Velthor Security,Corvane\r\n"));
  EXPECT_EQ(FileNames(folder.path()), (std::set<std::string>{"tseeds.csv", "tseeds.xml"}));
}

TEST(SeedExportLayout, EmptyUserNameGivesNoNameElementAndARowStartingWithAComma) {
  ScratchFolder folder;
  ExportedToken token = TotpToken("0000111111111", Rfc4226Secret(), u"", 30);
  token.digits = 6;

  EXPECT_TRUE(AppendSeedFiles(folder.path(), token).empty());

  EXPECT_EQ(ReadBytes(folder / "tseeds.xml"),
            TotpXml({"\t\t<token>",
                     "\t\t\t<crypto>HmacSHA1</crypto>",
                     "\t\t\t<digits>6</digits>",
                     "\t\t\t<serial>0000111111111</serial>",
                     "\t\t\t<seed>3132333435363738393031323334353637383930</seed>",
                     "\t\t</token>"}));
  EXPECT_EQ(ReadBytes(folder / "tseeds.csv"),
            Utf16Le(u"UPN, Serial Number, Secret Key, Time Interval, Manufacturer, Model\r\n"
                    u",0000111111111,GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ,30,Velthor Security,Corvane\r\n"));
}

TEST(SeedExportLayout, ExistingEmptyCsvGetsNoHeader) {
  ScratchFolder folder;
  WriteBytes(folder / "hseeds.csv", "");

  EXPECT_TRUE(AppendSeedFiles(folder.path(), HotpToken("0000123456789", MixedSeed())).empty());

  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"),
            Utf16Le(u"0000123456789,f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff00010203\r\n"));
}

TEST(SeedExportLayout, FieldsWithCommaOrQuoteAreQuotedAndXmlTextIsEscaped) {
  ScratchFolder folder;
  const auto failures = AppendSeedFiles(
      folder.path(), TotpToken("0000,22", Rfc4226Secret(), u"Smith, \"R&D\" <lab>", 30));

  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(ReadBytes(folder / "tseeds.csv"),
            Utf16Le(u"UPN, Serial Number, Secret Key, Time Interval, Manufacturer, Model\r\n"
                    u"\"Smith, \"\"R&D\"\" <lab>\",\"0000,22\",GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ,30,"
                    u"Velthor Security,Corvane\r\n"));
  const std::string xml = ReadBytes(folder / "tseeds.xml");
  EXPECT_NE(xml.find("\t\t\t<name>Smith, \"R&amp;D\" &lt;lab&gt;</name>\n"), std::string::npos) << xml;
  EXPECT_NE(xml.find("\t\t\t<serial>0000,22</serial>\n"), std::string::npos) << xml;
}

TEST(SeedExportLayout, NonAsciiUserNameIsUtf8InXmlAndUtf16InCsv) {
  ScratchFolder folder;
  // e with diaeresis, two CJK ideographs and an emoji outside the BMP.
  const MessageText name = u"Zo\u00EB \u540D\u524D \U0001F600";
  const auto failures = AppendSeedFiles(folder.path(), TotpToken("0000111111111", Rfc4226Secret(), name, 30));

  EXPECT_TRUE(failures.empty());
  const std::string xml = ReadBytes(folder / "tseeds.xml");
  EXPECT_NE(xml.find("\t\t\t<name>Zo\xC3\xAB \xE5\x90\x8D\xE5\x89\x8D \xF0\x9F\x98\x80</name>\n"),
            std::string::npos)
      << xml;
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\"?>\n", 0), 0u) << "no byte-order mark, no encoding";
  EXPECT_EQ(ReadBytes(folder / "tseeds.csv"),
            Utf16Le(u"UPN, Serial Number, Secret Key, Time Interval, Manufacturer, Model\r\n" + name +
                    u",0000111111111,GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ,30,Velthor Security,Corvane\r\n"));
}

TEST(SeedExportLayout, TextBesideElementsInAnExistingFileIsWrittenBackAsLoaded) {
  ScratchFolder folder;
  WriteBytes(folder / "hseeds.xml",
             "<data><header>h<x/>t</header><tokens>note<token><crypto>A</crypto>"
             "<name>a&amp;b</name></token>tail</tokens></data>");

  EXPECT_TRUE(AppendSeedFiles(folder.path(), HotpToken("0000123456789", MixedSeed())).empty());

  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"),
            XmlLines({"<?xml version=\"1.0\"?>",
                      "<data>",
                      "\t<header>h<x />t</header>",
                      "\t<tokens>note<token>",
                      "\t\t\t<crypto>A</crypto>",
                      "\t\t\t<name>a&amp;b</name>",
                      "\t\t</token>tail<token>",
                      "\t\t\t<crypto>HmacSHA1</crypto>",
                      "\t\t\t<digits>6</digits>",
                      "\t\t\t<serial>0000123456789</serial>",
                      "\t\t\t<seed>F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF00010203</seed>",
                      "\t\t</token>",
                      "\t</tokens>",
                      "</data>"}));
}

TEST(SeedText, LoneSurrogatesBecomeTheReplacementCharacterInUtf8) {
  EXPECT_EQ(Utf8FromUtf16(u"a\xD800z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(Utf8FromUtf16(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8FromUtf16(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
}

TEST(SeedText, CsvFieldsAreQuotedOnlyWhenTheyMustBe) {
  EXPECT_EQ(CsvField(u"plain text; with semicolon"), u"plain text; with semicolon");
  EXPECT_EQ(CsvField(u""), u"");
  EXPECT_EQ(CsvField(u"a\"b"), u"\"a\"\"b\"");
  EXPECT_EQ(CsvField(u"line\r\nbreak"), u"\"line\r\nbreak\"");
  EXPECT_EQ(CsvField(u"one\ntwo"), u"\"one\ntwo\"");
}

}  // namespace
}  // namespace seed_export_test
