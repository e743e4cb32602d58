#include "text/format_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Printable(std::u16string_view text) {
  std::string printable;
  for (char16_t unit : text) printable += unit < 0x80 ? static_cast<char>(unit) : '?';
  return printable;
}

template <typename... Args>
MessageText FormatOrFail(std::u16string_view format, const Args&... args) {
  MessageText out = u"untouched";
  EXPECT_TRUE(FormatText(out, format, args...)) << Printable(format);
  return out;
}

TEST(FormatTextTest, StatusCodesAsEightUpperCaseHexDigits) {
  EXPECT_EQ(FormatOrFail(u"0x%08X", 5), u"0x00000005");
  EXPECT_EQ(FormatOrFail(u"0x%08X", 0x80435602u), u"0x80435602");
  // A negative int shows its 32-bit two's complement, a 64-bit one its 64-bit form.
  EXPECT_EQ(FormatOrFail(u"0x%08X", -1), u"0xFFFFFFFF");
  EXPECT_EQ(FormatOrFail(u"%X", std::int64_t{-1}), u"FFFFFFFFFFFFFFFF");
  EXPECT_EQ(FormatOrFail(u"%x", std::int16_t{-2}), u"fffffffe");
}

TEST(FormatTextTest, DecimalsCharactersAndPercentSigns) {
  EXPECT_EQ(FormatOrFail(u"%d of %i", -42, 0), u"-42 of 0");
  EXPECT_EQ(FormatOrFail(u"%d", INT32_MIN), u"-2147483648");
  EXPECT_EQ(FormatOrFail(u"%lld", INT64_MIN), u"-9223372036854775808");
  EXPECT_EQ(FormatOrFail(u"%u", UINT64_MAX), u"18446744073709551615");
  // As printf: an unsigned int given to %d is read as an int.
  EXPECT_EQ(FormatOrFail(u"%d", 0xFFFFFFFFu), u"-1");
  EXPECT_EQ(FormatOrFail(u"%c%c[%3c]", u'A', char16_t{0x20AC}, 'x'), u"A\u20AC[  x]");
  EXPECT_EQ(FormatOrFail(u"%d%%", 50), u"50%");
  EXPECT_EQ(Format(u"%d items", 3), u"3 items");
}

TEST(FormatTextTest, UnicodeTextArguments) {
  EXPECT_EQ(FormatOrFail(u"[%s]", MessageText(u"Zo\u00EB \u20AC \U0001F600")), u"[Zo\u00EB \u20AC \U0001F600]");
  EXPECT_EQ(FormatOrFail(u"SN=%s, SEED=%s\r\n", MessageText(u"0000829829926"), std::u16string_view(u"3132333435")),
            u"SN=0000829829926, SEED=3132333435\r\n");
  EXPECT_EQ(FormatOrFail(u"%s|%s|%s", u"literal", static_cast<const char16_t*>(nullptr), MessageText()),
            u"literal|(null)|");
  EXPECT_EQ(FormatOrFail(u"[%6s][%-6s][%.2s]", u"ab", u"cd", u"efgh"), u"[    ab][cd    ][ef]");
}

TEST(FormatTextTest, LongResultsAreNeverTruncated) {
  const MessageText big(100000, u'w');
  EXPECT_EQ(FormatOrFail(u"<%s>", big), u"<" + big + u">");
  const MessageText wide = FormatOrFail(u"%5000d", 7);
  EXPECT_EQ(wide, MessageText(4999, u' ') + u"7");
  EXPECT_EQ(FormatOrFail(u"%-70000s|", u"x").size(), 70001u);
}

TEST(FormatTextTest, RejectsWhatItCannotFormatAndKeepsThePreviousText) {
  auto rejected = [](std::u16string_view format, auto... args) {
    MessageText out = u"previous text";
    return !FormatText(out, format, args...) && out == u"previous text";
  };
  EXPECT_TRUE(rejected(u"%f", 1));
  EXPECT_TRUE(rejected(u"%n", 1));
  EXPECT_TRUE(rejected(u"%*d", 5, 1));
  EXPECT_TRUE(rejected(u"trailing %"));
  EXPECT_TRUE(rejected(u"%99999999999d", 1));  // width beyond what printf allows
  EXPECT_TRUE(rejected(u"%d and %d", 1));      // missing argument
  EXPECT_TRUE(rejected(u"%d", u"text"));       // wrong kind of argument
  EXPECT_TRUE(rejected(u"%s", 5));
  EXPECT_TRUE(rejected(u"%c", u"text"));
  EXPECT_TRUE(rejected(u"%y", 1));
  EXPECT_TRUE(rejected(u"ok %s then %f", u"x", 1));  // nothing half-written
  EXPECT_EQ(Format(u"%f", 3), u"");
}

TEST(FormatTextTest, FlagsWidthAndPrecision) {
  EXPECT_EQ(FormatOrFail(u"[%5d][%-5d][%05d][%+d][% d]", 42, 42, -42, 42, 42), u"[   42][42   ][-0042][+42][ 42]");
  EXPECT_EQ(FormatOrFail(u"[%.3d][%8.3d][%08.3d][%.0d]", 7, -7, 7, 0), u"[007][    -007][     007][]");
  EXPECT_EQ(FormatOrFail(u"[%#x][%#X][%#x][%#o][%o]", 255, 255, 0, 8, 8), u"[0xff][0XFF][0][010][10]");
  EXPECT_EQ(FormatOrFail(u"[%#010x][%-#10x]", 255, 255), u"[0x000000ff][0xff      ]");
  // Sign flags belong to the signed conversions only.
  EXPECT_EQ(FormatOrFail(u"[%+u][% u]", 5u, 5u), u"[5][5]");
  EXPECT_EQ(FormatOrFail(u"%I64d|%ld|%hd|%I32u", std::int64_t{-3}, 4L, short{5}, 6u), u"-3|4|5|6");
}

#ifndef _WIN32
// The flag combinations printf resolves by precedence, against glibc. (The
// Windows runtimes' printf is no reference: it signs unsigned conversions.)
TEST(FormatTextTest, FlagPrecedenceMatchesPrintf) {
  const char* formats[] = {"%-+6d", "%0+6d", "% +d", "%-06d", "%06.2d", "%#.0o", "%#.0x", "%#8.3o", "%+.0d"};
  for (const char* format : formats) {
    for (int value : {0, -1, 42, INT32_MIN}) {
      char expected[64];
      std::snprintf(expected, sizeof expected, format, value);
      const std::string want(expected);
      EXPECT_EQ(FormatOrFail(MessageText(format, format + std::strlen(format)), value),
                MessageText(want.begin(), want.end()))
          << format << " of " << value;
    }
  }
}
#endif

}  // namespace
