// The streaming append writes exactly what the parse-and-rewrite writes, or
// declines and leaves the file to it.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "provisioning/seed_files/xml_seed_append.h"
#include "provisioning/seed_files/seed_text.h"
#include "provisioning/seed_files/xml_seed_stream.h"
#include "tests/provisioning/xml_seed_test_support.h"

namespace xml_seed_test {
namespace {

using StreamStatus = XmlStreamOutcome::Status;

struct Result {
  bool written = false;  // false: refused, not in layout or failed
  std::string bytes;
};

Result Fallback(std::optional<std::string> file, bool totp, const XmlSeedToken& token) {
  StringSink sink;
  const XmlAppendOutcome outcome = AppendTokenToXml(file ? &*file : nullptr, totp, token, sink);
  return {outcome.status == XmlAppendOutcome::Status::Written, sink.bytes};
}

Result Stream(const std::string& file, bool totp, const XmlSeedToken& token, std::size_t blockSize = 1 << 16,
              StreamStatus* status = nullptr) {
  StringSource source(file, blockSize);
  StringSink sink;
  const XmlStreamOutcome outcome = StreamTokenIntoXml(source, totp, token, sink);
  if (status) *status = outcome.status;
  return {outcome.status == StreamStatus::Written, sink.bytes};
}

// Both paths, every block size: the same bytes when the stream accepts. Returns whether it accepted.
bool ExpectSameAsFallback(const std::string& file, bool totp, const XmlSeedToken& token) {
  const Result fallback = Fallback(file, totp, token);
  bool accepted = false;
  for (const std::size_t blockSize : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{1} << 20}) {
    StreamStatus status;
    const Result stream = Stream(file, totp, token, blockSize, &status);
    if (status == StreamStatus::NotInLayout) {
      EXPECT_FALSE(accepted) << "block size " << blockSize << " changed the verdict";
      continue;
    }
    if (status == StreamStatus::Refused) {  // bytes of another encoding and a token it cannot hold
      EXPECT_FALSE(fallback.written);
      continue;
    }
    EXPECT_EQ(status, StreamStatus::Written);
    EXPECT_TRUE(fallback.written);
    EXPECT_EQ(stream.bytes, fallback.bytes) << "block size " << blockSize;
    accepted = true;
  }
  return accepted;
}

// A file as the tool writes it: each token appended by the rewrite in turn.
std::string Written(bool totp, const std::vector<XmlSeedToken>& tokens) {
  std::optional<std::string> file;
  for (const XmlSeedToken& token : tokens) {
    Result next = Fallback(file, totp, token);
    EXPECT_TRUE(next.written);
    file = next.bytes;
  }
  return file.value_or(SeedFileXml(totp, ""));
}

TEST(XmlSeedStream, EverySeedExportFixtureGivesTheRewritesBytes) {
  const TokenLines markup{"HmacSHA1", "Smith, \"R&amp;D\" &lt;lab&gt; Zo\xC3\xAB \xE5\x90\x8D \xF0\x9F\x98\x80", "8",
                          "0000,22", "3132333435363738393031323334353637383930"};
  TokenLines blank;
  blank.serial = " ";
  blank.name = "\t";
  TokenLines controls;
  controls.name = "a&#01;b&#31;c\x7F";
  TokenLines empties;
  empties.serial = "";
  const std::string empty = "\t\t\t<serial></serial>\n";
  const std::string emptied = "\t\t\t<serial />\n";
  std::string emptySerial = TokenXml(empties);
  emptySerial.replace(emptySerial.find(empty), empty.size(), emptied);

  for (const bool totp : {false, true}) {
    SCOPED_TRACE(totp ? "TOTP" : "HOTP");
    const std::string inLayout[] = {
        SeedFileXml(totp, ""),
        SeedFileXml(totp, TokenXml({})),
        SeedFileXml(totp, TokenXml({}) + TokenXml(markup) + TokenXml(blank) + TokenXml(controls)),
        SeedFileXml(totp, emptySerial),
        // A new empty text is written with both tags, the rewrite gives "<serial />".
        SeedFileXml(totp, TokenXml({}) + TokenXml(empties)),
        Written(totp, {NewToken("0000123456789"), NewToken("0000987654321", "alice@example.com", true)}),
    };
    for (const std::string& file : inLayout) {
      SCOPED_TRACE(file);
      EXPECT_TRUE(ExpectSameAsFallback(file, totp, NewToken("0000123456789", "R&D <x>", totp)));
      EXPECT_TRUE(ExpectSameAsFallback(file, totp, NewToken("", "", !totp)));
      EXPECT_TRUE(ExpectSameAsFallback(file, totp, NewToken(" ", "\r\x01", true)));
    }

    // Not the layout, though the rewrite takes each: the other header, CRLF,
    // a comment, a BOM, one line, escaping pugixml does not write, no final LF, text with a line break.
    const std::string header = totp ? "<productCode>CT</productCode>" : "<productCode>CE</productCode>";
    const std::string file = SeedFileXml(totp, TokenXml({}));
    const auto replaced = [&](const std::string& from, const std::string& to) {
      std::string changed = file;
      changed.replace(changed.find(from), from.size(), to);
      return changed;
    };
    const std::string foreign[] = {
        SeedFileXml(!totp, TokenXml({})),
        replaced("<data>\n", "<data>\r\n"),
        replaced("\t<tokens>\n", "\t<!-- c -->\n\t<tokens>\n"),
        "\xEF\xBB\xBF" + file,
        replaced("<?xml version=\"1.0\"?>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"),
        "<data><tokens/></data>\n",
        replaced("0000123456789", "&#x41;&quot;&apos;&#1;"),
        replaced("0000123456789", "a>b"),
        replaced("0000123456789", "a\nb"),
        replaced("0000123456789", "a\rb"),
        file.substr(0, file.size() - 1),
        replaced("\t<tokens>\n\t\t<token>", "\t<tokens>\n\t\t<token>\n\t\t</token>\n\t\t<token>"),
        replaced("\t\t<token>\n", "\t\t<token>\n\t\t\t<name>x</name>\n"),
        replaced(header, "<productCode>CE</productCode>x"),
        replaced("\t</tokens>\n", "\t</tokens>\n\n"),
        "<?xml version=\"1.0\"?>\n<data>\n\t<header>\n\t</header>\n\t<tokens />\n</data>\n",
        HeaderXml(totp) + "\t<tokens>\n\t</tokens>\n</data>\n",
    };
    for (const std::string& other : foreign) {
      SCOPED_TRACE(other);
      EXPECT_FALSE(ExpectSameAsFallback(other, totp, NewToken("0000123456789")));
    }
  }
}

// Names with markup, non-ASCII text, blanks and control characters.
std::string RandomText(std::mt19937& random, bool lineBreaks) {
  static const char* const pieces[] = {"a",
                                       "Z",
                                       "0",
                                       " ",
                                       "\t",
                                       "&",
                                       "<",
                                       ">",
                                       "\"",
                                       "'",
                                       "&amp;",
                                       "\xC3\xAB",
                                       "\xE5\x90\x8D",
                                       "\xF0\x9F\x98\x80",
                                       "\x01",
                                       "\x1F",
                                       "\x7F",
                                       "]]>",
                                       ";",
                                       "#",
                                       "\n",
                                       "\r"};
  const std::size_t choices = lineBreaks ? std::size(pieces) : std::size(pieces) - 2;
  std::string text;
  const int length = std::uniform_int_distribution<int>(0, 12)(random);
  for (int i = 0; i < length; ++i) {
    text += pieces[std::uniform_int_distribution<std::size_t>(0, choices - 1)(random)];
  }
  return text;
}

XmlSeedToken RandomToken(std::mt19937& random, bool lineBreaks) {
  XmlSeedToken token = NewToken(RandomText(random, lineBreaks), RandomText(random, lineBreaks), random() % 2 == 0);
  if (random() % 4 == 0) token.serial = "0000" + std::to_string(100000000 + random() % 900000000);
  return token;
}

TEST(XmlSeedStream, GeneratedFilesOfEverySizeGiveTheRewritesBytes) {
  std::mt19937 random(20261207);
  for (const bool totp : {false, true}) {
    std::vector<XmlSeedToken> tokens;
    for (const std::size_t count : {0, 1, 2, 5, 20, 60}) {
      while (tokens.size() < count) tokens.push_back(RandomToken(random, false));
      const std::string file = Written(totp, tokens);
      SCOPED_TRACE(file);
      EXPECT_TRUE(ExpectSameAsFallback(file, totp, RandomToken(random, false)));
      // The serial of an earlier token, found by the lookup however it is escaped.
      if (count > 0) {
        XmlSeedToken again = RandomToken(random, false);
        again.serial = tokens[random() % count].serial;
        EXPECT_TRUE(ExpectSameAsFallback(file, totp, again));
        EXPECT_TRUE(SerialLookupFinds(file, std::string(TrimWhiteSpaceUtf8(again.serial))));
      }
      // With line breaks in texts, either path is right.
      std::vector<XmlSeedToken> withBreaks = tokens;
      withBreaks.push_back(RandomToken(random, true));
      ExpectSameAsFallback(Written(totp, withBreaks), totp, RandomToken(random, true));
    }
  }
}

TEST(XmlSeedStream, LargeFilesStreamInBlocksAndOnlyOverlongLinesDecline) {
  std::string tokens;
  for (int i = 0; i < 20000; ++i) {
    TokenLines lines;
    lines.serial = "0000" + std::to_string(100000000 + i);
    lines.name = i % 3 == 0 ? "user \xE5\x90\x8D &amp; co" : "";
    tokens += TokenXml(lines);
  }
  const std::string large = SeedFileXml(false, tokens);  // about 3 MB
  EXPECT_TRUE(ExpectSameAsFallback(large, false, NewToken("0000100019999")));

  // A line longer than the stream's first block makes it read on: the name
  // of a token in a file of long names is streamed all the same.
  TokenLines name1M;
  name1M.name = std::string(1 << 20, 'n') + "\xC3\xAB";
  const std::string oneLongLine = SeedFileXml(false, TokenXml(name1M) + TokenXml(TokenLines{}));
  for (const std::size_t blockSize : {std::size_t{1} << 16, std::size_t{1} << 20}) {
    StreamStatus status;
    const Result streamed = Stream(oneLongLine, false, NewToken("S"), blockSize, &status);
    EXPECT_EQ(status, StreamStatus::Written);
    EXPECT_EQ(streamed.bytes, Fallback(oneLongLine, false, NewToken("S")).bytes);
  }

  // A text longer than the stream's largest buffer takes the rewrite.
  TokenLines longName;
  longName.name = std::string(5 << 20, 'n');
  const std::string longLine = SeedFileXml(false, TokenXml(longName));
  StreamStatus status;
  Stream(longLine, false, NewToken("S"), 1 << 16, &status);
  EXPECT_EQ(status, StreamStatus::NotInLayout);
  EXPECT_TRUE(Fallback(longLine, false, NewToken("S")).written);
}

// Texts of plain ASCII are checked a word at a time: a byte that needs
// a closer look is noticed at every place in such a run, in every element.
TEST(XmlSeedStream, EveryByteOfAPlainTextIsChecked) {
  struct Byte {
    char value;
    bool inLayout;
  };
  const Byte bytes[] = {{'&', false},    {'<', false}, {'>', false},   {'\x1F', false}, {'\n', false},
                        {'\x80', false}, {'\t', true}, {'\x7F', true}, {'"', true},     {'=', true}};
  const std::string plain = "0123456789abcdefghij";
  for (int element = 0; element < 5; ++element) {
    for (std::size_t at = 0; at < plain.size(); ++at) {
      for (const Byte& byte : bytes) {
        std::string text = plain;
        text[at] = byte.value;
        TokenLines lines;
        std::string* const texts[] = {&lines.crypto, &lines.name, &lines.digits, &lines.serial, &lines.seed};
        *texts[element] = text;
        SCOPED_TRACE(testing::Message() << "element " << element << " at " << at << " byte "
                                        << int(static_cast<unsigned char>(byte.value)));
        // Plain tokens around it, so that it sits among the ones checked fast.
        const std::string file = SeedFileXml(false, TokenXml({}) + TokenXml(lines) + TokenXml({}));
        EXPECT_EQ(ExpectSameAsFallback(file, false, NewToken("0000123456789")), byte.inLayout);
        // The serial found however its token was checked.
        if (byte.inLayout && element == 3) {
          EXPECT_TRUE(SerialLookupFinds(file, std::string(TrimWhiteSpaceUtf8(text))));
        }
      }
    }
  }
}

// Every byte flipped, every cut and an inserted byte at every place: the
// stream gives the rewrite's bytes or declines.
TEST(XmlSeedStream, MutationsOfAValidFileGiveTheSameBytesOrDecline) {
  TokenLines named;
  named.name = "R&amp;D \xC3\xAB";
  const std::string file = SeedFileXml(true, TokenXml({}) + TokenXml(named));
  const XmlSeedToken token = NewToken("0000123456789", "n", true);
  int accepted = 0;
  for (std::size_t at = 0; at < file.size(); ++at) {
    SCOPED_TRACE(at);
    for (const unsigned char flip : {0x01, 0x20, 0x80, 0xFF}) {
      std::string changed = file;
      changed[at] = static_cast<char>(changed[at] ^ flip);
      accepted += ExpectSameAsFallback(changed, true, token);
    }
    accepted += ExpectSameAsFallback(file.substr(0, at), true, token);
    for (const char inserted : {' ', '\n', 'x', '\t', '&', '<'}) {
      std::string changed = file;
      changed.insert(at, 1, inserted);
      accepted += ExpectSameAsFallback(changed, true, token);
    }
  }
  // Changes inside texts stay in the layout, so some mutants must stream.
  EXPECT_GT(accepted, 100);
}

class FailingSource final : public ByteSource {
 public:
  std::optional<std::size_t> Read(void*, std::size_t) override { return std::nullopt; }
};

TEST(XmlSeedStream, FailedReadsAndWritesAreReported) {
  FailingSource source;
  StringSink sink;
  EXPECT_EQ(StreamTokenIntoXml(source, false, NewToken("S"), sink).status, StreamStatus::SourceFailed);

  const std::string file = SeedFileXml(false, TokenXml({}));
  for (const std::size_t budget : {std::size_t{0}, std::size_t{50}, file.size()}) {
    StringSource bytes(file, 64);
    FailingSink failing(budget);
    EXPECT_EQ(StreamTokenIntoXml(bytes, false, NewToken("S"), failing).status, StreamStatus::SinkFailed);
  }
}

bool Holds(const std::string& bytes, const std::string& part) { return bytes.find(part) != std::string::npos; }

// One file, one encoding, by both paths: a new, ASCII or UTF-8 file gets the
// token in UTF-8; a file of an older tool in the ANSI code page gets it in
// that code page, or is refused when the code page cannot hold the name.
TEST(XmlSeedStream, AFileKeepsItsOneEncoding) {
  XmlSeedToken token = NewToken("0000123456789", "Ren\xC3\xA9 \xE2\x82\xAC");
  token.ansiName = "Ren\xE9 \x80";
  token.ansiSerial = "0000123456789";
  XmlSeedToken unsayable = token;
  unsayable.ansiName.reset();
  const std::string ansiFile = Written(false, {NewToken("0000000000001", "Zo\xEB")});
  const std::string commentedAnsi =
      "<?xml version=\"1.0\"?>\n<data>\n<!-- Zo\xEB "
      "-->\n<tokens><token><name>Zo\xEB</name></token></tokens>\n</data>\n";
  struct Case {
    const char* name;
    std::optional<std::string> file;
    const XmlSeedToken& token;
    bool written;
    const char* nameBytes;
  } cases[] = {
      {"new file", std::nullopt, token, true, "Ren\xC3\xA9 \xE2\x82\xAC"},
      {"ASCII file", Written(false, {NewToken("0000000000001", "Zoe")}), token, true, "Ren\xC3\xA9 \xE2\x82\xAC"},
      {"UTF-8 file", Written(false, {NewToken("0000000000001", "Zo\xC3\xAB")}), token, true,
       "Ren\xC3\xA9 \xE2\x82\xAC"},
      {"ANSI file", ansiFile, token, true, "Ren\xE9 \x80</name>"},
      {"ANSI file, not in the layout", commentedAnsi, token, true, "Ren\xE9 \x80</name>"},
      {"ANSI file, name the code page lacks", ansiFile, unsayable, false, ""},
      {"ASCII file, name the code page lacks", Written(false, {}), unsayable, true, "Ren\xC3\xA9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result rewrite = Fallback(c.file, false, c.token);
    EXPECT_EQ(rewrite.written, c.written);
    if (c.written) {
      EXPECT_TRUE(Holds(rewrite.bytes, c.nameBytes));
    }
    if (c.file) {
      StreamStatus status;
      const Result stream = Stream(*c.file, false, c.token, 4096, &status);
      if (status != StreamStatus::NotInLayout) {
        EXPECT_EQ(status, c.written ? StreamStatus::Written : StreamStatus::Refused);
        EXPECT_EQ(stream.bytes, c.written ? rewrite.bytes : stream.bytes);
      }
    }
  }
}

}  // namespace
}  // namespace xml_seed_test
