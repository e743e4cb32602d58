// The CSV seed files read back: each row's serial and seed, whatever the
// blocks the bytes come in, quoted or as older tools wrote them.
#include "provisioning/seed_files/csv_seed_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "text/unicode_text.h"
#include "tests/support/string_bytes.h"

namespace {

using Rows = std::vector<std::pair<std::u16string, std::u16string>>;

Rows Read(const std::u16string& text, bool totp, std::size_t block) {
  StringSource source(Utf16LittleEndianBytes(text), block);
  Rows rows;
  EXPECT_TRUE(ReadCsvSeedRows(source, totp, 1252, [&](std::u16string_view serial, std::u16string_view seed) {
    rows.emplace_back(serial, seed);
  }));
  return rows;
}

TEST(CsvSeedRows, SerialAndSeedOfEveryRowInAnyBlocks) {
  const std::u16string longLine(70000, u'x');
  struct Case {
    bool totp;
    std::u16string text;
    Rows rows;
  } cases[] = {
      {false,
       u"Serial Number, Secret Key\r\n0000111111111,3132\r\n\"00,22\",abcd\r\n0000,33,ef01\r\n" + longLine +
           u",9\r\n\u00E9-4,99\r\n\u220A\u0A22,77",
       {{u"0000111111111", u"3132"},
        {u"00,22", u"abcd"},
        {u"0000,33", u"ef01"},
        {u"\u00E9-4", u"99"},
        {u"\u220A\u0A22", u"77"}}},
      {true,
       u"UPN, Serial Number, Secret Key, Time Interval, Manufacturer, Model\r\n"
       u",0000111111111,GEZA,30,Velthor Security,Corvane\r\n"
       u"Doe, Jane,0000222222222,GEZB,60,Velthor Security,Corvane\r\n"
       u"\"Doe, \"\"J\"\"\",\"S,3\",GEZC,30,Velthor Security,Corvane\r\n"
       u"too,few,fields\r\n",
       {{u"0000111111111", u"GEZA"}, {u"0000222222222", u"GEZB"}, {u"S,3", u"GEZC"}}},
  };
  for (const Case& c : cases) {
    for (const std::size_t block : {std::size_t{1}, std::size_t{3}, std::size_t{7}, std::size_t{1} << 20}) {
      SCOPED_TRACE(block);
      EXPECT_EQ(Read(c.text, c.totp, block), c.rows);
    }
  }
}

}  // namespace
