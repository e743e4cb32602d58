// Old bytes and a token in, the new file's bytes or a refusal out.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "provisioning/xml_seed_append.h"
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

const TokenLines kFirst{"HmacSHA1", "", "6", "0000111111111", "3132333435363738393031323334353637383930"};

TEST(XmlSeedAppend, NewFileAndEveryLaterSaveKeepTheLayoutByteForByte) {
  for (const bool totp : {false, true}) {
    SCOPED_TRACE(totp ? "TOTP" : "HOTP");
    const Appended first = Append(std::nullopt, totp, NewToken("0000111111111"));
    EXPECT_EQ(first.outcome.status, Status::Written);
    EXPECT_FALSE(first.outcome.serialAlreadyPresent);
    ASSERT_EQ(first.bytes, SeedFileXml(totp, TokenXml(kFirst)));

    // A name with markup and non-ASCII text, and a SHA-256 token of 8 digits.
    const Appended second =
        Append(first.bytes, totp, NewToken("0000222222222", "R&D <lab> \"Zo\xC3\xAB\"", true));
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
  const Appended next = Append("<data><header>\n</header><tokens>\r\n  </tokens></data>", false,
                               NewToken("0000111111111"));
  EXPECT_EQ(next.outcome.status, Status::Written);
  EXPECT_EQ(next.bytes,
            "<?xml version=\"1.0\"?>\n<data>\n\t<header />\n\t<tokens>\n" + TokenXml(kFirst) +
                "\t</tokens>\n</data>\n");
}

TEST(XmlSeedAppend, SerialAlreadyPresentIsTheExactTextOfAnEarlierSerial) {
  TokenLines escaped = kFirst;
  escaped.serial = "A&amp;B";
  TokenLines spaced = kFirst;
  spaced.serial = " 0000444444444";
  const std::string file = SeedFileXml(true, TokenXml(kFirst) + TokenXml(escaped) + TokenXml(spaced));
  const struct {
    const char* serial;
    bool present;
  } cases[] = {{"0000111111111", true}, {"A&B", true}, {"A&amp;B", false},
               {"0000444444444", false}, {" 0000444444444", true}, {"", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serial);
    const Appended next = Append(file, true, NewToken(c.serial));
    EXPECT_EQ(next.outcome.status, Status::Written);
    EXPECT_EQ(next.outcome.serialAlreadyPresent, c.present);
  }
  // A serial element outside data/tokens/token is not a token's serial.
  EXPECT_FALSE(Append("<data><serial>S</serial><tokens/></data>", false, NewToken("S"))
                   .outcome.serialAlreadyPresent);
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
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><data><tokens><token><name>Zo\xEB</name>"
       "</token></tokens></data>",
       u"the file is in the encoding windows-1252, which cannot be converted to UTF-8"},
      {"<?xml version='1.0' encoding = 'US-ASCII'?><data><tokens><token><name>Zo\xEB</name>"
       "</token></tokens></data>",
       u"the file is in the encoding US-ASCII, which cannot be converted to UTF-8"},
      {deep, u"the file's elements nest deeper than 32 levels"},
      // Read back as "&amp;co;", the name would become other text.
      {"<data><tokens><token><name>A&amp;B &co;</name></token></tokens></data>",
       u"the file holds a reference that XML does not define at byte 35"},
      {"<data><tokens><token><name>R&D</name></token></tokens></data>",
       u"the file holds a reference that XML does not define at byte 28"},
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

TEST(XmlSeedAppend, ConvertibleEncodingsAndTheDeepestAllowedFileAreWritten) {
  // Latin-1 and ASCII are carried over as UTF-8 without their declaration.
  const Appended latin1 = Append(
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><data><tokens><token><name>Zo\xEB</name>"
      "</token></tokens></data>",
      false, NewToken("S"));
  EXPECT_EQ(latin1.outcome.status, Status::Written);
  EXPECT_NE(latin1.bytes.find("<name>Zo\xC3\xAB</name>"), std::string::npos) << latin1.bytes;
  EXPECT_EQ(latin1.bytes.rfind("<?xml version=\"1.0\"?>\n", 0), 0u);
  EXPECT_EQ(Append("<?xml version=\"1.0\" encoding=\"us-ascii\"?><data><tokens/></data>", false,
                   NewToken("S"))
                .outcome.status,
            Status::Written);

  // Every reference XML defines, and an '&' where markup does not count.
  const Appended references =
      Append("<data><!-- R&D --><tokens><token><name>&lt;&amp;&#65;&#x42;&quot;&apos;&gt;"
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
