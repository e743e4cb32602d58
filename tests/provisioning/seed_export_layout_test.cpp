// The seed export files hold exactly the bytes an importing server expects.
#include <gtest/gtest.h>

#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_text.h"
#include "seed_export_test_support.h"
#include "text/unicode_text.h"

namespace seed_export_test {
namespace {

const char kHotpCsvHeader[] = "Serial Number, Secret Key\r\n";
const char16_t kTotpCsvHeader[] = u"UPN, Serial Number, Secret Key, Time Interval, Manufacturer, Model\r\n";
const char kMixedHex[] = "F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF00010203";
const char kRfc4226Hex[] = "3132333435363738393031323334353637383930";
const char kSha256Hex[] = "3132333435363738393031323334353637383930313233343536373839303132";

// 20 bytes with high and low nibbles of every kind, so the hex case shows.
std::vector<std::uint8_t> MixedSeed() {
  std::vector<std::uint8_t> seed;
  for (int byte = 0xF0; byte <= 0x103; ++byte) seed.push_back(static_cast<std::uint8_t>(byte));
  return seed;
}

std::string TokenXml(const std::string& crypto, const std::string& name, int digits, const std::string& serial,
                     const std::string& seed) {
  return XmlLines({"\t\t<token>", "\t\t\t<crypto>" + crypto + "</crypto>"}) +
         (name.empty() ? "" : XmlLines({"\t\t\t<name>" + name + "</name>"})) +
         XmlLines({"\t\t\t<digits>" + std::to_string(digits) + "</digits>", "\t\t\t<serial>" + serial + "</serial>",
                   "\t\t\t<seed>" + seed + "</seed>", "\t\t</token>"});
}

std::string SeedXml(bool totp, const std::string& tokens) {
  return XmlLines({"<?xml version=\"1.0\"?>", "<data>", "\t<header>", "\t\t<manufacturerCode>VT</manufacturerCode>",
                   totp ? "\t\t<productCode>CT</productCode>" : "\t\t<productCode>CE</productCode>",
                   "\t\t<encode>HEX</encode>"}) +
         (totp ? XmlLines({"\t\t<timeWindow>30</timeWindow>"}) : "") +
         XmlLines({"\t\t<encrypt>NONE</encrypt>", "\t</header>", "\t<tokens>"}) + tokens +
         XmlLines({"\t</tokens>", "</data>"});
}

MessageText U(const std::string& ascii) { return MessageText(ascii.begin(), ascii.end()); }

TEST(SeedExportLayout, FirstAndSecondHotpTokens) {
  TempFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.Path(), HotpToken("0000123456789", MixedSeed())).empty());
  const std::string first = TokenXml("HmacSHA1", "", 6, "0000123456789", kMixedHex);
  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), SeedXml(false, first));
  const MessageText firstRow = u"0000123456789,f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff00010203\r\n";
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(U(kHotpCsvHeader) + firstRow));
  EXPECT_EQ(folder.Entries(), (Names{"hseeds.csv", "hseeds.xml"}));

  // The tool's own file is read back and extended; the header is not repeated.
  ExportedToken second = HotpToken("0000987654321", Rfc6238Sha256Secret());
  second.digits = 8;
  EXPECT_TRUE(AppendSeedFiles(folder.Path(), second).empty());
  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"),
            SeedXml(false, first + TokenXml("HmacSHA256", "", 8, "0000987654321", kSha256Hex)));
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"),
            Utf16Le(U(kHotpCsvHeader) + firstRow + u"0000987654321," + U(kSha256Hex) + u"\r\n"));
}

TEST(SeedExportLayout, TotpSha256TokenWithUserNameAndSixtySeconds) {
  TempFolder folder;
  EXPECT_TRUE(
      AppendSeedFiles(folder.Path(), TotpToken("0000987654321", Rfc6238Sha256Secret(), u"alice@example.com", 60))
          .empty());
  // The header keeps its 30-second window; the token itself carries no interval.
  EXPECT_EQ(ReadBytes(folder / "tseeds.xml"),
            SeedXml(true, TokenXml("HmacSHA256", "alice@example.com", 8, "0000987654321", kSha256Hex)));
  EXPECT_EQ(ReadBytes(folder / "tseeds.csv"),
            Utf16Le(std::u16string(kTotpCsvHeader) + u"alice@example.com,0000987654321,"
                                                     u"GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZA====,60,"
                                                     u"Velthor Security,Corvane\r\n"));
  EXPECT_EQ(folder.Entries(), (Names{"tseeds.csv", "tseeds.xml"}));
}

