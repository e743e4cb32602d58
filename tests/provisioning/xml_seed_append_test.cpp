// Old bytes and a token in, the new file's bytes or a refusal out.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "provisioning/seed_files/xml_seed_append.h"
#include "tests/provisioning/xml_seed_test_support.h"

namespace xml_seed_test {
namespace {

using Status = XmlAppendOutcome::Status;

struct Appended {
  XmlAppendOutcome outcome;
  std::string bytes;
};

Appended Append(std::optional<std::string> existing, bool totp, const XmlSeedToken& token) {
  StringSink sink;
  XmlAppendOutcome outcome = AppendTokenToXml(existing ? &*existing : nullptr, totp, token, sink);
  return {outcome, sink.bytes};
}

// ASCII text as UTF-16 (little-endian, with its byte-order mark).
std::string Utf16(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (const char c : ascii) bytes += {c, '\0'};
  return bytes;
}

const TokenLines kFirst{"HmacSHA1", "", "6", "0000111111111", "3132333435363738393031323334353637383930"};

TEST(XmlSeedAppend, NewFileAndEveryLaterSaveKeepTheLayoutByteForByte) {
  for (const bool totp : {false, true}) {
    SCOPED_TRACE(totp ? "TOTP" : "HOTP");
    const Appended first = Append(std::nullopt, totp, NewToken("0000111111111"));
    EXPECT_EQ(first.outcome.status, Status::Written);
    ASSERT_EQ(first.bytes, SeedFileXml(totp, TokenXml(kFirst)));
    EXPECT_TRUE(SerialLookupFinds(first.bytes, "0000111111111"));

    // A name with markup and non-ASCII text, and a SHA-256 token of 8 digits.
    const Appended second = Append(first.bytes, totp, NewToken("0000222222222", "R&D <lab> \"Zo\xC3\xAB\"", true));
    EXPECT_EQ(second.outcome.status, Status::Written);
    const TokenLines secondLines{"HmacSHA256", "R&amp;D &lt;lab&gt; \"Zo\xC3\xAB\"", "8", "0000222222222",
                                 "3132333435363738393031323334353637383930313233343536373839303132"};
    EXPECT_EQ(second.bytes, SeedFileXml(totp, TokenXml(kFirst) + TokenXml(secondLines)));
  }
}

TEST(XmlSeedAppend, WhitespaceOnlyAndControlTextOfEarlierTokensSurvivesTheNextSave) {
  TokenLines blank = kFirst;
  blank.serial = " ";
  blank.name = "\t \n";
  TokenLines control = kFirst;
  control.serial = "A&#01;B";
  const std::string tokens = TokenXml(blank) + TokenXml(control);

  const Appended next = Append(SeedFileXml(false, tokens), false, NewToken("0000333333333"));

  EXPECT_EQ(next.outcome.status, Status::Written);
  TokenLines third = kFirst;
  third.serial = "0000333333333";
  EXPECT_EQ(next.bytes, SeedFileXml(false, tokens + TokenXml(third)));
}

TEST(XmlSeedAppend, WhitespaceOutsideTheLayoutTextIsDroppedAsBefore) {
  // Also when the parse keeps all whitespace, as beside comments.
  const std::string file =
      "<data> <header>\n<a> <b/> t <c/> </a><e> </e></header><x> </x><tokens>\r\n <token> <name> </name>"
      "<serial> <b/> </serial><seed>A<![CDATA[ ]]> </seed></token>  </tokens></data>";
  for (const std::string& bytes : {file, file + "<!-- -->"}) {
    const Appended next = Append(bytes, false, NewToken("0000111111111"));
    EXPECT_EQ(next.outcome.status, Status::Written);
    EXPECT_EQ(next.bytes,
              "<?xml version=\"1.0\"?>\n<data>\n\t<header>\n\t\t<a>\n\t\t\t<b /> t <c />\n\t\t</a>\n"
              "\t\t<e> </e>\n\t</header>\n\t<x />\n\t<tokens>\n\t\t<token>\n\t\t\t<name> </name>\n"
              "\t\t\t<serial>\n\t\t\t\t<b />\n\t\t\t</serial>\n\t\t\t<seed>A<![CDATA[ ]]></seed>\n\t\t</token>\n" +
                  TokenXml(kFirst) + "\t</tokens>\n</data>\n" + (bytes == file ? "" : "<!-- -->\n"));
  }
}

TEST(XmlSeedAppend, CommentsAndProcessingInstructionsStayWhereTheyStand) {
  const std::string file =
      "<?xml version=\"1.0\"?>\n<!-- exported for the server -->\n"
      "<?xml-stylesheet type=\"text/xsl\" href=\"seeds.xsl\"?>\n<data>\n"
      "  <!-- header as the server wants it -->\n  <header>\n"
      "    <manufacturerCode>VT</manufacturerCode><!-- vendor -->\n    <productCode>CE</productCode>\n"
      "    <encode>HEX</encode>\n    <encrypt>NONE</encrypt>\n  </header>\n  <tokens>\n"
      "    <!-- lost key, seed kept:\n    <token><serial>0000999999999</serial><seed>3132</seed></token> -->\n"
      "    <token>\n      <!-- R&D -->\n      <crypto>HmacSHA1</crypto>\n"
      "      <name>\n        <!-- was: Alice -->\n        Bob\n      </name>\n      <digits>6</digits>\n"
      "      <serial>0000111111111</serial>\n      <seed>3132333435363738393031323334353637383930</seed>\n"
      "    </token>\n    <?audit checked  2026-01-05 ?>\n  </tokens>\n  <!--\todd\t whitespace  -->\n"
      "</data>\n<!-- end -->\n";
  TokenLines second = kFirst;
  second.serial = "0000222222222";
  const std::string expected =
      "<?xml version=\"1.0\"?>\n<!-- exported for the server -->\n"
      "<?xml-stylesheet type=\"text/xsl\" href=\"seeds.xsl\"?>\n<data>\n"
      "\t<!-- header as the server wants it -->\n\t<header>\n"
      "\t\t<manufacturerCode>VT</manufacturerCode>\n\t\t<!-- vendor -->\n\t\t<productCode>CE</productCode>\n"
      "\t\t<encode>HEX</encode>\n\t\t<encrypt>NONE</encrypt>\n\t</header>\n\t<tokens>\n"
      "\t\t<!-- lost key, seed kept:\n    <token><serial>0000999999999</serial><seed>3132</seed></token> -->\n"
      "\t\t<token>\n\t\t\t<!-- R&D -->\n\t\t\t<crypto>HmacSHA1</crypto>\n"
      "\t\t\t<name>\n        <!-- was: Alice -->\n        Bob\n      </name>\n\t\t\t<digits>6</digits>\n"
      "\t\t\t<serial>0000111111111</serial>\n\t\t\t<seed>3132333435363738393031323334353637383930</seed>\n"
      "\t\t</token>\n\t\t<?audit checked  2026-01-05 ?>\n" +
      TokenXml(second) + "\t</tokens>\n\t<!--\todd\t whitespace  -->\n</data>\n<!-- end -->\n";
  const Appended next = Append(file, false, NewToken(second.serial));
  EXPECT_EQ(next.outcome.status, Status::Written);
  EXPECT_EQ(next.bytes, expected);
  // The next save keeps them as they are now.
  second.serial = "0000333333333";
  EXPECT_EQ(Append(next.bytes, false, NewToken(second.serial)).bytes,
            expected.substr(0, expected.find("\t</tokens>")) + TokenXml(second) +
                expected.substr(expected.find("\t</tokens>")));
}

// Inside an element holding text, comments and processing instructions are
// written with the text around them as it was, whitespace included.
TEST(XmlSeedAppend, TextAroundCommentsIsKeptAsItStands) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"<name><!-- was: Alice --></name>", "<name><!-- was: Alice --></name>"},
      {"<serial> <!-- a -->\t</serial>", "<serial> <!-- a -->\t</serial>"},
      {"<seed>3132<?check?>3334<![CDATA[35]]><!--36--></seed>",
       "<seed>3132<?check?>3334<![CDATA[35]]><!--36--></seed>"},
      {"<x>note<!-- c --><y/><?p?><z> <w/> </z></x>",
       "<x>note<!-- c --><y /><?p?><z>\n\t\t\t\t\t<w />\n\t\t\t\t</z></x>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    const Appended next =
        Append("<data><tokens><token>" + c.in + "</token></tokens></data>", false, NewToken("0000111111111"));
    EXPECT_EQ(next.outcome.status, Status::Written);
    EXPECT_EQ(next.bytes, "<?xml version=\"1.0\"?>\n<data>\n\t<tokens>\n\t\t<token>\n\t\t\t" + c.out +
                              "\n\t\t</token>\n" + TokenXml(kFirst) + "\t</tokens>\n</data>\n");
  }
  // Outside the layout too, and in a serial.
  const Appended split = Append(
      "<data><note>see <!-- x -->below</note><tokens><token><serial>0000<!-- y -->111111111</serial>"
      "</token></tokens></data>",
      false, NewToken("0000111111111"));
  EXPECT_NE(split.bytes.find("\n\t<note>see <!-- x -->below</note>\n"), std::string::npos) << split.bytes;
  EXPECT_NE(split.bytes.find("\t\t\t<serial>0000<!-- y -->111111111</serial>\n"), std::string::npos) << split.bytes;
}

