// The serial keys sorted at the first lookup: every serial added is found and
// no other, whatever the number of keys and so of buckets.
#include "provisioning/seed_files/seed_file_serials.h"

#include <gtest/gtest.h>

#include <string>

#include "files/byte_source.h"
#include "text/unicode_text.h"
#include "tests/support/string_bytes.h"

namespace {

std::string Utf16Be(std::u16string_view text) {
  std::string bytes = Utf16LittleEndianBytes(text);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
  return bytes;
}

std::string Latin1(std::u16string_view text) { return std::string(text.begin(), text.end()); }

// Every way a server reads a serial: each file's bytes and the serial that
// must look taken, in UTF-8 (or in code page 1252, as the lookup holds both).
TEST(SeedFileSerials, EverySpellingAServerReadsIsSeen) {
  const std::u16string xml = u"<data><tokens><token><serial>0000125</serial></token></tokens></data>";
  const std::u16string hotp = u"Serial Number, Secret Key\r\n0000125,3132\r\n";
  const struct {
    bool csv;
    bool totp;
    std::string bytes;
    std::string serial;
  } cases[] = {
      {false, false, "<data><serial> 0000125 </serial></data>", "0000125"},
      {false, false, "<data><serial>0000125\r\n\t</serial></data>", "0000125"},
      {false, false, "<data><serial><![CDATA[0000125]]></serial></data>", "0000125"},
      {false, false, "<data><serial>00<![CDATA[0&1]]>&amp;2 </serial></data>", "000&1&2"},
      {false, false,
       "<data><serial>\xC2\xA0"
       "0000125\xE3\x80\x80</serial></data>",
       "0000125"},
      {false, false, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + Latin1(xml), "0000125"},
      {false, false, "\xFF\xFE" + Utf16LittleEndianBytes(xml), "0000125"},
      {false, false, Utf16LittleEndianBytes(u"<?xml version=\"1.0\"?>" + xml), "0000125"},
      {false, false, "\xFE\xFF" + Utf16Be(u"<data><serial>\u00E9-1</serial></data>"), "\xC3\xA9-1"},
      {false, false, "<?xml version='1.0' encoding='ISO-8859-1'?><data><serial>\xE9-2</serial></data>", "\xC3\xA9-2"},
      {true, false, Utf16LittleEndianBytes(hotp), "0000125"},
      {true, false, Utf16LittleEndianBytes(u"Serial Number, Secret Key\r\n 0000125 , 3132 \r\n"), "0000125"},
      {true, true, Utf16LittleEndianBytes(u"Bob,  0000125\t,ABCD,30,Velthor Security,Corvane\r\n"), "0000125"},
      {true, false, Utf16LittleEndianBytes(u" \"0000125\" ,3132\r\n"), "0000125"},
      {true, false, "\xFF\xFE" + Utf16LittleEndianBytes(hotp), "0000125"},
      {true, false, "\xFE\xFF" + Utf16Be(hotp), "0000125"},
      {true, false, "\xEF\xBB\xBF" + Latin1(hotp), "0000125"},
      {true, false, Latin1(hotp) + "\xC3\xA9-3,3132\r\n", "\xC3\xA9-3"},
      {true, false, Latin1(hotp) + "\xE9-4,3132\r\n", "\xE9-4"},
      {true, true, "Zo\xEB,0000125,ABCD,30,Velthor Security,Corvane\n", "0000125"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    for (const std::size_t block : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 16}) {
      StringSource source(c.bytes, block);
      SerialSet serials;
      EXPECT_TRUE(c.csv ? CollectCsvSerials(source, c.totp, 1252, serials) : CollectSerials(source, serials));
      EXPECT_TRUE(serials.Contains(c.serial));
      EXPECT_FALSE(serials.Contains(" " + c.serial));
    }
  }
}

// The pairs the check after a save and the recovery compare, read alike.
TEST(SeedFileSerials, TokensAreKeyedByTheirTrimmedTexts) {
  StringSource source("\xFF\xFE" +
                      Utf16LittleEndianBytes(u"<data><serial> S1\n</serial><seed>\n\t3132\n</seed></data>"));
  SeedFileTokens tokens;
  ASSERT_TRUE(ScanSeedFileTokens(source, tokens));
  EXPECT_TRUE(tokens.Holds(SeedFileTokenKey("S1", "3132")));
  EXPECT_TRUE(tokens.complete);
}

TEST(SerialSet, FindsEveryAddedSerialAndNoOtherAtAnySize) {
  for (const int count : {0, 1, 2, 15, 16, 17, 1000, 70000}) {
    SCOPED_TRACE(count);
    SerialSet serials;
    // Added in an order that is not the keys'; twice each for half of them.
    for (int i = count - 1; i >= 0; --i) serials.Add("S" + std::to_string(i));
    for (int i = 0; i < count / 2; ++i) serials.Add("S" + std::to_string(i));
    int found = 0;
    for (int i = 0; i < count; ++i) found += serials.Contains("S" + std::to_string(i)) ? 1 : 0;
    EXPECT_EQ(found, count);
    for (int i = count; i < count + 100; ++i) EXPECT_FALSE(serials.Contains("S" + std::to_string(i)));
    EXPECT_FALSE(serials.Contains(""));
    // Adding after a lookup sorts again.
    serials.Add("late");
    EXPECT_TRUE(serials.Contains("late"));
  }
}

}  // namespace