TEST(SeedExportLayout, EmptyUserNameGivesARowStartingWithACommaAndAnEmptyCsvNoHeader) {
  TempFolder folder;
  ExportedToken token = TotpToken("0000111111111", Rfc4226Secret(), u"", 30);
  token.digits = 6;
  EXPECT_TRUE(AppendSeedFiles(folder.Path(), token).empty());
  EXPECT_EQ(ReadBytes(folder / "tseeds.xml"), SeedXml(true, TokenXml("HmacSHA1", "", 6, "0000111111111", kRfc4226Hex)));
  EXPECT_EQ(ReadBytes(folder / "tseeds.csv"),
            Utf16Le(std::u16string(kTotpCsvHeader) +
                    u",0000111111111,GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ,30,Velthor Security,Corvane\r\n"));

  // An existing zero-byte CSV gets no header.
  WriteBytes(folder / "hseeds.csv", "");
  EXPECT_TRUE(AppendSeedFiles(folder.Path(), HotpToken("0000123456789", MixedSeed())).empty());
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), Utf16Le(u"0000123456789,f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff00010203\r\n"));
}

TEST(SeedExportLayout, UserTextIsQuotedEscapedAndEncoded) {
  TempFolder folder;
  // Separators and markup, then e with diaeresis, two CJK ideographs and an emoji outside the BMP.
  const MessageText name = u"Smith, \"R&D\" <lab> Zo\u00EB \u540D\u524D \U0001F600";
  EXPECT_TRUE(AppendSeedFiles(folder.Path(), TotpToken("0000,22", Rfc4226Secret(), name, 30)).empty());

  EXPECT_EQ(ReadBytes(folder / "tseeds.csv"),
            Utf16Le(std::u16string(kTotpCsvHeader) +
                    u"\"Smith, \"\"R&D\"\" <lab> Zo\u00EB \u540D\u524D \U0001F600\",\"0000,22\","
                    u"GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ,30,Velthor Security,Corvane\r\n"));
  const std::string xml = ReadBytes(folder / "tseeds.xml");
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\"?>\n", 0), 0u) << "no byte-order mark, no encoding";
  EXPECT_NE(xml.find("\t\t\t<name>Smith, \"R&amp;D\" &lt;lab&gt; "
                     "Zo\xC3\xAB \xE5\x90\x8D\xE5\x89\x8D \xF0\x9F\x98\x80</name>\n"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("\t\t\t<serial>0000,22</serial>\n"), std::string::npos) << xml;
}

TEST(SeedExportLayout, ForeignFileIsReadBackWithItsTokensAndTextAndRewrittenInOurStyle) {
  TempFolder folder;
  // Another program's style: declaration with encoding, a comment (which
  // stays), CRLF, one line, text beside the elements and a token of its own.
  WriteBytes(folder / "hseeds.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- exported by another tool -->\r\n"
             "<data><header>h<x/>t</header><tokens>note<token><crypto>HmacSHA1</crypto>"
             "<name>a&amp;b</name><serial>OTHER-1</serial><seed>00</seed></token>tail</tokens></data>\r\n");

  EXPECT_TRUE(AppendSeedFiles(folder.Path(), HotpToken("0000123456789", MixedSeed())).empty());

  EXPECT_EQ(
      ReadBytes(folder / "hseeds.xml"),
      XmlLines({"<?xml version=\"1.0\"?>", "<!-- exported by another tool -->", "<data>", "\t<header>h<x />t</header>",
                "\t<tokens>note<token>", "\t\t\t<crypto>HmacSHA1</crypto>", "\t\t\t<name>a&amp;b</name>",
                "\t\t\t<serial>OTHER-1</serial>", "\t\t\t<seed>00</seed>", "\t\t</token>tail<token>"}) +
          // Our token follows the text "tail" directly, so it starts without its own line.
          TokenXml("HmacSHA1", "", 6, "0000123456789", kMixedHex).substr(sizeof "\t\t<token>") +
          XmlLines({"\t</tokens>", "</data>"}));
}

TEST(SeedText, LoneSurrogatesBecomeTheReplacementCharacterAndCsvQuotesLineBreaks) {
  EXPECT_EQ(Utf8FromUtf16(u"a\xD800z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(Utf8FromUtf16(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8FromUtf16(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(CsvField(u"plain text; with semicolon"), u"plain text; with semicolon");
  EXPECT_EQ(CsvField(u"line\r\nbreak"), u"\"line\r\nbreak\"");
  EXPECT_EQ(CsvField(u"one\ntwo"), u"\"one\ntwo\"");
}

}  // namespace
}  // namespace seed_export_test