// What a save appends to is what the serial lookup before it reads: each
// serial's text as a server compares it, references decoded, trimmed.
TEST(XmlSeedAppend, TheSerialLookupFindsTheExactTextOfAnEarlierSerial) {
  TokenLines escaped = kFirst;
  escaped.serial = "A&amp;B";
  TokenLines spaced = kFirst;
  spaced.serial = " 0000444444444";
  const std::string file = SeedFileXml(true, TokenXml(kFirst) + TokenXml(escaped) + TokenXml(spaced));
  const struct {
    const char* serial;
    bool present;
  } cases[] = {{"0000111111111", true},   {"A&B", true}, {"A&amp;B", false}, {"0000444444444", true},
               {" 0000444444444", false}, {"", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serial);
    const Appended next = Append(file, true, NewToken(c.serial));
    EXPECT_EQ(next.outcome.status, Status::Written);
    EXPECT_EQ(SerialLookupFinds(file, c.serial), c.present);
  }
  // A serial element outside data/tokens/token makes its text look taken too:
  // a foreign file can never hide a serial.
  EXPECT_TRUE(SerialLookupFinds("<data><serial>S</serial><tokens/></data>", "S"));
}

TEST(XmlSeedAppend, FilesTheRewriteCannotCarryOverAreRefusedWithTheirReason) {
  std::string deep = "<data><tokens/>";
  for (int level = 2; level <= 33; ++level) deep += "<x>";
  for (int level = 2; level <= 33; ++level) deep += "</x>";
  deep += "</data>";
  const struct {
    std::string file;
    const char16_t* reason;
  } cases[] = {
      {"<!DOCTYPE data [<!ENTITY co \"Velthor\">]><data><tokens><token><name>&co;</name></token>"
       "</tokens></data>",
       u"the file has a document type declaration, whose entities cannot be carried over"},
      {"<?xml version='1.0' encoding = 'US-ASCII'?><data><tokens><token><name>Zo\xEB</name>"
       "</token></tokens></data>",
       u"the file is in the encoding US-ASCII, which cannot be converted to UTF-8"},
      {deep, u"the file's elements nest deeper than 32 levels"},
      // Read back as "&amp;co;", the name would become other text.
      {"<data><tokens><token><name>A&amp;B &co;</name></token></tokens></data>",
       u"the file holds a reference that XML does not define at byte 35"},
      {"<data><tokens><token><name>R&D</name></token></tokens></data>",
       u"the file holds a reference that XML does not define at byte 28"},
      // Hidden from the byte scan behind a "<!--" in an attribute value.
      {"<data note=\"<!--\"><tokens><token><name>&co;</name></token></tokens><!-- --></data>",
       u"the file holds a reference that XML does not define at byte 39"},
      // pugixml would write "- -": the comment would come back as other text.
      {"<data><tokens><!-- a -- b --></tokens></data>",
       u"the file holds a comment with \"--\" inside it at byte 14, which XML does not allow"},
      {"<data><tokens/><!-- to do ---></data>",
       u"the file holds a comment with \"--\" inside it at byte 15, which XML does not allow"},
      {"<data><header/></data>", u"the file has no data/tokens element"},
      {"<data><tokens>", u"the file could not be parsed (Start-end tags mismatch at byte 13)"},
      {"", u"the file could not be parsed (No document element found at byte 0)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::string bytes = c.file;
    StringSink sink;
    const XmlAppendOutcome outcome = AppendTokenToXml(&bytes, false, NewToken("S"), sink);
    EXPECT_EQ(outcome.status, Status::Refused);
    EXPECT_EQ(outcome.reason, c.reason);
    EXPECT_TRUE(sink.bytes.empty());
  }
}

// pugixml would write them back in UTF-8: refused, nothing written.
TEST(XmlSeedAppend, FilesInAnEncodingTheToolDoesNotWriteAreRefused) {
  const std::string tokens = "<data><tokens><token><name>Zo\xEB</name></token></tokens></data>";
  const struct {
    std::string file;
    SeedTextEncoding encoding;
    std::string declared;
  } cases[] = {
      {Utf16(tokens), SeedTextEncoding::Utf16Le, ""},
      {Utf16(tokens).substr(2), SeedTextEncoding::Utf16Le, ""},
      {"\xFE\xFF" + std::string("\0<\0d", 4), SeedTextEncoding::Utf16Be, ""},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + tokens, SeedTextEncoding::Latin1, "ISO-8859-1"},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + tokens, SeedTextEncoding::Other, "windows-1252"},
      {std::string("<\0\0\0d\0\0\0", 8), SeedTextEncoding::Other, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const Appended next = Append(c.file, false, NewToken("S"));
    EXPECT_EQ(next.outcome.status, Status::ForeignEncoding);
    EXPECT_EQ(next.outcome.encoding.text, c.encoding);
    EXPECT_EQ(next.outcome.encoding.declared, c.declared);
    EXPECT_TRUE(next.bytes.empty());
  }
  // A UTF-8 byte-order mark stays.
  const Appended marked = Append("\xEF\xBB\xBF<data><tokens/></data>", false, NewToken("S"));
  EXPECT_EQ(marked.outcome.status, Status::Written);
  EXPECT_EQ(marked.bytes.rfind("\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<data>", 0), 0u) << marked.bytes;
}

TEST(XmlSeedAppend, ConvertibleEncodingsAndTheDeepestAllowedFileAreWritten) {
  // ASCII is carried over as UTF-8 without its declaration.
  EXPECT_EQ(Append("<?xml version=\"1.0\" encoding=\"us-ascii\"?><data><tokens/></data>", false, NewToken("S"))
                .outcome.status,
            Status::Written);

  // Every reference XML defines, and an '&' where markup does not count.
  const Appended references = Append(
      "<data><!-- R&D --><tokens><token><name>&lt;&amp;&#65;&#x42;&quot;&apos;&gt;"
      "<![CDATA[&co;]]></name></token></tokens><?note a&b?></data>",
      false, NewToken("S"));
  EXPECT_EQ(references.outcome.status, Status::Written) << references.outcome.reason.size();
  EXPECT_NE(references.bytes.find("<name>&lt;&amp;AB\"'&gt;<![CDATA[&co;]]></name>"), std::string::npos)
      << references.bytes;

  std::string deep = "<data><tokens/>";
  for (int level = 2; level <= 32; ++level) deep += "<x>";
  for (int level = 2; level <= 32; ++level) deep += "</x>";
  EXPECT_EQ(Append(deep + "</data>", false, NewToken("S")).outcome.status, Status::Written);
}

TEST(XmlSeedAppend, AFailingSinkGivesSinkFailed) {
  const std::string file = SeedFileXml(false, TokenXml(kFirst));
  for (const std::size_t budget : {std::size_t{0}, std::size_t{100}, file.size()}) {
    SCOPED_TRACE(budget);
    std::string bytes = file;
    FailingSink sink(budget);
    const XmlAppendOutcome outcome = AppendTokenToXml(&bytes, false, NewToken("0000222222222"), sink);
    EXPECT_EQ(outcome.status, Status::SinkFailed);
  }
}

}  // namespace
}  // namespace xml_seed_test
